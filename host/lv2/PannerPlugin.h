// SPDX-License-Identifier: GPL-3.0-or-later
// quorveil-panner.lv2: ConstantPowerPanner4_6 as an LV2 plug-in. One audio
// input, five outputs LF RF C LS RS (a 5.0 port group), and the module's pan
// angle and five speaker angles as control ports with the module's own
// ranges and defaults. It hosts the module through the library's four
// exports, linked into the plug-in, exactly as surround-host does, so it
// renders bit for bit what `surround-host render ConstantPowerPanner4_6`
// renders with the same settings.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/hosting/ModuleSession.h"
#include "host/hosting/PluginLibrary.h"
#include "host/lv2/PluginDescription.h"

namespace quorveil::lv2 {

inline constexpr const char* kPannerUri = "https://quorveil.audio/lv2/panner";

// [main thread; allocates] The description, with the ranges and defaults the
// module declares.
PluginDescription pannerDescription(const host::PluginLibrary& library);

class PannerPlugin {
public:
    static constexpr int kOutputs = 5;

    // [instantiation thread; allocates; throws host::HostError] Creates and
    // starts the module at `sampleRate`.
    PannerPlugin(const host::PluginLibrary& library, double sampleRate, const char* uri = nullptr);

    // [audio thread, any time before run()] The host's buffer for a port.
    void connectPort(uint32_t port, void* data);
    // [audio thread] Nothing to forget: the panner holds only the gains of
    // the last block, which a host expects to persist.
    void activate() {}
    void deactivate() {}
    // [audio thread; no allocation, no locks, no I/O] One block of any length.
    // Input samples that are not numbers, or beyond +120 dBFS, reach the
    // module as silence; controls are clamped to their declared ranges.
    void run(uint32_t samples);

    const PluginDescription& description() const { return description_; }

private:
    void followControls();

    PluginDescription description_;
    host::ModuleSession session_;
    plogue::biduleSDK::EngineInfo engine_;
    const float* input_ = nullptr;
    std::array<float*, kOutputs> outputs_{};
    // Per control port: the host's buffer, its module parameter id, and the
    // value last delivered to the module (NaN: none yet).
    struct Control {
        const float* port = nullptr;
        int32_t parameterId = 0;
        double delivered = 0.0;
        bool everDelivered = false;
    };
    std::array<Control, 6> controls_{};
    uint32_t firstControlPort_ = 0;
    // The host's input, each sample checked, one module block at a time.
    std::vector<float> guarded_;
};

}  // namespace quorveil::lv2
