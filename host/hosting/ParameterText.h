// SPDX-License-Identifier: MIT
// Parameters as a user reads and types them: the host's view of one
// ParameterInfo record (with its choice list), "NAME=VALUE" settings, and the
// conversions between typed text and the value that travels to the module.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/HostRecords.h"

namespace quorveil::host {

struct ParameterDescription {
    int32_t id = 0;
    std::string name;   // exactly as the module wrote it, e.g. "\nVersion:"
    std::string label;  // the name without surrounding blanks and line feeds
    plogue::biduleSDK::ParameterKind kind = plogue::biduleSDK::ParameterKind::Text;
    int32_t controlStyle = 0;
    double defaultReal = 0.0, minimum = 0.0, maximum = 0.0;  // Real
    std::string unit;                                        // Real
    int32_t defaultInt = 0;                                  // Integer, Choice
    std::vector<std::string> choices;                        // Choice
    bool enabledAfterStart = true;

    bool carriesValue() const { return kind != plogue::biduleSDK::ParameterKind::Text; }
    // The clip light: an Integer the module writes and never reads.
    bool isIndicator() const {
        return kind == plogue::biduleSDK::ParameterKind::Integer && controlStyle == static_cast<int32_t>(plogue::biduleSDK::ControlStyle::Indicator);
    }
    bool isSwitch() const {
        return kind == plogue::biduleSDK::ParameterKind::Integer && controlStyle == static_cast<int32_t>(plogue::biduleSDK::ControlStyle::Switch);
    }
};

// Reads one record of a zero-filled description array; choices come apart.
ParameterDescription describe(const plogue::biduleSDK::ParameterInfo& info);

// "real", "text", "switch", "indicator", "integer", "choice".
std::string kindName(const ParameterDescription& parameter);

// One "--set NAME=VALUE", split at the first '='; blanks around both trimmed.
struct ParameterAssignment {
    std::string name;
    std::string value;
    std::string module;  // "MODULE:NAME=VALUE" in a chain of modules; empty: any
};
// Throws HostError when there is no '=' or no name.
ParameterAssignment parseAssignment(const std::string& text);
// As parseAssignment, for a chain of modules: "MODULE:NAME=VALUE" addresses
// one module by class name; a name without a prefix, every module that has it.
ParameterAssignment parseChainAssignment(const std::string& text);

// A value ready to travel: Real as a double, Integer and Choice as an int32.
struct ParameterValue {
    double real = 0.0;
    int32_t integer = 0;
};

// Reads `text` for `parameter`:
//   Real     a decimal number; outside [minimum, maximum] only with `force`
//   Choice   a choice's text (any letter case) or its index
//   switch   on/off, true/false, yes/no, 1/0
//   Integer  a whole number
// Text items and indicators take no value. Throws HostError with one line.
ParameterValue parseValue(const ParameterDescription& parameter, const std::string& text,
                          bool force);

// Shortest text that reads back to the same double: 45, 359.99, -0.5.
std::string formatReal(double value);

// A number with its unit as a sentence shows it: "180 degrees", and a unit
// that explains rather than measures in brackets: "1 (1 = 100%)".
std::string withUnit(const std::string& number, const std::string& unit);

// The value as a user would type it back: "45", "On", "on"/"off".
std::string formatValue(const ParameterDescription& parameter, double real, int32_t integer);

// Letter case folded for matching; ASCII only, as the records are.
std::string foldCase(std::string text);
std::string trimmed(const std::string& text);

}  // namespace quorveil::host
