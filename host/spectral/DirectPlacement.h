// SPDX-License-Identifier: GPL-3.0-or-later
// The second step of the upmix: the library's spectral modules decide, bin
// by bin, how the direct part of the stereo is spread over the five main
// speakers. The modules read the averaged direct level of each channel (see
// PrimaryAmbient.h), so their decisions move no faster than those averages;
// what they give are weights, which the mix (SpeakerMix.h) turns into levels
// that keep the direct part's power.
//
// How each method's outputs feed the speakers, so that the stereo image
// lands on the front arc FL-FC-FR:
//   slice   Slice4_6 with "Stage Two Humidity" 0: the common part C of L and
//           R goes to FC at √2 (it stood in both channels), each side's
//           remainder to its front speaker: LF/3 (undoing the default front
//           scale 2·h1 + 1 = 3) plus LS.
//   cc      CC4_6: C to FC at √2, LS and RS (each side less the common part)
//           to FL and FR.
//   arctan  ArcTan4_6 with "Total Image Width" 30 (its "Center Width"): a
//           hard-left bin lands exactly on LF, a centred one on C, and the
//           sine/cosine law pans between them. Each speaker takes the power
//           sum of its dominant and lesser outputs; LS and RS feed BL and BR.
// ATF4_6, when on, follows whichever method runs, fed the five weights and
// the L and R frequencies, and its five outputs become the weights.
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

class DirectPlacement {
public:
    // [set-up, main thread; allocates] Creates the four modules for `engine`
    // (one frame per process call), sets the upmix's defaults, then
    // `settings` in order: each reaches every module that has the parameter,
    // or only the module it names; a setting that reaches none, or that a
    // module refuses, throws host::HostError; `warnings` (when given) hears of
    // settings that do nothing or reach several modules. After this the host
    // keeps no log of the modules' service calls
    // (HostedInstance::setServiceLogKept).
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

    // [main thread] What the modules told the host while being set up.
    std::vector<host::HostMessage> takeMessages();
    host::ModuleSession& session(UpmixMethod method);

private:
    // Writes the method's weights into `into` (five arrays of bins).
    void route(UpmixMethod method, const std::array<float*, kMainSpeakers>& into);
    void crossFade(const float* leftHz, const float* rightHz);
    GraphModule& moduleFor(UpmixMethod method);

    std::unique_ptr<GraphModule> slice_, arcTan_, cc_, atf_;
    std::size_t bins_;
    std::array<std::vector<float>, kMainSpeakers> weights_;
    // Where the last frame's weights are: weights_, or ATF4_6's outputs.
    std::array<const float*, kMainSpeakers> placed_{};
    std::vector<host::HostMessage> messages_;
};

}  // namespace quorveil::spectral
