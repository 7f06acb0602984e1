// SPDX-License-Identifier: MIT
#include "host/hosting/HostedInstance.h"

#include <algorithm>
#include <cstring>

namespace quorveil::host {

using namespace plogue::biduleSDK;

std::string fieldText(const char* field, std::size_t bytes) {
    return std::string(field, strnlen(field, bytes));
}

HostedInstance::HostedInstance(const PluginLibrary& library, const std::string& uniqueId)
    : library_(library), hostSide_{{&HostedInstance::hostCallback}, this} {
    block_ = library_.newInstance(uniqueId.c_str(), &hostSide_.record);
    if (block_ == nullptr) {
        throw HostError("the library refused to create '" + uniqueId + "'");
    }
}

HostedInstance::~HostedInstance() { library_.deleteInstance(block_); }

int32_t HostedInstance::hostCallback(HostRecord* host, int32_t op, int32_t id, void* data) {
    auto* side = reinterpret_cast<HostSide*>(host);
    try {
        side->owner->serve(static_cast<HostOp>(op), id, data);
    } catch (...) {
        // Nothing may unwind into the library.
    }
    return 0;
}

void HostedInstance::serve(HostOp op, int32_t id, void* data) {
    ServiceCall call{op, id, 0.0, 0, {}};
    StoredParameter& stored = parameters_[id];
    switch (op) {
    case HostOp::GetRealValue:
        *static_cast<double*>(data) = stored.real;
        call.real = stored.real;
        break;
    case HostOp::GetTextValue: {
        auto* buffer = static_cast<char*>(data);
        const std::size_t length = std::min(stored.text.size(), kTextValueBytes - 1);
        std::memcpy(buffer, stored.text.data(), length);
        buffer[length] = '\0';
        call.text = stored.text.substr(0, length);
        break;
    }
    case HostOp::GetIntValue:
        *static_cast<int32_t*>(data) = stored.integer;
        call.integer = stored.integer;
        break;
    case HostOp::SetRealValue:
        stored.real = call.real = *static_cast<const double*>(data);
        break;
    case HostOp::SetTextValue:
        stored.text = call.text = fieldText(static_cast<const char*>(data), kTextValueBytes);
        break;
    case HostOp::SetIntValue:
        stored.integer = call.integer = *static_cast<const int32_t*>(data);
        stored.raised += call.integer != 0 ? 1 : 0;
        break;
    case HostOp::SetParameterEnabled:
        call.integer = *static_cast<const int32_t*>(data);
        stored.enabled = call.integer != 0;
        break;
    case HostOp::SendTextBuffer:
        call.text = fieldText(static_cast<const char*>(data), kTextValueBytes);
        break;
    case HostOp::SendHostText:
        call.text = fieldText(static_cast<const char*>(data), kHostTextBytes);
        break;
    default:
        break;
    }
    if (logKept_) {
        serviceLog_.push_back(std::move(call));
    }
}

void HostedInstance::dispatch(DispatchOp op, void* arg, int32_t* value) {
    dispatch(static_cast<int32_t>(op), arg, value);
}

void HostedInstance::dispatch(int32_t op, void* arg, int32_t* value) {
    block_->dispatch(block_, op, arg, value);
}

void HostedInstance::start() { dispatch(DispatchOp::Start, nullptr, nullptr); }

void HostedInstance::setEngineInfo(const EngineInfo& engine) {
    EngineInfo copy = engine;
    dispatch(DispatchOp::SetEngineInfo, &copy, nullptr);
}

int32_t HostedInstance::pinCount(DispatchOp countOp) {
    int32_t value = 0;
    dispatch(countOp, nullptr, &value);
    return value;
}

PinCounts HostedInstance::pinCounts() {
    PinCounts counts;
    counts.audioIn = pinCount(DispatchOp::AudioInCount);
    counts.audioOut = pinCount(DispatchOp::AudioOutCount);
    counts.midiIn = pinCount(DispatchOp::MidiInCount);
    counts.midiOut = pinCount(DispatchOp::MidiOutCount);
    counts.frequencyIn = pinCount(DispatchOp::FrequencyInCount);
    counts.frequencyOut = pinCount(DispatchOp::FrequencyOutCount);
    counts.magnitudeIn = pinCount(DispatchOp::MagnitudeInCount);
    counts.magnitudeOut = pinCount(DispatchOp::MagnitudeOutCount);
    return counts;
}

std::vector<std::string> HostedInstance::pinNames(DispatchOp namesOp) {
    int32_t count = 0;
    dispatch(namesOp, nullptr, &count);
    if (count <= 0) {
        return {};
    }
    std::vector<char> entries(static_cast<std::size_t>(count) * kNameEntryBytes, '\0');
    dispatch(namesOp, entries.data(), &count);
    std::vector<std::string> names;
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        names.push_back(fieldText(entries.data() + i * kNameEntryBytes, kNameEntryBytes));
    }
    return names;
}

