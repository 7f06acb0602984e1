#include "host/lv2/UpmixPlugin.h"

#include <string>

#include "host/spectral/UpmixControlTable.h"

namespace quorveil::lv2 {

namespace {

using spectral::UpmixControlKind;
using spectral::UpmixControlRow;

struct Channel {
    const char* symbol;
    const char* name;
    const char* designation;
};

constexpr Channel kInputs[] = {{"in_left", "Left in", "left"}, {"in_right", "Right in", "right"}};
// The engine's output order, FL FR FC LFE BL BR.
constexpr Channel kOutputs[] = {{"fl", "FL", "left"},
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

PortDescription controlPort(const UpmixControlRow& row) {
    PortDescription port;
    port.kind = PortKind::ControlInput;
    port.symbol = row.symbol;
    port.name = row.name;
    port.minimum = row.minimum;
    port.maximum = row.maximum;
    port.defaultValue = row.defaultValue();
    port.unit = lv2Unit(row.unit);
    switch (row.kind) {
    case UpmixControlKind::Real: port.control = ControlKind::Real; break;
    case UpmixControlKind::Toggle: port.control = ControlKind::Toggle; break;
    case UpmixControlKind::Choice:
        port.control = ControlKind::Enumeration;
        port.scalePoints = row.choices();
        break;
    }
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
    for (const Channel& channel : kInputs) {
        PortDescription port;
        port.kind = PortKind::AudioInput;
        port.symbol = channel.symbol;
        port.name = channel.name;
        port.group = "stereo_in";
        port.designation = channel.designation;
        d.ports.push_back(port);
    }
    for (const Channel& channel : kOutputs) {
        PortDescription port;
        port.kind = PortKind::AudioOutput;
        port.symbol = channel.symbol;
        port.name = channel.name;
        port.group = "surround_out";
        port.designation = channel.designation;
        d.ports.push_back(port);
    }
    for (const UpmixControlRow& row : spectral::upmixControlTable()) {
        d.ports.push_back(controlPort(row));
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
      controlPorts_(spectral::upmixControlTable().size(), nullptr),
      controls_(engine_.controls()) {
    firstControlPort_ = description_.portIndex(spectral::upmixControlTable()[0].symbol);
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
// the default, anything else is clamped into the range); the engine hears of
// them only when one changed.
void UpmixPlugin::followControls() {
    spectral::UpmixControls wanted = controls_;
    const auto rows = spectral::upmixControlTable();
    for (std::size_t c = 0; c < rows.size(); ++c) {
        const PortDescription& port = description_.ports[firstControlPort_ + c];
        const float* value = controlPorts_[c];
        rows[c].set(wanted, port.clamp(value != nullptr ? static_cast<double>(*value)
                                                        : port.defaultValue));
    }
    bool changed = false;
    for (const UpmixControlRow& row : rows) {
        changed = changed || row.get(wanted) != row.get(controls_);
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
