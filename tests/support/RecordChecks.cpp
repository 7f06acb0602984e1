// SPDX-License-Identifier: MIT
#include "tests/support/RecordChecks.h"

#include <gtest/gtest.h>

#include <cstring>

namespace quorveil::testing {

using plogue::biduleSDK::ParameterInfo;
using plogue::biduleSDK::ParameterKind;

ExpectedParameter expectReal(int32_t id, const std::string& name, double defaultValue,
                             double minimum, double maximum, const std::string& unit,
                             int32_t realFormat) {
    ExpectedParameter e{id, name, ParameterKind::Real, 1};
    e.defaultValue = defaultValue;
    e.minimum = minimum;
    e.maximum = maximum;
    e.unit = unit;
    e.realFormat = realFormat;
    return e;
}

ExpectedParameter expectText(int32_t id, const std::string& name) {
    return {id, name, ParameterKind::Text, 8};
}

ExpectedParameter expectChoice(int32_t id, const std::string& name, int32_t defaultInt,
                               int32_t choiceCount) {
    ExpectedParameter e{id, name, ParameterKind::Choice, 3};
    e.defaultInt = defaultInt;
    e.choiceCount = choiceCount;
    e.writesIntegerFields = true;
    return e;
}

ExpectedParameter expectSwitch(int32_t id, const std::string& name, int32_t defaultInt) {
    ExpectedParameter e{id, name, ParameterKind::Integer, 2};
    e.defaultInt = defaultInt;
    e.writesIntegerFields = true;
    return e;
}

ExpectedParameter expectIndicator(int32_t id, const std::string& name) {
    return {id, name, ParameterKind::Integer, 9};
}

namespace {

template <class T>
T readAt(const unsigned char* bytes, std::size_t offset) {
    T value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}

void expectUntouched(const unsigned char* bytes, std::size_t from, std::size_t to,
                     unsigned char fill, const std::string& what) {
    for (std::size_t i = from; i < to; ++i) {
        ASSERT_EQ(bytes[i], fill) << what << ": byte " << i << " was written";
    }
}

// A text field: the text, its terminator, then untouched bytes.
void expectField(const unsigned char* bytes, std::size_t offset, std::size_t size,
                 const std::string& text, unsigned char fill, const std::string& what) {
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes + offset), text.size()), text) << what;
    EXPECT_EQ(bytes[offset + text.size()], 0) << what;
    expectUntouched(bytes, offset + text.size() + 1, offset + size, fill, what);
}

}  // namespace

void expectParameterRecord(const ParameterInfo& info, const ExpectedParameter& e,
                           unsigned char fill) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&info);
    const std::string what = "parameter " + std::to_string(e.id);
    const bool carriesValue = e.kind != ParameterKind::Text;
    EXPECT_EQ(readAt<int32_t>(bytes, 0), e.id) << what;
    expectField(bytes, 4, 128, e.name, fill, what + " name");
    EXPECT_EQ(readAt<int32_t>(bytes, 132), static_cast<int32_t>(e.kind)) << what;
    EXPECT_EQ(readAt<int32_t>(bytes, 136), e.controlStyle) << what;
    EXPECT_EQ(readAt<int32_t>(bytes, 140), carriesValue ? 1 : 0) << what;
    EXPECT_EQ(readAt<int32_t>(bytes, 144), carriesValue ? 1 : 0) << what;
    expectUntouched(bytes, 148, 152, fill, what);

    switch (e.kind) {
    case ParameterKind::Real:
        EXPECT_EQ(readAt<double>(bytes, 152), e.defaultValue) << what;
        expectField(bytes, 160, 128, e.unit, fill, what + " unit");
        EXPECT_EQ(readAt<int32_t>(bytes, 288), e.realFormat) << what;
        expectUntouched(bytes, 292, 296, fill, what);
        EXPECT_EQ(readAt<double>(bytes, 296), e.minimum) << what;
        EXPECT_EQ(readAt<double>(bytes, 304), e.maximum) << what;
        EXPECT_EQ(readAt<int32_t>(bytes, 312), 0) << what;
        expectUntouched(bytes, 316, sizeof(ParameterInfo), fill, what);
        break;
    case ParameterKind::Integer:
    case ParameterKind::Choice:
        if (e.writesIntegerFields) {
            EXPECT_EQ(readAt<int32_t>(bytes, 152), e.defaultInt) << what;
            EXPECT_EQ(readAt<int32_t>(bytes, 156), e.choiceCount) << what;
            expectUntouched(bytes, 160, sizeof(ParameterInfo), fill, what);
        } else {
            expectUntouched(bytes, 152, sizeof(ParameterInfo), fill, what);
        }
        break;
    case ParameterKind::Text:
        expectUntouched(bytes, 152, sizeof(ParameterInfo), fill, what);
        break;
    }
}

}  // namespace quorveil::testing
