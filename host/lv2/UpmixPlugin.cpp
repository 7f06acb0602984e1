// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/lv2/UpmixPlugin.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <string>

#include "host/spectral/UpmixControlTable.h"

namespace quorveil::lv2 {

namespace {

using spectral::UpmixControlEntry;

constexpr AudioChannel kInputs[] = {{"in_left", "Left in", "left"},
                                    {"in_right", "Right in", "right"}};

// An output port's symbol: the speaker's name in lower case ("fl", "lfe").
std::string speakerSymbol(const spectral::SpeakerPosition& speaker) {
    std::string symbol = speaker.name;
    for (char& c : symbol) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return symbol;
}

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

// The control ports of the first release, in port order after the audio
// ports; the latency port follows them. Hosts save sessions by port index,
// so these never move: a control added to the upmix since gets its port
// after the latency, optional to connect, in the order of the control table.
constexpr const char* kFirstReleaseControls[] = {
    "method", "atf", "width", "centre", "ambience", "rear_delay", "smooth", "lfe_cutoff", "gain"};

spectral::UpmixSetup setupAt(double sampleRate, const spectral::SpeakerLayout& layout) {
    spectral::UpmixSetup setup;
    setup.sampleRate = sampleRate;
    setup.layout = &layout;
    return setup;
}

const spectral::SpeakerLayout& layoutOrThrow(const char* uri) {
    const spectral::SpeakerLayout* layout = upmixLayoutOf(uri != nullptr ? uri : "");
    if (layout == nullptr) throw host::HostError(std::string("no upmix plug-in '") + (uri != nullptr ? uri : "") + "'");
    return *layout;
}

}  // namespace

std::string upmixUri(const spectral::SpeakerLayout& layout) {
    return &layout == &spectral::defaultLayout() ? std::string(kUpmixUri)
                                                 : std::string(kUpmixUri) + "-" + layout.name;
}

const spectral::SpeakerLayout* upmixLayoutOf(const std::string& uri) {
    for (const spectral::SpeakerLayout& layout : spectral::speakerLayouts()) {
        if (upmixUri(layout) == uri) return &layout;
    }
    return nullptr;
}

PluginDescription upmixDescription(int latencySamples, const spectral::SpeakerLayout& layout) {
    return upmixDescription(latencySamples, layout, spectral::upmixControlTable());
}

PluginDescription upmixDescription(int latencySamples, const spectral::SpeakerLayout& layout,
                                   std::span<const UpmixControlEntry> controlTable) {
    PluginDescription d;
    d.uri = upmixUri(layout);
    d.name = std::string("Quorveil Upmix 2.0 to ") + layout.name;
    d.binary = "quorveil_upmix.so";
    d.license = "https://spdx.org/licenses/GPL-3.0-or-later";
    d.groups = {{"stereo_in", "Stereo in", "StereoGroup", true},
                {"surround_out", std::string(layout.name) + " out", layout.lv2Group, false}};
    d.addAudioPorts(PortKind::AudioInput, kInputs, "stereo_in");
    for (const spectral::SpeakerPosition& speaker : layout.positions()) {
        PortDescription port;
        port.kind = PortKind::AudioOutput;
        port.symbol = speakerSymbol(speaker);
        port.name = speaker.name;
        port.group = "surround_out";
        port.designation = speaker.designation;
        d.ports.push_back(port);
    }
    std::vector<PortDescription> controls{methodPort(), atfPort()};
    for (const UpmixControlEntry& entry : controlTable) {
        controls.push_back(controlPort(entry));
    }
    for (const char* symbol : kFirstReleaseControls) {
        const auto port = std::find_if(controls.begin(), controls.end(),
                                       [&](const PortDescription& p) { return p.symbol == symbol; });
        if (port == controls.end()) {
            throw std::logic_error(std::string("the upmix has no control '") + symbol +
                                   "', whose port hosts' saved sessions address by index");
        }
        d.ports.push_back(*port);
        controls.erase(port);
    }
    PortDescription latency;
    latency.kind = PortKind::ControlOutput;
    latency.control = ControlKind::Latency;
    latency.symbol = "latency";
    latency.name = "Latency";
    latency.maximum = latency.defaultValue = latencySamples;
    d.ports.push_back(latency);
    for (PortDescription& port : controls) {
        port.connectionOptional = true;
        d.ports.push_back(port);
    }
    return d;
}

UpmixPlugin::UpmixPlugin(const host::PluginLibrary& library, double sampleRate, const char* uri)
    : engine_(library, setupAt(sampleRate, layoutOrThrow(uri))),
      description_(upmixDescription(engine_.latency(), engine_.layout())),
      outputCount_(static_cast<std::size_t>(engine_.channels())),
      controlPorts_(description_.ports.size(), nullptr),
      controls_(engine_.controls()) {
    methodPort_ = description_.portIndex("method");
    atfPort_ = description_.portIndex("atf");
    for (const UpmixControlEntry& entry : spectral::upmixControlTable()) {
        entryPorts_.push_back(description_.portIndex(portSymbol(entry.symbol)));
    }
    latencyPortIndex_ = description_.portIndex("latency");
}

void UpmixPlugin::connectPort(uint32_t port, void* data) {
    if (port < inputs_.size()) {
        inputs_[port] = static_cast<const float*>(data);
    } else if (port - inputs_.size() < outputCount_) {
        outputs_[port - inputs_.size()] = static_cast<float*>(data);
    } else if (port == latencyPortIndex_) {
        latencyPort_ = static_cast<float*>(data);
    } else if (port < controlPorts_.size()) {
        controlPorts_[port] = static_cast<const float*>(data);
    }
}

// The controls as the host set them, made safe by the description (NaN gives
// the default, anything else is clamped into the range, the engine clamps
// once more to its own rules); the engine hears of them only when one
// changed, and then from its next hop on.
void UpmixPlugin::followControls() {
    auto valueOf = [this](uint32_t index) {
        const PortDescription& port = description_.ports[index];
        const float* value = controlPorts_[index];
        return port.clamp(value != nullptr ? static_cast<double>(*value) : port.defaultValue);
    };
    spectral::UpmixControls wanted = controls_;
    const auto methods = spectral::upmixMethodTable();
    wanted.method = methods[static_cast<std::size_t>(valueOf(methodPort_))].method;
    wanted.atf = valueOf(atfPort_) != 0.0;
    const auto entries = spectral::upmixControlTable();
    for (std::size_t e = 0; e < entries.size(); ++e) {
        wanted.*entries[e].field = entries[e].clamped(valueOf(entryPorts_[e]));
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
    if (startAfresh_) {
        engine_.reset();
        startAfresh_ = false;
    }
    if (inputs_[0] == nullptr || inputs_[1] == nullptr) return;
    for (std::size_t c = 0; c < outputCount_; ++c) {
        if (outputs_[c] == nullptr) return;
    }
    engine_.process(inputs_[0], inputs_[1], outputs_.data(), samples);
}

}  // namespace quorveil::lv2
