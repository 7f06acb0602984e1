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

// The upmix's switches: controls that choose rather than measure, each an
// enumeration of named choices or a toggle, as ports beside the control
// table's levels. Each reads its value from UpmixControls and writes it back
// (the port's value is the index of a choice, or 0/1).
struct SwitchControl {
    const char* symbol;
    const char* name;
    std::vector<std::string> (*choices)();  // null: a toggle
    double (*read)(const spectral::UpmixControls&);
    void (*write)(spectral::UpmixControls&, double value);
};

std::vector<std::string> methodChoices() {
    std::vector<std::string> names;
    for (const spectral::UpmixMethodEntry& entry : spectral::upmixMethodTable()) names.emplace_back(entry.name);
    return names;
}

std::vector<std::string> lfeModeChoices() {
    return {spectral::lfeModeName(spectral::LfeMode::Copy), spectral::lfeModeName(spectral::LfeMode::Crossover)};
}

const SwitchControl kSwitches[] = {
    {"method", "Method", &methodChoices,
     [](const spectral::UpmixControls& c) {
         const auto methods = spectral::upmixMethodTable();
         for (std::size_t i = 0; i < methods.size(); ++i) {
             if (methods[i].method == c.method) return static_cast<double>(i);
         }
         return 0.0;
     },
     [](spectral::UpmixControls& c, double value) {
         c.method = spectral::upmixMethodTable()[static_cast<std::size_t>(value)].method;
     }},
    {"atf", "ATF stage", nullptr, [](const spectral::UpmixControls& c) { return c.atf ? 1.0 : 0.0; },
     [](spectral::UpmixControls& c, double value) { c.atf = value != 0.0; }},
    // Only with an LFE cutoff: copy keeps the mains full range, crossover
    // takes the bass out of them.
    {"lfe_mode", "LFE mode", &lfeModeChoices,
     [](const spectral::UpmixControls& c) { return c.lfeMode == spectral::LfeMode::Crossover ? 1.0 : 0.0; },
     [](spectral::UpmixControls& c, double value) {
         c.lfeMode = value != 0.0 ? spectral::LfeMode::Crossover : spectral::LfeMode::Copy;
     }},
    // Off for hosts that master after the upmix: overs then pass to the bus.
    {"limiter", "Limiter", nullptr, [](const spectral::UpmixControls& c) { return c.limiter ? 1.0 : 0.0; },
     [](spectral::UpmixControls& c, double value) { c.limiter = value != 0.0; }},
};

PortDescription switchPort(const SwitchControl& control) {
    PortDescription port;
    port.kind = PortKind::ControlInput;
    port.symbol = control.symbol;
    port.name = control.name;
    if (control.choices != nullptr) {
        port.control = ControlKind::Enumeration;
        port.scalePoints = control.choices();
        port.maximum = static_cast<double>(port.scalePoints.size() - 1);
    } else {
        port.control = ControlKind::Toggle;
        port.maximum = 1.0;
    }
    port.defaultValue = control.read(spectral::UpmixControls{});
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

// The ports after the audio ones, in the order releases gave them. Hosts
// save sessions by port index, so none of these ever moves. Up to the
// latency port, the first release's, which hosts must connect; after it,
// the controls added since, lv2:connectionOptional. A control added to the
// upmix later (a switch or a row of the control table) gets its port after
// all of these, optional as well, in the order of the switches and the table.
constexpr const char* kReleasedPorts[] = {
    "method", "atf", "width", "centre", "ambience", "rear_delay", "smooth", "lfe_cutoff", "gain",
    "latency", "lfe_mode", "limiter"};

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
    std::vector<PortDescription> controls;
    for (const SwitchControl& control : kSwitches) controls.push_back(switchPort(control));
    for (const UpmixControlEntry& entry : controlTable) controls.push_back(controlPort(entry));
    PortDescription latency;
    latency.kind = PortKind::ControlOutput;
    latency.control = ControlKind::Latency;
    latency.symbol = "latency";
    latency.name = "Latency";
    latency.maximum = latency.defaultValue = latencySamples;
    controls.push_back(latency);

    bool optional = false;  // past the latency port
    for (const char* symbol : kReleasedPorts) {
        const auto port = std::find_if(controls.begin(), controls.end(),
                                       [&](const PortDescription& p) { return p.symbol == symbol; });
        if (port == controls.end()) {
            throw std::logic_error(std::string("the upmix has no control '") + symbol +
                                   "', whose port hosts' saved sessions address by index");
        }
        port->connectionOptional = optional;
        optional = optional || port->symbol == "latency";
        d.ports.push_back(*port);
        controls.erase(port);
    }
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
    for (const SwitchControl& control : kSwitches) {
        switchPorts_.push_back(description_.portIndex(control.symbol));
    }
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
    bool changed = false;
    for (std::size_t i = 0; i < std::size(kSwitches); ++i) {
        kSwitches[i].write(wanted, valueOf(switchPorts_[i]));
        changed = changed || kSwitches[i].read(wanted) != kSwitches[i].read(controls_);
    }
    const auto entries = spectral::upmixControlTable();
    for (std::size_t e = 0; e < entries.size(); ++e) {
        wanted.*entries[e].field = entries[e].clamped(valueOf(entryPorts_[e]));
        changed = changed || wanted.*entries[e].field != controls_.*entries[e].field;
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
