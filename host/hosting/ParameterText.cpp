// SPDX-License-Identifier: MIT
#include "host/hosting/ParameterText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

#include "host/hosting/HostedInstance.h"
#include "host/hosting/PluginLibrary.h"

namespace quorveil::host {

using plogue::biduleSDK::ParameterInfo;
using plogue::biduleSDK::ParameterKind;

namespace {

std::string inQuotes(const std::string& text) { return "'" + text + "'"; }

bool readWhole(const std::string& text, double& value) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') {
        ++first;
    }
    const auto [end, error] = std::from_chars(first, last, value);
    return error == std::errc() && end == last && first != last && std::isfinite(value);
}

bool readWhole(const std::string& text, int32_t& value) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') {
        ++first;
    }
    const auto [end, error] = std::from_chars(first, last, value);
    return error == std::errc() && end == last && first != last;
}

std::string choiceListText(const ParameterDescription& parameter) {
    std::string list;
    for (std::size_t i = 0; i < parameter.choices.size(); ++i) {
        list += (i == 0 ? "" : ", ") + std::to_string(i) + " " + parameter.choices[i];
    }
    return list;
}

}  // namespace

std::string foldCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trimmed(const std::string& text) {
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    auto first = std::find_if_not(text.begin(), text.end(), blank);
    auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? std::string(first, last) : std::string();
}

ParameterDescription describe(const ParameterInfo& info) {
    ParameterDescription parameter;
    parameter.id = info.id;
    parameter.name = fieldText(info.name, sizeof info.name);
    parameter.label = trimmed(parameter.name);
    parameter.kind = static_cast<ParameterKind>(info.kind);
    parameter.controlStyle = info.controlStyle;
    switch (parameter.kind) {
    case ParameterKind::Real:
        parameter.defaultReal = info.defaultValue;
        parameter.minimum = info.minimum;
        parameter.maximum = info.maximum;
        parameter.unit = fieldText(info.unit, sizeof info.unit);
        break;
    case ParameterKind::Integer:
    case ParameterKind::Choice:
        parameter.defaultInt = info.integerDefault.defaultInt;
        break;
    default:
        break;
    }
    return parameter;
}

std::string kindName(const ParameterDescription& parameter) {
    switch (parameter.kind) {
    case ParameterKind::Real:
        return "real";
    case ParameterKind::Text:
        return "text";
    case ParameterKind::Integer:
        return parameter.isIndicator() ? "indicator" : parameter.isSwitch() ? "switch" : "integer";
    case ParameterKind::Choice:
        return "choice";
    }
    return "kind " + std::to_string(static_cast<int32_t>(parameter.kind));
}

ParameterAssignment parseAssignment(const std::string& text) {
    const auto equals = text.find('=');
    if (equals == std::string::npos || trimmed(text.substr(0, equals)).empty()) {
        throw HostError("--set takes NAME=VALUE, not " + inQuotes(text));
    }
    return {trimmed(text.substr(0, equals)), trimmed(text.substr(equals + 1)), {}};
}

ParameterAssignment parseChainAssignment(const std::string& text) {
    ParameterAssignment assignment = parseAssignment(text);
    // Both sides must hold something: a label may end with a colon.
    const auto colon = assignment.name.find(':');
    if (colon != std::string::npos) {
        std::string module = trimmed(assignment.name.substr(0, colon));
        std::string name = trimmed(assignment.name.substr(colon + 1));
        if (!module.empty() && !name.empty()) {
            assignment.module = std::move(module);
            assignment.name = std::move(name);
        }
    }
    return assignment;
}

ParameterValue parseValue(const ParameterDescription& parameter, const std::string& text,
                          bool force) {
    ParameterValue value;
    const std::string& name = parameter.label;
    if (parameter.kind == ParameterKind::Text) {
        throw HostError(inQuotes(name) + " is a label, not a setting");
    }
    if (parameter.isIndicator()) {
        throw HostError(inQuotes(name) + " is an indicator the module lights; it takes no value");
    }
    if (parameter.kind == ParameterKind::Real) {
        if (!readWhole(text, value.real)) {
            throw HostError(inQuotes(text) + " is not a number (for " + inQuotes(name) + ")");
        }
        if (!force && (value.real < parameter.minimum || value.real > parameter.maximum)) {
            throw HostError(inQuotes(name) + " takes " + formatReal(parameter.minimum) + " to " +
                            withUnit(formatReal(parameter.maximum), parameter.unit) + ", not " +
                            text + " (--force sends it anyway)");
        }
        return value;
    }
    if (parameter.kind == ParameterKind::Choice) {
        const std::string wanted = foldCase(text);
        for (std::size_t i = 0; i < parameter.choices.size(); ++i) {
            if (foldCase(trimmed(parameter.choices[i])) == wanted) {
                value.integer = static_cast<int32_t>(i);
                return value;
            }
        }
        if (readWhole(text, value.integer) && value.integer >= 0 &&
            static_cast<std::size_t>(value.integer) < parameter.choices.size()) {
            return value;
        }
        throw HostError(inQuotes(text) + " is not a choice of " + inQuotes(name) + " (choices: " +
                        choiceListText(parameter) + ")");
    }
    if (parameter.isSwitch()) {
        const std::string word = foldCase(text);
        for (const char* on : {"on", "true", "yes", "1"}) {
            if (word == on) {
                value.integer = 1;
                return value;
            }
        }
        for (const char* off : {"off", "false", "no", "0"}) {
            if (word == off) {
                return value;
            }
        }
        throw HostError(inQuotes(text) + " is not on or off (for " + inQuotes(name) + ")");
    }
    if (!readWhole(text, value.integer)) {
        throw HostError(inQuotes(text) + " is not a whole number (for " + inQuotes(name) + ")");
    }
    return value;
}

std::string formatReal(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string withUnit(const std::string& number, const std::string& unit) {
    const std::string shown = trimmed(unit);
    if (shown.empty()) {
        return number;
    }
    const bool explains = shown.find_first_of(" =") != std::string::npos;
    return explains ? number + " (" + shown + ")" : number + " " + shown;
}

std::string formatValue(const ParameterDescription& parameter, double real, int32_t integer) {
    switch (parameter.kind) {
    case ParameterKind::Real:
        return formatReal(real);
    case ParameterKind::Choice:
        if (integer >= 0 && static_cast<std::size_t>(integer) < parameter.choices.size()) {
            return parameter.choices[static_cast<std::size_t>(integer)];
        }
        return std::to_string(integer);
    case ParameterKind::Integer:
        if (parameter.isSwitch()) {
            return integer != 0 ? "on" : "off";
        }
        return std::to_string(integer);
    case ParameterKind::Text:
        break;
    }
    return {};
}

}  // namespace quorveil::host
