// SPDX-License-Identifier: MIT
#include "frame/ParameterTable.h"

#include <cstring>

namespace plogue::biduleSDK {

namespace {

// Label and unit texts are short literals of ours; cut to fit all the same.
void copyLabel(char (&field)[128], const char* text) {
    const std::size_t length = strnlen(text, sizeof field - 1);
    std::memcpy(field, text, length);
    field[length] = '\0';
}

// What the record's choiceCount says: written for switches and choices only.
std::size_t choiceCountOf(const ParameterEntry& entry) {
    const bool integerFields =
        entry.kind == ParameterKind::Integer || entry.kind == ParameterKind::Choice;
    return integerFields && entry.writesIntegerFields ? entry.choices.size() : 0;
}

}  // namespace

void writeParameterInfo(ParameterInfo& info, const ParameterEntry& entry) {
    const bool carriesValue = entry.kind != ParameterKind::Text;
    info.id = entry.id;
    copyLabel(info.name, entry.name);
    info.kind = static_cast<int32_t>(entry.kind);
    info.controlStyle = static_cast<int32_t>(entry.controlStyle);
    info.switchA = carriesValue ? 1 : 0;
    info.switchB = carriesValue ? 1 : 0;

    switch (entry.kind) {
    case ParameterKind::Real:
        info.defaultValue = entry.defaultValue;
        copyLabel(info.unit, entry.unit);
        info.realFormat = entry.realFormat;
        info.minimum = entry.minimum;
        info.maximum = entry.maximum;
        info.realOption = 0;
        break;
    case ParameterKind::Integer:
    case ParameterKind::Choice:
        if (entry.writesIntegerFields) {
            info.integerDefault.defaultInt = entry.defaultInt;
            info.integerDefault.choiceCount = static_cast<int32_t>(choiceCountOf(entry));
        }
        break;
    case ParameterKind::Text:
        break;
    }
}

void writeParameterTable(ParameterInfo* infos, std::span<const ParameterEntry> table) {
    for (std::size_t i = 0; i < table.size(); ++i) {
        writeParameterInfo(infos[i], table[i]);
    }
}

void appendChoices(std::span<const ParameterEntry> table, int32_t id, TextList& choices) {
    for (const ParameterEntry& entry : table) {
        if (entry.id == id && entry.kind == ParameterKind::Choice) {
            choices.insert(choices.end(), entry.choices.begin(), entry.choices.end());
            return;
        }
    }
}

std::size_t declaredChoiceCount(std::span<const ParameterEntry> table, int32_t id) {
    for (const ParameterEntry& entry : table) {
        if (entry.id == id) {
            return choiceCountOf(entry);
        }
    }
    return 0;
}

}  // namespace plogue::biduleSDK
