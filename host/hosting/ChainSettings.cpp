// SPDX-License-Identifier: MIT
#include "host/hosting/ChainSettings.h"

#include <utility>

namespace quorveil::host {

namespace {

bool addressedTo(const ParameterAssignment& setting, const ModuleSession& module) {
    return setting.module.empty() || foldCase(setting.module) == foldCase(module.className());
}

std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    }
    return text;
}

}  // namespace

void applySettings(std::span<ModuleSession* const> chain,
                   const std::vector<ParameterAssignment>& settings, bool force,
                   WarningListener* listener) {
    // (module, parameter id) of every control a setting reached, in order.
    std::vector<std::pair<ModuleSession*, int32_t>> reached;
    for (const ParameterAssignment& setting : settings) {
        std::vector<std::string> takers, names;
        for (ModuleSession* module : chain) {
            names.push_back(module->className());
            if (!addressedTo(setting, *module)) {
                continue;
            }
            // A prefixed setting goes to its module even without the name,
            // so that the module's own error names its parameters.
            const ParameterDescription* parameter = module->lookUpParameter(setting.name);
            if (parameter == nullptr && setting.module.empty()) {
                continue;
            }
            module->set(setting, force);
            reached.emplace_back(module, module->findParameter(setting.name).id);
            takers.push_back(module->className());
        }
        if (takers.empty() && chain.size() == 1) {
            chain[0]->set(setting, force);  // throws, naming the module's parameters
        }
        if (takers.empty()) {
            throw HostError("no parameter '" + setting.name + "'" +
                            (setting.module.empty() ? "" : " in " + setting.module) + " among " +
                            listed(names));
        }
        if (takers.size() > 1 && listener != nullptr) {
            listener->warning("'" + setting.name + "' goes to " + listed(takers) +
                              ": write MODULE:NAME (such as '" + takers.back() + ":" +
                              setting.name + "') to set one of them");
        }
    }
    if (listener == nullptr) {
        return;
    }
    // Once everything is set: a control still switched off did nothing.
    for (std::size_t i = 0; i < reached.size(); ++i) {
        auto [module, id] = reached[i];
        bool repeated = false;
        for (std::size_t j = i + 1; j < reached.size(); ++j) {
            repeated |= reached[j] == reached[i];
        }
        if (!repeated && !module->isEnabled(id)) {
            std::string line = "'";
            line.append(module->parameterLabel(id)).append("' does nothing here: ");
            line.append(module->className()).append(" keeps it switched off with these settings");
            listener->warning(line);
        }
    }
}

std::vector<std::string> settingsOutsideTheChain(std::span<const ChainStage> stages,
                                                 const std::vector<ParameterAssignment>& settings) {
    std::vector<std::string> warnings;
    for (const ParameterAssignment& setting : settings) {
        std::vector<std::string> owners, remedies;
        std::string label;
        bool reachesOneInUse = false;
        for (const ChainStage& stage : stages) {
            const ParameterDescription* parameter =
                addressedTo(setting, *stage.module) ? stage.module->lookUpParameter(setting.name)
                                                    : nullptr;
            if (parameter == nullptr) {
                continue;
            }
            label = parameter->label;
            reachesOneInUse |= stage.inUse;
            owners.push_back(stage.module->className() + "'s");
            remedies.push_back(stage.howToUse);
        }
        if (owners.empty() || reachesOneInUse) {
            continue;
        }
        const std::string shown = setting.module.empty() ? setting.name : setting.module + ":" + setting.name;
        std::string remedy;
        for (std::size_t i = 0; i < remedies.size(); ++i) {
            remedy += (i == 0 ? "" : i + 1 == remedies.size() ? " or " : ", ") + remedies[i];
        }
        warnings.push_back("--set " + shown + "=" + setting.value + " does nothing: '" + label +
                           "' is " + listed(owners) + "; add " + remedy);
    }
    return warnings;
}

}  // namespace quorveil::host
