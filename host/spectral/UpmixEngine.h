// SPDX-License-Identifier: GPL-3.0-or-later
// Stereo to 5.1 as a streaming engine: blocks of stereo samples in, blocks of
// six channels out (FL FR FC LFE BL BR). It knows no files: the command line
// feeds it from sound files, a real-time plug-in from its ports, and both get
// the same samples.
//
// Per hop of the host's STFT (PrimaryAmbient.h, DirectPlacement.h and
// SpeakerMix.h tell the steps):
//   1. analyse L and R;
//   2. split each bin into a direct and an ambient part;
//   3. place the direct part with the chosen module (Slice4_6, ArcTan4_6 or
//      CC4_6), optionally followed by ATF4_6, through the library's C
//      interface;
//   4. mix: direct by the placement, ambience mostly behind, power kept,
//      LFE crossover, centre and ambience levels;
//   5. resynthesise the six channels, delay the rears, apply the output gain
//      and pass all six through Clip4_6, whose clip light is counted.
//
// Life cycle, after JUCE's prepare/process/reset and LV2's
// instantiate/run/deactivate:
//   construct  [main thread; allocates, may throw host::HostError] prepares
//              everything: FFT plans, buffers, and every module of every
//              method, ATF4_6 and Clip4_6, so that nothing is allocated later.
//   setControls [audio thread, between process calls; no allocation, no
//              locks] method, ATF, width, levels, delay, smoothing, LFE
//              cutoff and gain, from the next hop on.
//   process    [audio thread; no allocation, no locks, no I/O] any number of
//              samples, 0 included, any length.
//   reset      [audio thread, between process calls; no allocation] forgets
//              the past: the output is then what a fresh engine would give.
//   latency    [any thread] fixed once constructed.
// The engine owns everything it uses; the caller owns the sample buffers it
// passes, which need stay valid only for the call. Not safe to call from two
// threads at once.
#pragma once

#include <array>
#include <complex>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/hosting/ModuleSession.h"
#include "host/hosting/ParameterText.h"
#include "host/hosting/PluginLibrary.h"
#include "host/spectral/DirectPlacement.h"
#include "host/spectral/Fft.h"
#include "host/spectral/PrimaryAmbient.h"
#include "host/spectral/SpeakerMix.h"
#include "host/spectral/SpectralStream.h"
#include "host/spectral/Stft.h"
#include "host/spectral/UpmixControlTable.h"

namespace quorveil::spectral {

struct UpmixSetup {
    double sampleRate = 44100.0;
    int fftSize = kDefaultFftSize;
    int overlap = kDefaultOverlap;
    // The largest block the caller means to pass; process() takes any length
    // anyway (it works hop by hop), so this is advice, not a limit.
    int maxBlock = 4096;
    // `--set [MODULE:]NAME=VALUE` for the placement modules, in order, after
    // the upmix's own defaults; `force` lets Reals outside their range through.
    std::vector<host::ParameterAssignment> settings;
    bool force = false;
    UpmixControls controls;
    // Hears, during construction only, of settings that do nothing; may be null.
    host::WarningListener* warnings = nullptr;
};

class UpmixEngine {
public:
    // [main thread; allocates] Loads the modules and prepares everything.
    // Throws host::HostError for settings it cannot run (STFT sizes, sample
    // rate, controls out of range, a --set no module takes).
    UpmixEngine(const host::PluginLibrary& library, const UpmixSetup& setup);
    ~UpmixEngine();
    UpmixEngine(const UpmixEngine&) = delete;
    UpmixEngine& operator=(const UpmixEngine&) = delete;

    // [any thread] Output sample t carries input sample t - latency().
    int latency() const { return settings_.fftSize; }
    const StftSettings& settings() const { return settings_; }
    const UpmixControls& controls() const { return controls_; }

    // [audio thread, between process calls; no allocation] New controls from
    // the next hop on; values outside their ranges (upmixControlTable) are
    // clamped.
    void setControls(const UpmixControls& controls);

    // [audio thread; no allocation, no locks, no I/O] Takes `frames` samples
    // of each input and writes as many of each output, FL FR FC LFE BL BR.
    // `frames` may be 0 or larger than any block; the output is the same
    // however the input is cut. The outputs may share memory with the inputs.
    void process(const float* left, const float* right, float* const out[kUpmixChannels],
                 std::size_t frames);

    // [audio thread, between process calls; no allocation] Silence in, as if
    // new: buffers, averages, delays and the clip count start again. The
    // modules keep their settings.
    void reset();

    // [audio thread or after processing] Sample positions Clip4_6 flagged
    // (a sample at or above +1.0) since construction or the last reset.
    uint64_t clippedSamples() const;

    // [main thread] What the modules told the host while being set up, and
    // the module that places the direct part for `method`.
    std::vector<host::HostMessage> takeSetupMessages();
    host::ModuleSession& placementSession(UpmixMethod method) { return placement_.session(method); }

private:
    void configure(const UpmixControls& controls, bool first);
    void processHop();
    void delayRears();
    void clipAndGain();

    StftSettings settings_;
    std::size_t hop_, bins_;
    UpmixControls controls_;
    StftWindows windows_;
    RealFft fft_;
    std::vector<ChannelAnalyzer> analyzers_;       // L, R
    std::vector<ChannelSynthesizer> synthesizers_;  // file order
    PrimaryAmbientSplit split_;
    DirectPlacement placement_;
    std::unique_ptr<GraphModule> clip_;
    const host::StoredParameter* clipLight_ = nullptr;
    uint64_t clipsBefore_ = 0;

    // Hop-sized blocks: input being gathered, output being handed out.
    std::vector<float> input_;   // L then R
    std::vector<float> output_;  // six channels
    std::size_t position_ = 0;   // samples of the current hop gathered

    // Per frame.
    std::vector<float> magnitudes_, frequencies_;      // L then R
    std::vector<std::complex<float>> spectra_;         // L then R
    std::vector<std::complex<float>> mixed_;           // six channels
    std::vector<float> lfeShares_;
    bool lfeSilent_ = true;
    MixLevels levels_;

    // Rear delay lines, one per rear, and the current delay.
    std::vector<float> rearLines_;
    std::size_t lineLength_ = 0, lineWrite_ = 0, rearDelay_ = 0;

    float gain_ = 1.0f, targetGain_ = 1.0f;
};

}  // namespace quorveil::spectral
