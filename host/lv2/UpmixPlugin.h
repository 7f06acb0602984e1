// SPDX-License-Identifier: GPL-3.0-or-later
// quorveil-upmix.lv2: the stereo-to-5.1 upmix as an LV2 plug-in. Two audio
// inputs in a stereo group, six outputs FL FR FC LFE BL BR in a 5.1 group
// (with the port-groups designations, so hosts map the channels themselves),
// the upmix's controls from its control table, and a latency output that
// hosts compensate. It runs the same UpmixEngine as `surround-host upmix`
// with the library linked in, so, shifted by the latency, it gives the
// command line's samples.
//
// Real-time safety: the engine is built at instantiation with the module
// chains of every method, ATF4_6 and Clip4_6, so run() allocates nothing,
// locks nothing and does no I/O, whatever the block length (0 included) and
// however the controls move.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "host/hosting/PluginLibrary.h"
#include "host/lv2/PluginDescription.h"
#include "host/spectral/UpmixEngine.h"

namespace quorveil::lv2 {

inline constexpr const char* kUpmixUri = "https://quorveil.audio/lv2/upmix";

// [main thread; allocates] The description: audio ports, the method and ATF
// switch, one control port per entry of the upmix's control table, then the
// latency output.
PluginDescription upmixDescription(int latencySamples);

class UpmixPlugin {
public:
    // [instantiation thread; allocates; throws host::HostError]
    UpmixPlugin(const host::PluginLibrary& library, double sampleRate);

    // [audio thread, any time before run()] The host's buffer for a port.
    void connectPort(uint32_t port, void* data);
    // [audio thread; no allocation] A fresh start: buffers, averages, delays.
    void activate() { engine_.reset(); }
    void deactivate() { engine_.reset(); }
    // [audio thread; no allocation, no locks, no I/O] One block of any length.
    // Input samples that are not numbers, or beyond +120 dBFS, enter the
    // engine as silence (UpmixEngine::process); controls are clamped.
    void run(uint32_t samples);

private:
    void followControls();

    spectral::UpmixEngine engine_;
    PluginDescription description_;
    std::array<const float*, 2> inputs_{};
    std::array<float*, spectral::kUpmixChannels> outputs_{};
    // The method and the ATF switch, then one port per entry of the
    // upmix's control table.
    static constexpr std::size_t kControlPortsBeforeTable = 2;
    std::vector<const float*> controlPorts_;
    float* latencyPort_ = nullptr;
    uint32_t firstControlPort_ = 0, latencyPortIndex_ = 0;
    spectral::UpmixControls controls_;
};

}  // namespace quorveil::lv2
