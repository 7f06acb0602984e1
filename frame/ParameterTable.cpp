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

}  // namespace

void writeParameterInfo(ParameterInfo& info, const ParameterSpec& spec) {
    const bool carriesValue = spec.kind != ParameterKind::Text;
    info.id = spec.id;
    copyLabel(info.name, spec.name);
    info.kind = static_cast<int32_t>(spec.kind);
    info.controlStyle = static_cast<int32_t>(spec.controlStyle);
    info.switchA = carriesValue ? 1 : 0;
    info.switchB = carriesValue ? 1 : 0;

    switch (spec.kind) {
    case ParameterKind::Real:
        info.defaultValue = spec.defaultValue;
        copyLabel(info.unit, spec.unit);
        info.realFormat = spec.realFormat;
        info.minimum = spec.minimum;
        info.maximum = spec.maximum;
        info.realOption = 0;
        break;
    case ParameterKind::Integer:
    case ParameterKind::Choice:
        if (spec.writesIntegerFields) {
            info.integerDefault.defaultInt = spec.defaultInt;
            info.integerDefault.choiceCount = static_cast<int32_t>(spec.choices.size());
        }
        break;
    case ParameterKind::Text:
        break;
    }
}

void writeParameterTable(ParameterInfo* infos, std::span<const ParameterSpec> table) {
    for (std::size_t i = 0; i < table.size(); ++i) {
        writeParameterInfo(infos[i], table[i]);
    }
}

void appendChoices(std::span<const ParameterSpec> table, int32_t id, TextList& choices) {
    for (const ParameterSpec& spec : table) {
        if (spec.id == id && spec.kind == ParameterKind::Choice) {
            choices.insert(choices.end(), spec.choices.begin(), spec.choices.end());
            return;
        }
    }
}

}  // namespace plogue::biduleSDK
