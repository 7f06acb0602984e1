// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/lv2/PannerPlugin.h"

#include <algorithm>

#include "host/hosting/ProcessBuffers.h"
#include "host/spectral/UpmixEngine.h"

namespace quorveil::lv2 {

namespace {

constexpr const char* kModule = "ConstantPowerPanner4_6";
// The longest block handed to the module in one call; the module is set up
// for it, so shorter blocks announced later need nothing new. A host's longer
// block is split.
constexpr uint32_t kLongestBlock = 8192;

// The module's controls in port order, by the names it declares.
constexpr const char* kControlParameters[] = {"Pan Angle",        "LF Speaker Angle",
                                              "RF Speaker Angle", "C Speaker Angle",
                                              "LS Speaker Angle", "RS Speaker Angle"};
constexpr const char* kControlSymbols[] = {"pan_angle", "lf_angle", "rf_angle",
                                           "c_angle",   "ls_angle", "rs_angle"};

constexpr AudioChannel kInputChannels[] = {{"in", "In", ""}};
constexpr AudioChannel kOutputChannels[] = {{"lf", "LF", "left"},
                                            {"rf", "RF", "right"},
                                            {"c", "C", "center"},
                                            {"ls", "LS", "rearLeft"},
                                            {"rs", "RS", "rearRight"}};

std::string lv2Unit(const std::string& moduleUnit) {
    return moduleUnit == "degrees" ? "degree" : "";
}

plogue::biduleSDK::EngineInfo engineAt(double sampleRate, int32_t blockSize) {
    return host::makeEngineInfo(sampleRate, blockSize, 2048, 4, 1);
}

}  // namespace

PluginDescription pannerDescription(const host::PluginLibrary& library) {
    host::ModuleSession session(library, library.findModule(kModule), engineAt(48000.0, 512));
    PluginDescription d;
    d.uri = kPannerUri;
    d.name = "Quorveil Constant Power Panner";
    d.binary = "quorveil_panner.so";
    d.license = "https://spdx.org/licenses/GPL-3.0-or-later";
    d.groups = {{"speakers", "Speakers", "FivePointZeroGroup", false}};

    d.addAudioPorts(PortKind::AudioInput, kInputChannels, "");
    d.addAudioPorts(PortKind::AudioOutput, kOutputChannels, "speakers");
    for (std::size_t c = 0; c < std::size(kControlParameters); ++c) {
        const host::ParameterDescription& parameter = session.findParameter(kControlParameters[c]);
        PortDescription port;
        port.kind = PortKind::ControlInput;
        port.symbol = kControlSymbols[c];
        port.name = parameter.label;
        port.minimum = parameter.minimum;
        port.maximum = parameter.maximum;
        port.defaultValue = parameter.defaultReal;
        port.unit = lv2Unit(parameter.unit);
        d.ports.push_back(port);
    }
    return d;
}

PannerPlugin::PannerPlugin(const host::PluginLibrary& library, double sampleRate, const char*)
    : description_(pannerDescription(library)),
      session_(library, library.findModule(kModule),
               engineAt(sampleRate, static_cast<int32_t>(kLongestBlock))),
      engine_(session_.engine()), guarded_(kLongestBlock) {
    session_.instance().setServiceLogKept(false);
    session_.takeMessages();
    firstControlPort_ = description_.portIndex(kControlSymbols[0]);
    for (std::size_t c = 0; c < controls_.size(); ++c) {
        controls_[c].parameterId = session_.findParameter(kControlParameters[c]).id;
    }
}

void PannerPlugin::connectPort(uint32_t port, void* data) {
    if (port == 0) {
        input_ = static_cast<const float*>(data);
    } else if (port <= static_cast<uint32_t>(kOutputs)) {
        outputs_[port - 1] = static_cast<float*>(data);
    } else if (port - firstControlPort_ < controls_.size()) {
        controls_[port - firstControlPort_].port = static_cast<const float*>(data);
    }
}

// Each control the host moved reaches the module as a host delivers a
// parameter: stored, then notified (op 14). Unchanged values are not sent
// again, as a host sends only changes.
void PannerPlugin::followControls() {
    for (std::size_t c = 0; c < controls_.size(); ++c) {
        Control& control = controls_[c];
        const PortDescription& port = description_.ports[firstControlPort_ + c];
        const double value =
            port.clamp(control.port != nullptr ? static_cast<double>(*control.port)
                                               : port.defaultValue);
        if (!control.everDelivered || value != control.delivered) {
            session_.instance().setRealParameter(control.parameterId, value);
            control.delivered = value;
            control.everDelivered = true;
        }
    }
}

void PannerPlugin::run(uint32_t samples) {
    followControls();
    if (input_ == nullptr) {
        return;
    }
    for (float* output : outputs_) {
        if (output == nullptr) return;
    }
    // The module processes the engine's block size: a block of another length
    // is announced first, as a host with a new block size does (op 1 copies
    // the settings and, no longer than the first, allocates nothing).
    uint32_t done = 0;
    do {
        const uint32_t length = std::min(samples - done, kLongestBlock);
        if (engine_.blockSize != static_cast<int32_t>(length)) {
            engine_.blockSize = static_cast<int32_t>(length);
            session_.instance().setEngineInfo(engine_);
        }
        // What the module gets is checked as the upmix checks its input: a
        // sample that is not a number, or beyond +120 dBFS, enters as
        // silence, so nothing the host sends can put a NaN on its bus.
        spectral::gatherSafely(input_ + done, guarded_.data(), length);
        float* in[1] = {guarded_.data()};
        float* out[kOutputs];
        for (int o = 0; o < kOutputs; ++o) out[o] = outputs_[static_cast<std::size_t>(o)] + done;
        plogue::biduleSDK::PluginBlock* block = session_.instance().block();
        block->process(block, in, out, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr);
        done += length;
    } while (done < samples);
}

}  // namespace quorveil::lv2
