// SPDX-License-Identifier: GPL-3.0-or-later
// Stereo to surround as a streaming engine: blocks of stereo samples in,
// blocks of the layout's channels out (SpeakerLayout.h; 5.1 by default: FL
// FR FC LFE BL BR). It knows no files: the command line feeds it from sound
// files, a real-time plug-in from its ports, and both get the same samples.
//
// Per hop of the host's STFT (OnsetBands.h, PrimaryAmbient.h,
// BinDescription.h, DirectPlacement.h, UpmixMatrix.h and SpeakerMix.h tell
// the steps):
//   1. analyse L and R;
//   2. find the bands where something has just begun, and describe each
//      bin: direct sound (in phase, time-shifted or anti-phase), ambience,
//      and any event;
//   3. place the in-phase direct sound (and each event) with the chosen
//      module (Slice4_6, ArcTan4_6 or CC4_6), optionally followed by ATF4_6,
//      through the library's C interface;
//   4. build each bin's matrix: direct by the placement, ambience mostly
//      behind, power kept, centre and ambience levels;
//   5. apply it, take the buses onto the layout's speakers, the LFE;
//      resynthesise every channel, delay the surrounds, apply the output
//      gain and the peak limiter, and pass every channel through Clip4_6,
//      whose clip light is counted.
//
// Life cycle, after JUCE's prepare/process/reset and LV2's
// instantiate/run/deactivate:
//   construct  [main thread; allocates, may throw host::HostError] prepares
//              everything: FFT plans, buffers, and every module of every
//              method, ATF4_6 and Clip4_6, so that nothing is allocated later.
//   setControls [audio thread, between process calls; no allocation, no
//              locks] method, ATF, width, levels, delay, smoothing, LFE,
//              gain and limiter, from the next hop on.
//   process    [audio thread; no allocation, no locks, no I/O] any number of
//              samples, 0 included, any length.
//   reset      [audio thread, between process calls; no allocation] forgets
//              the past: the output is then what a fresh engine would give.
//   latency    [any thread] fixed once constructed.
// The engine owns everything it uses; the caller owns the sample buffers it
// passes, which need stay valid only for the call. Not safe to call from two
// threads at once.
//
// Two threads (UpmixSetup::threads = 2, for files, never for a real-time
// host): each hop is split in two halves, analysis and split on the
// caller's thread, then the bins' description, the placement and the
// matrix (from a copy of what the split found: FrameCopy.h), mix and
// resynthesis (SurroundSynthesis.h) on a worker thread started at
// construction, so that while the worker renders hop n the caller gathers
// and splits the next ones. The halves meet through a WorkerThread (atomic
// counters with wait/notify, no mutex) and a ring of PlacedHop slots. The
// samples are bit for bit those of one thread, a few hops later: latency()
// says how many. process() then waits for the worker and so is not
// real-time safe; it still allocates nothing.
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
#include "host/spectral/BinDescription.h"
#include "host/spectral/DirectPlacement.h"
#include "host/spectral/Fft.h"
#include "host/spectral/OnsetBands.h"
#include "host/spectral/PreEchoGate.h"
#include "host/spectral/PrimaryAmbient.h"
#include "host/spectral/SpeakerMix.h"
#include "host/spectral/UpmixMatrix.h"
#include "host/spectral/SpeakerLayout.h"
#include "host/spectral/SpectralStream.h"
#include "host/spectral/Stft.h"
#include "host/spectral/SurroundSynthesis.h"
#include "host/spectral/UpmixControlTable.h"

namespace quorveil::spectral {

// The loudest input sample the engine takes, +120 dBFS: anything beyond it,
// and anything that is not a number, enters as silence (see
// UpmixEngine::silencedInputSamples).
inline constexpr float kLoudestInput = 1e6f;

// Copies `n` samples, each one beyond kLoudestInput or not a number as 0;
// returns how many were replaced. No allocation.
std::size_t gatherSafely(const float* from, float* into, std::size_t n);

// The FFT size the upmix takes at a sample rate when none is given: 2048 at
// 44.1 and 48 kHz, and as many samples more or fewer as keep the bins as
// wide and the frames as long at other rates (4096 at 88.2 and 96 kHz, 8192
// at 176.4 and 192 kHz), within 512 to 16384.
int upmixFftSizeFor(double sampleRate);

struct UpmixSetup {
    double sampleRate = 44100.0;
    int fftSize = 0;  // 0: upmixFftSizeFor(sampleRate)
    int overlap = kDefaultOverlap;
    const SpeakerLayout* layout = &defaultLayout();
    // `--set [MODULE:]NAME=VALUE` for the placement modules, in order, after
    // the upmix's own defaults; `force` lets Reals outside their range through.
    std::vector<host::ParameterAssignment> settings;
    bool force = false;
    UpmixControls controls;
    // Hears, during construction only, of settings that do nothing; may be null.
    host::WarningListener* warnings = nullptr;
    // 1: every step on the caller's thread (the real-time path); 2 (or
    // more): matrix, mix and resynthesis on a worker thread (see above).
    int threads = 1;
};

class WorkerThread;

class UpmixEngine {
public:
    // [main thread; allocates] Loads the modules and prepares everything.
    // Throws host::HostError for settings it cannot run (STFT sizes, sample
    // rate, controls out of range, a --set no module takes).
    UpmixEngine(const host::PluginLibrary& library, const UpmixSetup& setup);
    ~UpmixEngine();
    UpmixEngine(const UpmixEngine&) = delete;
    UpmixEngine& operator=(const UpmixEngine&) = delete;

