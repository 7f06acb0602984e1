#include "host/spectral/HostedModule.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace quorveil::spectral {

using plogue::biduleSDK::ParameterInfo;
using plogue::biduleSDK::ParameterKind;

namespace {

constexpr int32_t kIndicatorStyle = 9;

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string nameOf(const ParameterInfo& info) { return host::fieldText(info.name, sizeof info.name); }

bool parseInteger(const std::string& text, int32_t& value) {
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || parsed < INT32_MIN || parsed > INT32_MAX) return false;
    value = static_cast<int32_t>(parsed);
    return true;
}

}  // namespace

HostedModule::HostedModule(const host::PluginLibrary& library, const std::string& query,
                           const plogue::biduleSDK::EngineInfo& engine) {
    const host::ModuleRow row = library.findModule(query);
    className_ = row.uniqueId.substr(row.uniqueId.rfind('.') + 1);
    instance_ = std::make_unique<host::HostedInstance>(library, row.uniqueId);
    instance_->setEngineInfo(engine);
    pins_ = instance_->pinCounts();
    parameters_ = instance_->describeParameters();
    instance_->start();
    for (const ParameterInfo& info : parameters_) {
        switch (static_cast<ParameterKind>(info.kind)) {
        case ParameterKind::Real:
            instance_->setRealParameter(info.id, info.defaultValue);
            break;
        case ParameterKind::Integer:
            if (info.controlStyle != kIndicatorStyle) {
                instance_->setIntParameter(info.id, info.integerDefault.defaultInt);
            }
            break;
        case ParameterKind::Choice:
            instance_->setIntParameter(info.id, info.integerDefault.defaultInt);
            break;
        default:
            break;
        }
    }
    instance_->clearServiceLog();
    buffers_ = std::make_unique<host::ProcessBuffers>(pins_, engine);
}

const ParameterInfo* HostedModule::find(const std::string& name) const {
    const std::string wanted = lowercase(trimmed(name));
    for (const ParameterInfo& info : parameters_) {
        if (lowercase(trimmed(nameOf(info))) == wanted) return &info;
    }
    return nullptr;
}

bool HostedModule::hasParameter(const std::string& name) const {
    const ParameterInfo* info = find(name);
    return info != nullptr && info->kind != static_cast<int32_t>(ParameterKind::Text);
}

void HostedModule::setParameter(const std::string& name, const std::string& value) {
    const ParameterInfo* info = find(name);
    if (info == nullptr) {
        throw host::HostError(className_ + " has no parameter '" + name + "'");
    }
    std::string label(1, '\'');
    label.append(trimmed(nameOf(*info))).append("' of ").append(className_);
    const std::string text = trimmed(value);
    switch (static_cast<ParameterKind>(info->kind)) {
    case ParameterKind::Real: {
        char* end = nullptr;
        const double number = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !std::isfinite(number)) {
            throw host::HostError(label + " takes a number, not '" + value + "'");
        }
        instance_->setRealParameter(info->id, number);
        return;
    }
    case ParameterKind::Integer: {
        const std::string word = lowercase(text);
        int32_t number = 0;
        if (word == "on" || word == "true" || word == "yes") {
            number = 1;
        } else if (word == "off" || word == "false" || word == "no") {
            number = 0;
        } else if (!parseInteger(text, number)) {
            throw host::HostError(label + " takes on or off, not '" + value + "'");
        }
        instance_->setIntParameter(info->id, number);
        return;
    }
    case ParameterKind::Choice: {
        const auto choices = instance_->choiceList(info->id, info->integerDefault.choiceCount);
        for (std::size_t i = 0; i < choices.size(); ++i) {
            if (lowercase(choices[i]) == lowercase(text)) {
                instance_->setIntParameter(info->id, static_cast<int32_t>(i));
                return;
            }
        }
        int32_t index = 0;
        if (parseInteger(text, index) && index >= 0 &&
            static_cast<std::size_t>(index) < choices.size()) {
            instance_->setIntParameter(info->id, index);
            return;
        }
        std::string list;
        for (const std::string& choice : choices) list += (list.empty() ? "" : ", ") + choice;
        throw host::HostError(label + " is one of " + list + ", not '" + value + "'");
    }
    default:
        throw host::HostError(label + " is a label and takes no value");
    }
}

ParameterSetting parseSetting(const std::string& text) {
    const auto equals = text.find('=');
    if (equals == std::string::npos || equals == 0) {
        throw host::HostError("--set wants NAME=VALUE, not '" + text + "'");
    }
    ParameterSetting setting;
    setting.name = text.substr(0, equals);
    setting.value = text.substr(equals + 1);
    const auto colon = setting.name.find(':');
    if (colon != std::string::npos) {
        setting.module = trimmed(setting.name.substr(0, colon));
        setting.name = setting.name.substr(colon + 1);
    }
    return setting;
}

void applySettings(const std::vector<ParameterSetting>& settings,
                   const std::vector<HostedModule*>& modules) {
    for (const ParameterSetting& setting : settings) {
        bool applied = false;
        for (HostedModule* module : modules) {
            if (!setting.module.empty() && lowercase(setting.module) != lowercase(module->className())) {
                continue;
            }
            if (module->hasParameter(setting.name)) {
                module->setParameter(setting.name, setting.value);
                applied = true;
            }
        }
        if (!applied) {
            std::string chain;
            for (HostedModule* module : modules) chain += (chain.empty() ? "" : ", ") + module->className();
            throw host::HostError("no parameter '" + trimmed(setting.name) + "'" +
                                  (setting.module.empty() ? "" : " in " + setting.module) +
                                  " among " + chain);
        }
    }
}

}  // namespace quorveil::spectral
