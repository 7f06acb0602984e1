// SPDX-License-Identifier: MIT
// The six modules this library ships, in menu order. library/LibraryTable.cpp
// serves exactly these through the exports; a test build may serve more.
#pragma once

#include <span>

#include "frame/ModuleEntry.h"

namespace quorveil {

std::span<const ModuleEntry> productModules();

}  // namespace quorveil
