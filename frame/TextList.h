// SPDX-License-Identifier: MIT
// An ordered, growable list of 8-bit texts, owned by the caller: pin names
// and choices as a module announces them, before the dispatcher copies them
// into the host's fixed 128-byte entries. Name and choice operations only
// append to it.
#pragma once

#include <string>
#include <vector>

namespace plogue::biduleSDK {

using TextList = std::vector<std::string>;

}  // namespace plogue::biduleSDK
