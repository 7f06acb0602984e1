// SPDX-License-Identifier: MIT
// The module table of the test library: the six shipped modules in their menu
// order, then the seventh, which exists only in the tests. Adding a module to
// the shipped library is the same step in library/ModuleTable.cpp.
#include <vector>

#include "frame/ModuleEntry.h"
#include "library/ProductModules.h"
#include "tests/seventh/midside/MidSideWidth.h"

namespace quorveil {

namespace {

std::vector<ModuleEntry> shippedThenSeventh() {
    const std::span<const ModuleEntry> shipped = productModules();
    std::vector<ModuleEntry> rows(shipped.begin(), shipped.end());
    rows.push_back(ModuleEntry{"audio.quorveil.MidSideWidth", "Mid/Side Width",
                               "Test\tMid/Side Width", &createModule<testing::MidSideWidth>});
    return rows;
}

}  // namespace

std::span<const ModuleEntry> moduleTable() {
    static const std::vector<ModuleEntry> rows = shippedThenSeventh();
    return rows;
}

}  // namespace quorveil
