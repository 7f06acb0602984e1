// SPDX-License-Identifier: MIT
// What the shipped library serves through its exports: its six modules.
#include "frame/ModuleEntry.h"
#include "library/ProductModules.h"

namespace quorveil {

std::span<const ModuleEntry> moduleTable() { return productModules(); }

}  // namespace quorveil