    // [any thread] Output sample t carries input sample t - latency(): the
    // FFT's, one hop of look-ahead (each frame is placed knowing the next),
    // the limiter's look-ahead and, with two threads, the worker's.
    int latency() const {
        return settings_.fftSize + settings_.hop() + static_cast<int>(synthesis_.limiterLatency()) +
               (worker_ ? static_cast<int>(kWorkerLag) * settings_.hop() : 0);
    }
    int threads() const { return worker_ ? 2 : 1; }
    const SpeakerLayout& layout() const { return synthesis_.routing().layout(); }
    int channels() const { return synthesis_.channels(); }
    const StftSettings& settings() const { return settings_; }
    const UpmixControls& controls() const { return controls_; }

    // [audio thread, between process calls; no allocation] New controls from
    // the next hop on; values outside their ranges (upmixControlTable) are
    // clamped.
    void setControls(const UpmixControls& controls);

    // [audio thread; no allocation, no locks, no I/O] Takes `frames` samples
    // of each input and writes as many of each output, channels() of them
    // in the layout's file order.
    // `frames` may be 0 or larger than any block; the output is the same
    // however the input is cut. The outputs may share memory with the inputs.
    // Input samples beyond kLoudestInput, or not numbers, count as silence,
    // so the output stays finite whatever comes in.
    void process(const float* left, const float* right, float* const* out, std::size_t frames);

    // [audio thread, between process calls; no allocation] Silence in, as if
    // new: buffers, averages, delays and the clip count start again. The
    // modules keep their settings.
    void reset();

    // [audio thread or after processing] Sample positions Clip4_6 flagged
    // (a sample at or above +1.0) since construction or the last reset; with
    // two threads, once the worker has finished every hop handed to it.
    uint64_t clippedSamples() const;
    // [as clippedSamples] What the limiter did since construction or reset,
    // to the samples a caller keeps: none of the latency's leading silence,
    // and with endOfInput none after the input's last sample (the flush).
    LimiterActivity limiterActivity() const;
    // [audio thread, between process calls; no allocation] The input ended
    // after `frames` samples since construction or reset; what the caller
    // feeds after them only pushes the latency out and is trimmed.
    void endOfInput(uint64_t frames);

    // [audio thread] Input samples taken as silence since construction or
    // the last reset: not numbers, or beyond kLoudestInput.
    uint64_t silencedInputSamples() const { return silencedInput_; }

    // [main thread] What the modules told the host while being set up, and
    // the module that places the direct part for `method`.
    std::vector<host::HostMessage> takeSetupMessages();
    host::ModuleSession& placementSession(UpmixMethod method) { return placement_.session(method); }

private:
    void configure(const UpmixControls& controls, bool first);
    void processHop();
    // The first half of a hop: the newest frame's analysis, then the frame
    // before it placed knowing the newest.
    void analyse(PlacedHop& frame, float* hz);
    void place(PlacedHop& hop, const float* hz, const PlacedHop& next);
    // The second half's start, on the worker when there is one.
    void placeAndBuild(const SplitFrame& frame, const float* leftHz, const float* rightHz, PlacedHop& hop);
    void steadyPlacement(const float* binWeights);
    // The L and R frequencies of frame f (two frames kept).
    float* frequencyFrame(uint32_t f) { return frequencies_.data() + (f % 2) * 2 * bins_; }
    float* outputBlock(std::size_t slot) { return outputs_.data() + slot * channels_ * hop_; }

    StftSettings settings_;
    std::size_t hop_, bins_, channels_;
    UpmixControls controls_;
    StftWindows windows_;
    RealFft fft_;  // the analysers'
    std::vector<ChannelAnalyzer> analyzers_;  // L, R
    OnsetBands onsets_;
    // Sharp onsets in the input, found as each hop is gathered, and those
    // not yet handed on with a placed hop.
    InputOnsets inputOnsets_;
    HopOnsets foundOnsets_;
    uint64_t gathered_ = 0;  // input samples gathered into whole hops
    PrimaryAmbientSplit split_;
    BinDescription description_;  // the second half's
    DirectPlacement placement_;
    SurroundSynthesis synthesis_;

    // Input being gathered (L then R), one hop.
    std::vector<float> input_;
    std::size_t position_ = 0;  // samples of the current hop gathered
    // Hop slots and six-channel output blocks: one thread uses slot 0 only;
    // with the worker, hop n uses slot n % kHopSlots and the worker may fall
    // kWorkerLag hops behind, so that either thread held up for a moment
    // (by the machine's other work) stalls neither. `emitting_` is the block
    // being handed out while the next hop gathers.
    static constexpr uint32_t kWorkerLag = 6;
    static constexpr uint32_t kWorkerWakeAfter = 4;
    static constexpr uint32_t kHopSlots = kWorkerLag + 2;
    std::vector<std::unique_ptr<PlacedHop>> hops_;
    std::vector<float> outputs_;
    const float* emitting_ = nullptr;

    // The analysers' magnitudes (L then R), and their frequencies of the
    // last two frames.
    std::vector<float> magnitudes_, frequencies_;
    uint32_t analysed_ = 0;  // frames analysed, with one thread
    MixLevels levels_;
    // The background's placement weights, smoothed over time.
    std::array<std::vector<float>, kMainSpeakers> steadyWeights_;
    std::size_t rearDelay_ = 0;
    float targetGain_ = 1.0f;
    uint64_t silencedInput_ = 0;
    // The limiter's output sample after the last one kept (endOfInput).
    uint64_t countedEnd_ = UINT64_MAX;

    std::unique_ptr<WorkerThread> worker_;  // last: stops before the rest goes
};

}  // namespace quorveil::spectral
