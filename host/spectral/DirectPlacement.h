// SPDX-License-Identifier: GPL-3.0-or-later
// The second step of the upmix: the library's spectral modules decide, bin
// by bin, how the in-phase direct sound is spread over the five main
// speakers. They read the averaged direct level of each channel (see
// PrimaryAmbient.h), or an event's own levels during a hit; what they give
// are weights, which the mix (UpmixMatrix.h) turns into gains that keep the
// direct part's power.
//
// How each method's outputs feed the speakers:
//   slice   front stage. Slice4_6 with "Stage Two Humidity" 0: the common
//           part C of L and R goes to FC at √2 (it stood in both channels),
//           each side's remainder to its front speaker: LF/3 (undoing the
//           default front scale 2·h1 + 1 = 3) plus LS.
//   cc      centre and surrounds. CC4_6: C to FC at √2; LS and RS (each
//           side less the common part) shared between the front and the
//           surround of their side, 40% and 60% of the power. What both
//           channels carry stays in the centre as with slice; what only one
//           side carries moves out to the listener's side (a hard-left
//           source at about −80° in 5.1), so a wide mix surrounds the
//           listener while its centre holds. Hits stay in front.
//   arctan  wrap-around. ArcTan4_6 with "Total Image Width" 240 spreads the
//           stereo stage around the listener: a centred bin on C, a
//           hard-left one on LS behind the left; each speaker takes the
//           power sum of its dominant and lesser outputs, LS and RS feed
//           BL and BR.
// ATF4_6, when on, follows whichever method runs, fed the five weights and
// the L and R frequencies, and its five outputs become the weights. It
// cross-fades by how far apart the two frequencies are; where one channel
// carries next to nothing of the direct sound its frequency means nothing,
// so the weaker channel's frequency is drawn towards the stronger one's by
// their level ratio and a source in one channel is left where it is.
//
// Every pan lands where it belongs. Before a frame reaches Slice4_6 or
// CC4_6, each bin's balance is warped so that a source panned by the sine
// law at p (−1 left to 1 right, gains cos and sin of (p + 1)·45°) comes out
// with its energy vector at 30°·p over FL −30°, FC 0°, FR +30°: the warp is
// measured once, when the modules are set up, by sending the module a frame
// whose bins sweep every balance, and inverted into a table.
//
// Every module, ATF4_6 included, is created when this object is and stays,
// so the method and ATF can change from one frame to the next without
// allocating.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "host/hosting/ModuleSession.h"
#include "host/hosting/WarningListener.h"
#include "host/hosting/PluginLibrary.h"
#include "host/spectral/SpectralStream.h"

namespace quorveil::spectral {

// The methods' names and modules are rows of UpmixControlTable.h.
enum class UpmixMethod { Slice, ArcTan, CC };

// The five main speakers, in the order the modules use (LF RF C LS RS).
inline constexpr int kMainSpeakers = 5;
enum MainSpeaker : int { MainFL = 0, MainFR = 1, MainFC = 2, MainBL = 3, MainBR = 4 };

// A balance warp: for t = r / (l + r) in [0, 1], the levels (cos, sin) of
// the balance to feed instead.
class BalanceWarp {
public:
    static constexpr int kSteps = 1024;
    BalanceWarp();  // no warp
    // From a measured placement: azimuth[i] (degrees, negative left) of the
    // balance angle θ_i = i · 90° / (n − 1), rising with i.
    explicit BalanceWarp(const std::vector<double>& azimuth);
    // Writes the warped levels of `bins` bins in place.
    void apply(float* left, float* right, std::size_t bins) const;

private:
    std::vector<float> cos_, sin_;  // kSteps + 1 entries
};

class DirectPlacement {
public:
    // [set-up, main thread; allocates] Creates the four modules for `engine`
    // (one frame per process call), sets the upmix's defaults, then
    // `settings` in order: each reaches every module that has the parameter,
    // or only the module it names; a setting that reaches none, or that a
    // module refuses, throws host::HostError; `warnings` (when given) hears of
    // settings that do nothing or reach several modules. Then measures each
    // front-stage method's balance warp. After this the host keeps no log of
    // the modules' service calls (HostedInstance::setServiceLogKept).
    DirectPlacement(const host::PluginLibrary& library,
                    const plogue::biduleSDK::EngineInfo& engine,
                    const std::vector<host::ParameterAssignment>& settings, bool force,
                    host::WarningListener* warnings = nullptr);
    ~DirectPlacement();

    // [audio thread; no allocation, no locks] One frame. `leftLevel` and
    // `rightLevel` are the averaged direct amplitudes of each bin, `leftHz`
    // and `rightHz` the frequencies the analysers measured; binCount each.
    // Afterwards weight(s) holds speaker s's weight per bin (not normalised).
    void place(UpmixMethod method, bool atf, const float* leftLevel, const float* rightLevel,
               const float* leftHz, const float* rightHz);
    const float* weight(int speaker) const { return placed_[static_cast<std::size_t>(speaker)]; }

    // [audio thread; no allocation] The same for an event's levels (ATF4_6
    // left out: an event is one source); afterwards eventWeight(s).
    void placeEvents(UpmixMethod method, const float* leftLevel, const float* rightLevel,
                     const float* leftHz);
    const float* eventWeight(int speaker) const { return eventWeights_[static_cast<std::size_t>(speaker)].data(); }

    // [main thread] What the modules told the host while being set up.
    std::vector<host::HostMessage> takeMessages();
    host::ModuleSession& session(UpmixMethod method);

private:
    // Runs the method's module on the levels (warped) and writes its weights
    // into `into` (five arrays of bins).
    void runModule(UpmixMethod method, const float* leftLevel, const float* rightLevel,
                   const float* leftHz, const float* rightHz,
                   const std::array<float*, kMainSpeakers>& into, bool sidesBehind);
    // `sidesBehind` false: cc's sides stay in front (measuring the warp).
    void route(UpmixMethod method, const std::array<float*, kMainSpeakers>& into, bool sidesBehind);
    void crossFade(const float* leftLevel, const float* rightLevel, const float* leftHz,
                   const float* rightHz);
    BalanceWarp measureWarp(UpmixMethod method);
    GraphModule& moduleFor(UpmixMethod method);

    std::unique_ptr<GraphModule> slice_, arcTan_, cc_, atf_;
    std::size_t bins_;
    std::array<BalanceWarp, 3> warps_;  // by UpmixMethod
    std::vector<float> warpedLeft_, warpedRight_, probeHz_;
    std::array<std::vector<float>, kMainSpeakers> weights_, eventWeights_;
    // Where the last frame's weights are: weights_, or ATF4_6's outputs.
    std::array<const float*, kMainSpeakers> placed_{};
    std::vector<host::HostMessage> messages_;
};

}  // namespace quorveil::spectral
