// SPDX-License-Identifier: MIT
#include "host/hosting/ModuleSession.h"

#include <algorithm>
#include <charconv>

namespace quorveil::host {

using plogue::biduleSDK::EngineInfo;
using plogue::biduleSDK::HostOp;
using plogue::biduleSDK::ParameterInfo;
using plogue::biduleSDK::ParameterKind;

namespace {

// A choice list longer than this is a broken record, not a menu.
constexpr int32_t kMostChoices = 4096;

}  // namespace

ModuleSession::ModuleSession(const PluginLibrary& library, ModuleRow module,
                             const EngineInfo& engine)
    : module_(std::move(module)), engine_(engine) {
    instance_ = std::make_unique<HostedInstance>(library, module_.uniqueId);
    instance_->setEngineInfo(engine_);
    pins_ = instance_->pinCounts();
    inputNames_ = instance_->inputPinNames();
    outputNames_ = instance_->outputPinNames();

    const std::vector<ParameterInfo> infos = instance_->describeParameters();
    for (const ParameterInfo& info : infos) {
        ParameterDescription parameter = describe(info);
        if (parameter.kind == ParameterKind::Choice) {
            const int32_t count = std::clamp(info.integerDefault.choiceCount, 0, kMostChoices);
            parameter.choices = instance_->choiceList(parameter.id, count);
        }
        parameters_.push_back(std::move(parameter));
    }

    instance_->start();
    for (ParameterDescription& parameter : parameters_) {
        const auto stored = instance_->parameters().find(parameter.id);
        parameter.enabledAfterStart =
            stored == instance_->parameters().end() || stored->second.enabled;
    }
    collect();

    // A host starts every control at its declared default and tells the
    // module, so the module's members leave their constructor values.
    for (const ParameterInfo& info : infos) {
        instance_->setToDefault(info);
        collect();
    }
}

const ParameterDescription* ModuleSession::byId(int32_t id) const {
    for (const ParameterDescription& parameter : parameters_) {
        if (parameter.id == id) {
            return &parameter;
        }
    }
    return nullptr;
}

const ParameterDescription* ModuleSession::lookUpParameter(const std::string& nameOrId) const {
    const std::string wanted = foldCase(trimmed(nameOrId));
    for (const ParameterDescription& parameter : parameters_) {
        if (foldCase(parameter.label) == wanted) {
            return &parameter;
        }
    }
    int32_t id = 0;
    const auto [end, error] = std::from_chars(wanted.data(), wanted.data() + wanted.size(), id);
    if (error == std::errc() && end == wanted.data() + wanted.size() && !wanted.empty()) {
        return byId(id);
    }
    return nullptr;
}

std::string ModuleSession::className() const {
    return module_.uniqueId.substr(module_.uniqueId.rfind('.') + 1);
}

const ParameterDescription& ModuleSession::findParameter(const std::string& nameOrId) const {
    if (const ParameterDescription* parameter = lookUpParameter(nameOrId)) {
        return *parameter;
    }
    std::string settable;
    for (const ParameterDescription& parameter : parameters_) {
        if (parameter.carriesValue() && !parameter.isIndicator()) {
            settable += (settable.empty() ? "" : ", ") + parameter.label;
        }
    }
    throw HostError(module_.name + " has no parameter '" + trimmed(nameOrId) + "' (" +
                    (settable.empty() ? "it has none to set" : "parameters: " + settable) + ")");
}

bool ModuleSession::isEnabled(int32_t id) const {
    const auto stored = instance_->parameters().find(id);
    return stored == instance_->parameters().end() || stored->second.enabled;
}

std::string ModuleSession::parameterLabel(int32_t id) const {
    const ParameterDescription* parameter = byId(id);
    return parameter != nullptr ? parameter->label : "parameter " + std::to_string(id);
}

std::string ModuleSession::currentValue(const ParameterDescription& parameter) {
    const StoredParameter& stored = instance_->parameter(parameter.id);
    if (parameter.kind == ParameterKind::Text) {
        return trimmed(stored.text);
    }
    return formatValue(parameter, stored.real, stored.integer);
}

void ModuleSession::set(const ParameterAssignment& assignment, bool force) {
    const ParameterDescription& parameter = findParameter(assignment.name);
    const ParameterValue value = parseValue(parameter, assignment.value, force);
    if (parameter.kind == ParameterKind::Real) {
        instance_->setRealParameter(parameter.id, value.real);
    } else {
        instance_->setIntParameter(parameter.id, value.integer);
    }
    collect();
}

void ModuleSession::setAll(const std::vector<ParameterAssignment>& assignments, bool force) {
    for (const ParameterAssignment& assignment : assignments) {
        set(assignment, force);
    }
}

ProcessBuffers ModuleSession::makeBuffers() const { return ProcessBuffers(pins_, engine_); }

void ModuleSession::process(ProcessBuffers& buffers) {
    instance_->process(buffers);
    if (!instance_->serviceLog().empty()) {
        collect();
    }
}

void ModuleSession::collect() {
    for (const ServiceCall& call : instance_->serviceLog()) {
        const ParameterDescription* parameter = byId(call.id);
        HostMessage message{HostMessage::Kind::Value,
                            parameter != nullptr ? parameter->label
                                                 : "parameter " + std::to_string(call.id),
                            {}, className()};
        switch (call.op) {
        case HostOp::SetRealValue:
            message.value = formatReal(call.real);
            break;
        case HostOp::SetIntValue:
            if (parameter != nullptr && parameter->isIndicator()) {
                indicatorLit_[call.id] += call.integer != 0 ? 1 : 0;
                continue;
            }
            message.value = parameter != nullptr ? formatValue(*parameter, 0.0, call.integer)
                                                 : std::to_string(call.integer);
            break;
        case HostOp::SetParameterEnabled:
            message.kind = HostMessage::Kind::Enabled;
            message.value = call.integer != 0 ? "on" : "off";
            break;
        case HostOp::SetTextValue:
        case HostOp::SendTextBuffer:
        case HostOp::SendHostText:
            message.kind = HostMessage::Kind::Text;
            message.value = trimmed(call.text);
            break;
        default:
            continue;  // reads, and ops that carry nothing to show
        }
        // A module that repeats itself every block is reported once per change.
        const auto said = lastSaid_.try_emplace({call.id, static_cast<int>(message.kind)});
        if (said.second || said.first->second != message.value) {
            said.first->second = message.value;
            pending_.push_back(std::move(message));
        }
    }
    instance_->clearServiceLog();
}

std::vector<HostMessage> ModuleSession::takeMessages() {
    std::vector<HostMessage> messages;
    messages.swap(pending_);
    return messages;
}

std::vector<IndicatorTally> ModuleSession::indicatorTallies() const {
    std::vector<IndicatorTally> tallies;
    for (const auto& [id, lit] : indicatorLit_) {
        const ParameterDescription* parameter = byId(id);
        tallies.push_back({parameter != nullptr ? parameter->label : std::to_string(id), lit});
    }
    return tallies;
}

PinCounts probePins(const PluginLibrary& library, const ModuleRow& module) {
    HostedInstance instance(library, module.uniqueId);
    return instance.pinCounts();
}

}  // namespace quorveil::host
