// SPDX-License-Identifier: MIT
// Byte-level checks of ParameterInfo records: the fields a record's kind
// writes hold the expected values, and every other byte keeps the fill byte
// the host put there.
#pragma once

#include <cstdint>
#include <string>

#include "frame/HostRecords.h"

namespace quorveil::testing {

struct ExpectedParameter {
    int32_t id;
    std::string name;
    plogue::biduleSDK::ParameterKind kind;
    int32_t controlStyle;
    double defaultValue = 0.0;  // Real
    double minimum = 0.0;
    double maximum = 0.0;
    std::string unit;
    int32_t realFormat = 0;
    int32_t defaultInt = 0;     // Integer, Choice
    int32_t choiceCount = 0;
    bool writesIntegerFields = false;
};

ExpectedParameter expectReal(int32_t id, const std::string& name, double defaultValue,
                             double minimum, double maximum, const std::string& unit,
                             int32_t realFormat);
ExpectedParameter expectText(int32_t id, const std::string& name);
ExpectedParameter expectChoice(int32_t id, const std::string& name, int32_t defaultInt,
                               int32_t choiceCount);
ExpectedParameter expectSwitch(int32_t id, const std::string& name, int32_t defaultInt);
ExpectedParameter expectIndicator(int32_t id, const std::string& name);

// GoogleTest assertions on one record that was pre-filled with `fill`.
void expectParameterRecord(const plogue::biduleSDK::ParameterInfo& info,
                           const ExpectedParameter& expected, unsigned char fill);

}  // namespace quorveil::testing
