// SPDX-License-Identifier: MIT
#include "frame/BidulePlugin.h"

#include <cstring>

namespace plogue::biduleSDK {

namespace {

// Copies `text` with its terminator to the start of a fixed-size host entry,
// cut so that it always fits. Bytes after the terminator are not touched.
void copyIntoEntry(char* entry, std::size_t entryBytes, const std::string& text) {
    const std::size_t length = text.size() < entryBytes ? text.size() : entryBytes - 1;
    std::memcpy(entry, text.data(), length);
    entry[length] = '\0';
}

// Copies list item i into 128-byte entry i, for i below both limits.
void copyIntoEntries(void* arg, const TextList& texts, std::size_t entryLimit) {
    auto* entries = static_cast<char*>(arg);
    for (std::size_t i = 0; i < entryLimit && i < texts.size(); ++i) {
        copyIntoEntry(entries + kNameEntryBytes * i, kNameEntryBytes, texts[i]);
    }
}

// The family's announced names, or one empty name per pin when it has none.
void appendNames(TextList& names, const PinFamily& family) {
    if (family.names.empty()) {
        for (int32_t i = 0; i < family.count; ++i) {
            names.emplace_back();
        }
        return;
    }
    names.insert(names.end(), family.names.begin(), family.names.end());
}

}  // namespace

BidulePlugin::BidulePlugin(HostRecord* host, const PinTable& pins,
                           std::span<const ParameterEntry> parameters)
    : engineInfo{}, pluginBlock{}, pins_(pins), parameters_(parameters) {
    pluginBlock.version = kPluginBlockVersion;
    pluginBlock.dispatch = &BidulePlugin::dispatchEntry;
    pluginBlock.process = &BidulePlugin::processEntry;
    pluginBlock.object = this;
    pluginBlock.host = host;
    // Stand-ins for the zeroed settings, for a host that processes before op 1.
    unconnectedPins_.prepare(pins_, engineInfo);
}

BidulePlugin::~BidulePlugin() = default;

void BidulePlugin::setEngineInfo(const EngineInfo* info) {
    // Field by field, so that nothing past byte 80 of the host's block is read.
    engineInfo.sampleRate = info->sampleRate;
    engineInfo.auxInt1 = info->auxInt1;
    engineInfo.auxReal1 = info->auxReal1;
    engineInfo.blockSize = info->blockSize;
    engineInfo.auxReal2 = info->auxReal2;
    engineInfo.auxReal3 = info->auxReal3;
    engineInfo.auxReal4 = info->auxReal4;
    engineInfo.auxInt2 = info->auxInt2;
    engineInfo.fftSize = info->fftSize;
    engineInfo.binCount = info->binCount;
    engineInfo.overlap = info->overlap;
    engineInfo.frameCount = info->frameCount;
    for (std::size_t i = 0; i < sizeof engineInfo.auxFlags; ++i) {
        engineInfo.auxFlags[i] = info->auxFlags[i];
    }
}

bool BidulePlugin::hasFlags(uint32_t mask) { return (flags & mask) == mask; }

void BidulePlugin::onHostEvent15() {}

void BidulePlugin::onHostEvent16() {}

int32_t BidulePlugin::describeParameters(int32_t* count, ParameterInfo* infos) {
    if (infos == nullptr) {
        *count = getNumParameters();
    } else if (*count == getNumParameters()) {
        fillParameterInfo(infos);
    }
    return 0;
}

int32_t BidulePlugin::getNumParameters() { return static_cast<int32_t>(parameters_.size()); }

void BidulePlugin::fillParameterInfo(ParameterInfo* infos) {
    writeParameterTable(infos, parameters_);
}

void BidulePlugin::fillChoiceList(int32_t id, TextList& choices) {
    appendChoices(parameters_, id, choices);
}

void BidulePlugin::getAudioInNames(TextList& names) { appendNames(names, pins_.audioIn); }
void BidulePlugin::getAudioOutNames(TextList& names) { appendNames(names, pins_.audioOut); }
void BidulePlugin::getMidiInNames(TextList& names) { appendNames(names, pins_.midiIn); }
void BidulePlugin::getMidiOutNames(TextList& names) { appendNames(names, pins_.midiOut); }
void BidulePlugin::getFrequencyInNames(TextList& names) { appendNames(names, pins_.frequencyIn); }
void BidulePlugin::getFrequencyOutNames(TextList& names) { appendNames(names, pins_.frequencyOut); }
void BidulePlugin::getMagnitudeInNames(TextList& names) { appendNames(names, pins_.magnitudeIn); }
void BidulePlugin::getMagnitudeOutNames(TextList& names) { appendNames(names, pins_.magnitudeOut); }

void BidulePlugin::onHostEvent20() {}

// --- host services ---------------------------------------------------------

int32_t BidulePlugin::callHost(HostOp op, int32_t id, void* data) {
    HostRecord* host = pluginBlock.host;
    if (host == nullptr || host->hostCallback == nullptr) {
        return 0;
    }
    return host->hostCallback(host, static_cast<int32_t>(op), id, data);
}

double BidulePlugin::getRealValue(int32_t id) {
    double value = 0.0;
    callHost(HostOp::GetRealValue, id, &value);
    return value;
}

std::string BidulePlugin::getTextValue(int32_t id) {
    char buffer[kTextValueBytes];
    buffer[0] = '\0';
    callHost(HostOp::GetTextValue, id, buffer);
    // A host that leaves the buffer unterminated still yields at most 23999 bytes.
    return std::string(buffer, strnlen(buffer, kTextValueBytes - 1));
}

int32_t BidulePlugin::getIntValue(int32_t id) {
    int32_t value = 0;
    callHost(HostOp::GetIntValue, id, &value);
    return value;
}

void BidulePlugin::setRealValue(int32_t id, double value) {
    callHost(HostOp::SetRealValue, id, &value);
}

void BidulePlugin::setTextValue(int32_t id, const char* text) {
    char buffer[kTextValueBytes];
    const std::size_t length = strnlen(text, kTextValueBytes - 1);
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    callHost(HostOp::SetTextValue, id, buffer);
}

void BidulePlugin::setIntValue(int32_t id, int32_t value) {
    callHost(HostOp::SetIntValue, id, &value);
}

void BidulePlugin::setParameterEnabled(int32_t id, bool enabled) {
    int32_t state = enabled ? 1 : 0;
    callHost(HostOp::SetParameterEnabled, id, &state);
}

void BidulePlugin::sendTextBuffer(int32_t id, char* buffer) {
    callHost(HostOp::SendTextBuffer, id, buffer);
}

void BidulePlugin::sendHostText(const char* text) {
    char buffer[kHostTextBytes];
    const std::size_t length = strnlen(text, kHostTextBytes - 1);
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    callHost(HostOp::SendHostText, 0, buffer);
}

void BidulePlugin::sendRaw(int32_t id, void* data) { callHost(HostOp::SendRaw, id, data); }

// --- the two entries -------------------------------------------------------

void BidulePlugin::dispatchEntry(PluginBlock* block, int32_t op, void* arg, int32_t* value) {
    if (block == nullptr || block->object == nullptr) {
        return;
    }
    try {
        static_cast<BidulePlugin*>(block->object)->dispatch(static_cast<DispatchOp>(op), arg, value);
    } catch (...) {
        // Nothing crosses the C boundary; a request we could not serve is ignored.
    }
}

void BidulePlugin::processEntry(PluginBlock* block, AudioPins audioIn, AudioPins audioOut,
                                void* midiIn, void* midiOut, SpectralPins frequencyIn,
                                SpectralPins frequencyOut, SpectralPins magnitudeIn,
                                SpectralPins magnitudeOut, void* hostArg9, void* hostArg10) {
    if (block == nullptr || block->object == nullptr) {
        return;
    }
    auto* module = static_cast<BidulePlugin*>(block->object);
    const BlockBuffers host{audioIn,      audioOut,    midiIn,      midiOut,  frequencyIn,
                            frequencyOut, magnitudeIn, magnitudeOut, hostArg9, hostArg10};
    try {
        module->process(module->unconnectedPins_.connect(host));
    } catch (...) {
    }
}

void BidulePlugin::copyPinNames(bool inputs, void* arg, int32_t* value) {
    if (arg == nullptr) {
        const PinTable& p = pins_;
        *value = inputs ? p.audioIn.count + p.midiIn.count + p.frequencyIn.count +
                              p.magnitudeIn.count
                        : p.audioOut.count + p.midiOut.count + p.frequencyOut.count +
                              p.magnitudeOut.count;
        return;
    }
    TextList names;
    if (inputs) {
        getAudioInNames(names);
        getMidiInNames(names);
        getFrequencyInNames(names);
        getMagnitudeInNames(names);
    } else {
        getAudioOutNames(names);
        getMidiOutNames(names);
        getFrequencyOutNames(names);
        getMagnitudeOutNames(names);
    }
    // The host offers *value entries; a negative count offers none.
    const std::size_t offered = *value > 0 ? static_cast<std::size_t>(*value) : 0;
    copyIntoEntries(arg, names, offered);
}

void BidulePlugin::dispatch(DispatchOp op, void* arg, int32_t* value) {
    switch (op) {
    case DispatchOp::Start:
        start();
        return;
    case DispatchOp::SetEngineInfo:
        if (arg != nullptr) {
            setEngineInfo(static_cast<const EngineInfo*>(arg));
            unconnectedPins_.prepare(pins_, engineInfo);
        }
        return;
    case DispatchOp::HostEvent15:
        onHostEvent15();
        return;
    case DispatchOp::HostEvent16:
        onHostEvent16();
        return;
    case DispatchOp::HostEvent20:
        onHostEvent20();
        return;
    default:
        break;
    }
    // Every remaining op reads or answers through `value`.
    if (value == nullptr) {
        return;
    }
    switch (op) {
    case DispatchOp::AudioInCount: *value = pins_.audioIn.count; return;
    case DispatchOp::AudioOutCount: *value = pins_.audioOut.count; return;
    case DispatchOp::MidiInCount: *value = pins_.midiIn.count; return;
    case DispatchOp::MidiOutCount: *value = pins_.midiOut.count; return;
    case DispatchOp::FrequencyInCount: *value = pins_.frequencyIn.count; return;
    case DispatchOp::FrequencyOutCount: *value = pins_.frequencyOut.count; return;
    case DispatchOp::MagnitudeInCount: *value = pins_.magnitudeIn.count; return;
    case DispatchOp::MagnitudeOutCount: *value = pins_.magnitudeOut.count; return;
    case DispatchOp::InputPinNames: copyPinNames(true, arg, value); return;
    case DispatchOp::OutputPinNames: copyPinNames(false, arg, value); return;
    case DispatchOp::DescribeParameters: {
        int32_t count = *value;
        describeParameters(&count, static_cast<ParameterInfo*>(arg));
        *value = count;
        return;
    }
    case DispatchOp::HasFlags:
        if (arg != nullptr) {
            *static_cast<int32_t*>(arg) = hasFlags(static_cast<uint32_t>(*value)) ? 1 : 0;
        }
        return;
    case DispatchOp::ParameterChanged: parameterChanged(*value); return;
    case DispatchOp::ChoiceList:
        if (arg != nullptr) {
            TextList choices;
            fillChoiceList(*value, choices);
            // The host sized its buffer from the choiceCount the parameter's
            // description declares, so never more entries than that, whatever
            // a module's list holds (0 for an id without choices).
            copyIntoEntries(arg, choices, declaredChoiceCount(parameters_, *value));
        }
        return;
    default:
        return;  // 17, 18 and unknown ops
    }
}

}  // namespace plogue::biduleSDK
