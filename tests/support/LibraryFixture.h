// SPDX-License-Identifier: MIT
// Shared set-up for tests that drive the library as the host does: one loaded
// library per test program, and helpers to read host records back.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/hosting/HostedInstance.h"
#include "host/hosting/PluginLibrary.h"

namespace quorveil::testing {

// The library under test: $QUORVEIL_LIBRARY, else the one built beside us.
host::PluginLibrary& library();

// A fresh instance of `className` ("Clip4_6", ...), created by unique id.
std::unique_ptr<host::HostedInstance> instanceOf(const std::string& className);

// Describes the parameters into an array pre-filled with `fillByte`, so a test
// can tell written bytes from untouched ones.
std::vector<plogue::biduleSDK::ParameterInfo> describeInto(host::HostedInstance& instance,
                                                           unsigned char fillByte);

}  // namespace quorveil::testing
