// SPDX-License-Identifier: MIT
// Parameters as data: each module lists its parameter records once, as an
// array of ParameterEntry, and fillParameterInfo writes the host's records from
// it. The writer touches the first six fields and the fields of the record's
// kind, nothing else, so the host's bytes elsewhere survive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "frame/HostRecords.h"
#include "frame/TextList.h"

namespace plogue::biduleSDK {

struct ParameterEntry {
    int32_t id;
    const char* name;
    ParameterKind kind;
    ControlStyle controlStyle;
    double defaultValue;          // Real
    double minimum;               // Real
    double maximum;               // Real
    const char* unit;             // Real
    int32_t realFormat;           // Real
    int32_t defaultInt;           // Integer, Choice
    std::span<const char* const> choices;  // Choice
    bool writesIntegerFields;     // false only for the clip indicator
};

constexpr ParameterEntry realParameter(int32_t id, const char* name, double defaultValue,
                                      double minimum, double maximum, const char* unit,
                                      int32_t realFormat) {
    return {id, name, ParameterKind::Real, ControlStyle::Slider, defaultValue, minimum, maximum,
            unit, realFormat, 0, {}, false};
}

// A Text item: a group heading or the "\nVersion:" information text.
constexpr ParameterEntry textItem(int32_t id, const char* name) {
    return {id, name, ParameterKind::Text, ControlStyle::Label, 0.0, 0.0, 0.0, nullptr, 0, 0, {}, false};
}

constexpr ParameterEntry switchParameter(int32_t id, const char* name, int32_t defaultInt) {
    return {id, name, ParameterKind::Integer, ControlStyle::Switch, 0.0, 0.0, 0.0, nullptr, 0,
            defaultInt, {}, true};
}

// An Integer the module writes and never reads; no default is written.
constexpr ParameterEntry indicatorParameter(int32_t id, const char* name) {
    return {id, name, ParameterKind::Integer, ControlStyle::Indicator, 0.0, 0.0, 0.0, nullptr, 0, 0,
            {}, false};
}

constexpr ParameterEntry choiceParameter(int32_t id, const char* name, int32_t defaultInt,
                                        std::span<const char* const> choices) {
    return {id, name, ParameterKind::Choice, ControlStyle::ChoiceMenu, 0.0, 0.0, 0.0, nullptr, 0,
            defaultInt, choices, true};
}

// Writes one record from its entry.
void writeParameterInfo(ParameterInfo& info, const ParameterEntry& entry);

// Writes table[i] into infos[i] for every row of the table.
void writeParameterTable(ParameterInfo* infos, std::span<const ParameterEntry> table);

// Appends the choices of the Choice parameter `id` of the table; nothing for
// any other id.
void appendChoices(std::span<const ParameterEntry> table, int32_t id, TextList& choices);

// The choiceCount the description of `id` declares to the host: the number of
// choices of a Choice parameter, 0 for every other parameter and for an id the
// table does not hold. A host sizes its op-19 buffer by it.
std::size_t declaredChoiceCount(std::span<const ParameterEntry> table, int32_t id);

}  // namespace plogue::biduleSDK
