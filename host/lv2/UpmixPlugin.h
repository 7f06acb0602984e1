// SPDX-License-Identifier: GPL-3.0-or-later
// quorveil-upmix.lv2: the stereo upmix as LV2 plug-ins, one per speaker
// layout of the layout table (SpeakerLayout.h): 5.1 at kUpmixUri, the others
// at kUpmixUri + "-" + the layout's name ("…/upmix-7.1"). Two audio inputs in
// a stereo group, the layout's outputs in its group (with the port-groups
// designations, so hosts map the channels themselves), the upmix's controls
// from its control table and its switches (method, ATF, LFE mode, limiter),
// and a latency output that hosts compensate. It runs the same UpmixEngine
// as `surround-host upmix` with the library linked in, so, shifted by the
// latency, it gives the command line's samples.
//
// Real-time safety: the engine is built at instantiation with the module
// chains of every method, ATF4_6 and Clip4_6, so run() allocates nothing,
// locks nothing and does no I/O, whatever the block length (0 included) and
// however the controls move.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "host/hosting/PluginLibrary.h"
#include "host/lv2/PluginDescription.h"
#include "host/spectral/UpmixControlTable.h"
#include "host/spectral/UpmixEngine.h"

namespace quorveil::lv2 {

inline constexpr const char* kUpmixUri = "https://quorveil.audio/lv2/upmix";

// The URI of the upmix to `layout`, and the layout of a URI (null: none).
std::string upmixUri(const spectral::SpeakerLayout& layout);
const spectral::SpeakerLayout* upmixLayoutOf(const std::string& uri);

// [main thread; allocates] The description: audio ports, the switches
// (method, ATF, LFE mode, limiter), one control port per entry of the
// upmix's control table, and the latency output. Every port a release
// offered keeps its index; the controls added after the first release come
// after the latency port, lv2:connectionOptional. Throws std::logic_error
// when a released control is missing.
PluginDescription upmixDescription(int latencySamples,
                                   const spectral::SpeakerLayout& layout = spectral::defaultLayout());
PluginDescription upmixDescription(int latencySamples, const spectral::SpeakerLayout& layout,
                                   std::span<const spectral::UpmixControlEntry> controlTable);

class UpmixPlugin {
public:
    // [instantiation thread; allocates; throws host::HostError] The upmix
    // whose URI is `uri` (upmixUri).
    UpmixPlugin(const host::PluginLibrary& library, double sampleRate, const char* uri);

    // [audio thread, any time before run()] The host's buffer for a port.
    void connectPort(uint32_t port, void* data);
    // [audio thread; no allocation] A fresh start, as LV2 hosts expect from
    // activate() (before the first run() and after every deactivate()): the
    // next run() forgets buffers, averages and delays once it has read the
    // controls, so it starts with them as a new instance does, gain included.
    void activate() { startAfresh_ = true; }
    void deactivate() {}
    // [audio thread; no allocation, no locks, no I/O] One block of any length.
    // Input samples that are not numbers, or beyond +120 dBFS, enter the
    // engine as silence (UpmixEngine::process); controls are clamped.
    void run(uint32_t samples);

private:
    void followControls();

    spectral::UpmixEngine engine_;
    PluginDescription description_;
    std::array<const float*, 2> inputs_{};
    std::array<float*, spectral::kMostSpeakers> outputs_{};
    std::size_t outputCount_ = 0;
    // The host's buffer of every control input, by port index; the ports
    // of each switch and of each entry of the control table.
    std::vector<const float*> controlPorts_;
    std::vector<uint32_t> switchPorts_, entryPorts_;
    float* latencyPort_ = nullptr;
    uint32_t latencyPortIndex_ = 0;
    spectral::UpmixControls controls_;
    bool startAfresh_ = true;
};

}  // namespace quorveil::lv2
