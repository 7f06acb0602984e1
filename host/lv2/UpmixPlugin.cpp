// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/lv2/UpmixPlugin.h"

#include <algorithm>
#include <string>

#include "host/spectral/UpmixControlTable.h"

namespace quorveil::lv2 {

namespace {

using spectral::UpmixControlEntry;

constexpr AudioChannel kInputs[] = {{"in_left", "Left in", "left"},
                                    {"in_right", "Right in", "right"}};
// The engine's output order, FL FR FC LFE BL BR.
constexpr AudioChannel kOutputs[] = {{"fl", "FL", "left"},
                                     {"fr", "FR", "right"},
                                     {"fc", "FC", "center"},
                                     {"lfe", "LFE", "lowFrequencyEffects"},
                                     {"bl", "BL", "rearLeft"},
                                     {"br", "BR", "rearRight"}};
static_assert(std::size(kOutputs) == spectral::kUpmixChannels);

std::string lv2Unit(const std::string& unit) {
    if (unit == "dB") return "db";
    if (unit == "ms") return "ms";
    if (unit == "Hz") return "hz";
    return "";
}

// An LV2 symbol is a C identifier: "rear-delay" becomes "rear_delay".
std::string portSymbol(const char* option) {
    std::string symbol = option;
    for (char& c : symbol) {
        if (c == '-') c = '_';
    }
    return symbol;
}

PortDescription methodPort() {
    PortDescription port;
    port.kind = PortKind::ControlInput;
    port.control = ControlKind::Enumeration;
    port.symbol = "method";
    port.name = "Method";
    for (const spectral::UpmixMethodEntry& entry : spectral::upmixMethodTable()) {
        port.scalePoints.emplace_back(entry.name);
    }
    port.maximum = static_cast<double>(port.scalePoints.size() - 1);
    port.defaultValue = static_cast<double>(spectral::UpmixControls{}.method);
    return port;
}

PortDescription atfPort() {
    PortDescription port;
    port.kind = PortKind::ControlInput;
    port.control = ControlKind::Toggle;
    port.symbol = "atf";
    port.name = "ATF stage";
    port.maximum = 1.0;
    port.defaultValue = spectral::UpmixControls{}.atf ? 1.0 : 0.0;
    return port;
}

// The port of one control: its range, with the control's "off" value (the
// LFE's 0) included where it lies below the range.
PortDescription controlPort(const UpmixControlEntry& entry) {
    PortDescription port;
    port.kind = PortKind::ControlInput;
    port.symbol = portSymbol(entry.symbol);
    port.name = entry.name;
    port.minimum = entry.offText != nullptr ? std::min(entry.off, entry.minimum) : entry.minimum;
    port.maximum = entry.maximum;
    port.defaultValue = entry.defaultValue();
    port.unit = lv2Unit(entry.unit);
    return port;
}

spectral::UpmixSetup setupAt(double sampleRate) {
    spectral::UpmixSetup setup;
    setup.sampleRate = sampleRate;
    return setup;
}

}  // namespace

PluginDescription upmixDescription(int latencySamples) {
    PluginDescription d;
    d.uri = kUpmixUri;
    d.name = "Quorveil Upmix 2.0 to 5.1";
    d.binary = "quorveil_upmix.so";
    d.license = "https://spdx.org/licenses/GPL-3.0-or-later";
    d.groups = {{"stereo_in", "Stereo in", "StereoGroup", true},
                {"surround_out", "5.1 out", "FivePointOneGroup", false}};
    d.addAudioPorts(PortKind::AudioInput, kInputs, "stereo_in");
    d.addAudioPorts(PortKind::AudioOutput, kOutputs, "surround_out");
    d.ports.push_back(methodPort());
    d.ports.push_back(atfPort());
    for (const UpmixControlEntry& entry : spectral::upmixControlTable()) {
        d.ports.push_back(controlPort(entry));
    }
    PortDescription latency;
    latency.kind = PortKind::ControlOutput;
    latency.control = ControlKind::Latency;
    latency.symbol = "latency";
    latency.name = "Latency";
    latency.maximum = latency.defaultValue = latencySamples;
    d.ports.push_back(latency);
    return d;
}

UpmixPlugin::UpmixPlugin(const host::PluginLibrary& library, double sampleRate)
    : engine_(library, setupAt(sampleRate)),
      description_(upmixDescription(engine_.latency())),
      controlPorts_(kControlPortsBeforeTable + spectral::upmixControlTable().size(), nullptr),
      controls_(engine_.controls()) {
    firstControlPort_ = description_.portIndex("method");
    latencyPortIndex_ = description_.portIndex("latency");
}

void UpmixPlugin::connectPort(uint32_t port, void* data) {
    if (port < inputs_.size()) {
        inputs_[port] = static_cast<const float*>(data);
    } else if (port - inputs_.size() < outputs_.size()) {
        outputs_[port - inputs_.size()] = static_cast<float*>(data);
    } else if (port - firstControlPort_ < controlPorts_.size()) {
        controlPorts_[port - firstControlPort_] = static_cast<const float*>(data);
    } else if (port == latencyPortIndex_) {
        latencyPort_ = static_cast<float*>(data);
    }
}

// The controls as the host set them, made safe by the description (NaN gives
// the default, anything else is clamped into the range, the engine clamps
// once more to its own rules); the engine hears of them only when one
// changed, and then from its next hop on.
void UpmixPlugin::followControls() {
    auto valueOf = [this](std::size_t c) {
        const PortDescription& port = description_.ports[firstControlPort_ + c];
        const float* value = controlPorts_[c];
        return port.clamp(value != nullptr ? static_cast<double>(*value) : port.defaultValue);
    };
    spectral::UpmixControls wanted = controls_;
    const auto methods = spectral::upmixMethodTable();
    wanted.method = methods[static_cast<std::size_t>(valueOf(0))].method;
    wanted.atf = valueOf(1) != 0.0;
    const auto entries = spectral::upmixControlTable();
    for (std::size_t e = 0; e < entries.size(); ++e) {
        wanted.*entries[e].field = entries[e].clamped(valueOf(kControlPortsBeforeTable + e));
    }
    bool changed = wanted.method != controls_.method || wanted.atf != controls_.atf;
    for (const UpmixControlEntry& entry : entries) {
        changed = changed || wanted.*entry.field != controls_.*entry.field;
    }
    if (changed) {
        engine_.setControls(wanted);
        controls_ = wanted;
    }
}

void UpmixPlugin::run(uint32_t samples) {
    if (latencyPort_ != nullptr) {
        *latencyPort_ = static_cast<float>(engine_.latency());
    }
    followControls();
    if (inputs_[0] == nullptr || inputs_[1] == nullptr) return;
    for (float* output : outputs_) {
        if (output == nullptr) return;
    }
    engine_.process(inputs_[0], inputs_[1], outputs_.data(), samples);
}

}  // namespace quorveil::lv2
