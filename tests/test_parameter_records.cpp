// SPDX-License-Identifier: MIT
// Parameter description records as the host reads them, byte for byte, for
// every module the library can create. Each module's table is listed here in
// array order, with the fill byte the host put into the array beforehand.
#include "tests/support/LibraryFixture.h"
#include "tests/support/RecordChecks.h"

namespace quorveil::testing {
namespace {

struct ModuleRecords {
    const char* className;
    std::vector<ExpectedParameter> records;
};

std::vector<ModuleRecords> allModuleRecords() {
    return {
        {"Clip4_6", {expectIndicator(0, "Clip4_6"), expectText(1, "\nVersion:")}},
    };
}

TEST(ParameterRecords, EveryModuleWritesItsFieldsAndNothingElse) {
    for (const ModuleRecords& module : allModuleRecords()) {
        SCOPED_TRACE(module.className);
        auto instance = instanceOf(module.className);
        for (unsigned char fill : {0x00, 0xA5}) {
            const auto infos = describeInto(*instance, fill);
            ASSERT_EQ(infos.size(), module.records.size());
            for (std::size_t i = 0; i < infos.size(); ++i) {
                SCOPED_TRACE(i);
                expectParameterRecord(infos[i], module.records[i], fill);
            }
        }
    }
}

}  // namespace
}  // namespace quorveil::testing
