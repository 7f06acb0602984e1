// SPDX-License-Identifier: MIT
// The cross-check's own parts: the battery is a pure function of the library,
// and the comparison lets through one ulp and nothing more.
#include <limits>
#include <sstream>

#include "tests/crosscheck/Conformance.h"
#include "tests/support/LibraryFixture.h"

namespace quorveil::testing {
namespace {

using host::compareRecords;
using host::ulpDistance32;
using host::ulpDistance64;

constexpr uint64_t kFar = std::numeric_limits<uint64_t>::max();

TEST(CrossCheck, UlpDistanceOfFloats) {
    struct Case {
        uint32_t a, b;
        uint64_t ulps;
    };
    const Case cases[] = {
        {0x3f800000, 0x3f800000, 0},  // 1.0 and itself
        {0x3f800000, 0x3f800001, 1},  // 1.0 and its upper neighbour
        {0x3f800000, 0x3f7fffff, 1},  // ... and its lower neighbour, across the exponent
        {0x3f800000, 0x3f800002, 2},
        {0x00000000, 0x80000000, 0},  // +0 and -0
        {0x00000001, 0x80000001, 2},  // smallest subnormals either side of zero
        {0xbf800000, 0xbf800001, 1},  // negative neighbours
        {0x7f7fffff, 0x7f800000, 1},  // largest finite and infinity
        {0x7fc00000, 0x7fc00000, 0},  // the same NaN
        {0x7fc00000, 0x7fc00001, kFar},
        {0x7fc00000, 0x3f800000, kFar},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ulpDistance32(c.a, c.b), c.ulps) << std::hex << c.a << ' ' << c.b;
        EXPECT_EQ(ulpDistance32(c.b, c.a), c.ulps) << std::hex << c.b << ' ' << c.a;
    }
}

TEST(CrossCheck, UlpDistanceOfDoubles) {
    EXPECT_EQ(ulpDistance64(0x3ff0000000000000, 0x3ff0000000000001), 1u);
    EXPECT_EQ(ulpDistance64(0x3ff0000000000000, 0x3fefffffffffffff), 1u);
    EXPECT_EQ(ulpDistance64(0x0000000000000000, 0x8000000000000000), 0u);
    EXPECT_EQ(ulpDistance64(0x0000000000000001, 0x8000000000000001), 2u);
    EXPECT_EQ(ulpDistance64(0x7ff8000000000000, 0x3ff0000000000000), kFar);
    EXPECT_EQ(ulpDistance64(0x7fefffffffffffff, 0xffefffffffffffff), 0xffdffffffffffffeu);
}

host::Comparison compare(const std::string& expected, const std::string& actual) {
    std::istringstream a(expected);
    std::istringstream b(actual);
    return compareRecords(a, b);
}

TEST(CrossCheck, ComparisonAllowsOneUlpPerValueAndNothingElse) {
    const std::string record = "param 3 \"Gain\" default d3ff0000000000000\n"
                               "magnitude 0 1 0 f3f800000 f00000000 f40000000\n";
    struct Case {
        const char* name;
        std::string actual;
        uint64_t values, differing, beyond, structural;
        bool passed;
    };
    const Case cases[] = {
        {"identical", record, 4, 0, 0, 0, true},
        {"one float one ulp off",
         "param 3 \"Gain\" default d3ff0000000000000\nmagnitude 0 1 0 f3f800001 f00000000 f40000000\n",
         4, 1, 0, 0, true},
        {"one double one ulp off",
         "param 3 \"Gain\" default d3fefffffffffffff\nmagnitude 0 1 0 f3f800000 f00000000 f40000000\n",
         4, 1, 0, 0, true},
        {"two ulps off",
         "param 3 \"Gain\" default d3ff0000000000000\nmagnitude 0 1 0 f3f800000 f00000000 f40000002\n",
         4, 1, 1, 0, false},
        {"a name differs",
         "param 3 \"Gaim\" default d3ff0000000000000\nmagnitude 0 1 0 f3f800000 f00000000 f40000000\n",
         4, 0, 0, 1, false},
        {"a float where a double was",
         "param 3 \"Gain\" default f3f800000\nmagnitude 0 1 0 f3f800000 f00000000 f40000000\n",
         3, 0, 0, 1, false},
        {"a value missing",
         "param 3 \"Gain\" default d3ff0000000000000\nmagnitude 0 1 0 f3f800000 f00000000\n",
         1, 0, 0, 1, false},
        {"a line missing", "param 3 \"Gain\" default d3ff0000000000000\n", 1, 0, 0, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const host::Comparison result = compare(record, c.actual);
        EXPECT_EQ(result.values, c.values);
        EXPECT_EQ(result.differing, c.differing);
        EXPECT_EQ(result.beyondOneUlp, c.beyond);
        EXPECT_EQ(result.structural, c.structural);
        EXPECT_EQ(result.passed(), c.passed);
        EXPECT_EQ(result.examples.empty(), c.differing == 0 && c.structural == 0);
    }
}

// A module both sides refuse would compare equal and be checked nowhere.
TEST(CrossCheck, AModuleRefusedOnBothSidesFailsTheComparison) {
    const std::string record = "modules 1\nmodule 0 \"audio.quorveil.Clip4_6\" \"Clip4_6\" "
                               "\"Z\\x09Clip\\x204.6\"\nrefused\nend\n";
    const host::Comparison result = compare(record, record);
    EXPECT_EQ(result.structural, 1u);
    EXPECT_FALSE(result.passed());
}

// The record must depend on nothing but the library: no uninitialised host
// or module state, nothing carried from one instance to the next.
TEST(CrossCheck, BatteryIsRepeatableAndCoversEveryRow) {
    std::ostringstream first;
    std::ostringstream second;
    host::runBattery(library(), first);
    host::runBattery(library(), second);
    ASSERT_EQ(first.str(), second.str());

    const std::string record = first.str();
    EXPECT_EQ(record.rfind("modules 6\n", 0), 0u);
    for (const host::ModuleRow& row : library().modules()) {
        EXPECT_NE(record.find("module " + std::to_string(row.index) + " \"" + row.uniqueId + "\""),
                  std::string::npos)
            << row.uniqueId;
    }
    EXPECT_NE(record.find("\nmodule 0 \"audio.quorveil.Clip4_6\""), std::string::npos);
    EXPECT_NE(record.find("\naudio 0 6 "), std::string::npos) << "Clip4_6's FFT delay pin";
    EXPECT_EQ(record.substr(record.size() - 4), "end\n");
    EXPECT_EQ(record.find("\nrefused\n"), std::string::npos) << "a module of the table was refused";
}

}  // namespace
}  // namespace quorveil::testing