std::vector<std::string> HostedInstance::inputPinNames() { return pinNames(DispatchOp::InputPinNames); }

std::vector<std::string> HostedInstance::outputPinNames() {
    return pinNames(DispatchOp::OutputPinNames);
}

std::vector<ParameterInfo> HostedInstance::describeParameters() {
    int32_t count = 0;
    dispatch(DispatchOp::DescribeParameters, nullptr, &count);
    if (count <= 0) {
        return {};
    }
    std::vector<ParameterInfo> infos(static_cast<std::size_t>(count));
    std::memset(static_cast<void*>(infos.data()), 0, infos.size() * sizeof(ParameterInfo));
    dispatch(DispatchOp::DescribeParameters, infos.data(), &count);
    return infos;
}

bool HostedInstance::hasFlags(int32_t mask) {
    int32_t answer = -1;
    dispatch(DispatchOp::HasFlags, &answer, &mask);
    return answer == 1;
}

void HostedInstance::notifyParameterChanged(int32_t id) {
    dispatch(DispatchOp::ParameterChanged, nullptr, &id);
}

void HostedInstance::hostEvent(DispatchOp eventOp) { dispatch(eventOp, nullptr, nullptr); }

std::vector<std::string> HostedInstance::choiceList(int32_t id, int32_t choiceCount) {
    if (choiceCount <= 0) {
        return {};
    }
    std::vector<char> entries(static_cast<std::size_t>(choiceCount) * kNameEntryBytes, '\0');
    dispatch(DispatchOp::ChoiceList, entries.data(), &id);
    std::vector<std::string> choices;
    for (std::size_t i = 0; i < static_cast<std::size_t>(choiceCount); ++i) {
        choices.push_back(fieldText(entries.data() + i * kNameEntryBytes, kNameEntryBytes));
    }
    return choices;
}

bool isHostSetting(const ParameterInfo& info) {
    switch (static_cast<ParameterKind>(info.kind)) {
    case ParameterKind::Real:
    case ParameterKind::Choice: return true;
    case ParameterKind::Integer: return info.controlStyle == static_cast<int32_t>(ControlStyle::Switch);
    default: return false;
    }
}

void HostedInstance::setToDefault(const ParameterInfo& info) {
    if (!isHostSetting(info)) {
        return;
    }
    if (info.kind == static_cast<int32_t>(ParameterKind::Real)) {
        setRealParameter(info.id, info.defaultValue);
    } else {
        setIntParameter(info.id, info.integerDefault.defaultInt);
    }
}

void HostedInstance::setRealParameter(int32_t id, double value) {
    parameters_[id].real = value;
    notifyParameterChanged(id);
}

void HostedInstance::setIntParameter(int32_t id, int32_t value) {
    parameters_[id].integer = value;
    notifyParameterChanged(id);
}

void HostedInstance::setTextParameter(int32_t id, const std::string& value) {
    parameters_[id].text = value;
    notifyParameterChanged(id);
}

void HostedInstance::process(ProcessBuffers& buffers) {
    block_->process(block_, buffers.audioIn.table(), buffers.audioOut.table(), nullptr, nullptr,
                    buffers.frequencyIn.table(), buffers.frequencyOut.table(),
                    buffers.magnitudeIn.table(), buffers.magnitudeOut.table(), nullptr, nullptr);
}

}  // namespace quorveil::host
