// SPDX-License-Identifier: GPL-3.0-or-later
// The second half of an upmix hop: the speaker mix (SpeakerMix.h) and what
// turns the layout's spectra into samples: one inverse FFT per speaker,
// overlap-added, the pre-echo gate before the hop's onsets
// (PreEchoGate.h), the surrounds through their delay line, the output
// gain, the peak limiter (PeakLimiter.h), and Clip4_6, whose clip light is
// counted (one instance per six channels).
//
// The first half (analysis, direct/ambient split, and on one thread the
// placement and the matrix) hands it one PlacedHop per hop. The engine runs
// both halves on the audio thread, one after the other; with a worker thread
// (UpmixSetup::threads) the worker places the hop, builds its matrix and
// runs this half while the caller's thread prepares the next hop, so each PlacedHop
// carries the controls that were in force when its hop was analysed, and
// the output is the same whichever thread renders it.
#pragma once

#include <array>
#include <complex>
#include <cstdint>
#include <memory>
#include <vector>

#include "host/hosting/PluginLibrary.h"
#include "host/spectral/DirectPlacement.h"
#include "host/spectral/FrameCopy.h"
#include "host/spectral/Fft.h"
#include "host/spectral/PeakLimiter.h"
#include "host/spectral/PreEchoGate.h"
#include "host/spectral/SpeakerMix.h"
#include "host/spectral/SpectralStream.h"
#include "host/spectral/Stft.h"

namespace quorveil::spectral {

// One hop between the halves, written by the first half in place.
struct PlacedHop {
    explicit PlacedHop(std::size_t bins);
    PlacedHop(const PlacedHop&) = delete;
    PlacedHop& operator=(const PlacedHop&) = delete;
    // A silent frame: no bins.
    void silence();

    std::vector<std::complex<float>> left, right;  // the analysed bins
    std::vector<MatrixBlock> matrix;               // matrixBlocks(bins) (UpmixMatrix.h)
    // With a worker thread, what the worker places and builds `matrix`
    // from, and the controls in force for the hop.
    FrameCopy inputs;
    MixLevels levels;
    UpmixMethod method = UpmixMethod::Slice;
    bool atf = false;
    float scale = 1.0f;         // analyser bins to the synthesisers' scale
    double lfeCutoffHz = 0.0;   // 0: a silent LFE
    LfeMode lfeMode = LfeMode::Copy;
    std::size_t rearDelay = 0;  // samples
    float gain = 1.0f;          // the output gain reached at the end of the hop
    bool limit = true;          // the peak limiter acts
    // The limiter's record counts none of its output samples from this one
    // on (SurroundSynthesis::firstKeptSample): the caller trims them.
    uint64_t countedEnd = UINT64_MAX;
    // Sharp onsets found in the input since the last hop was placed (input
    // sample numbers): the pre-echo gate holds the speakers before them.
    HopOnsets onsets;
};

// What the limiter did, for reports.
struct LimiterActivity {
    uint64_t samples = 0;    // samples per channel it lowered
    float deepestGain = 1.0f;
};

class SurroundSynthesis {
public:
    // [set-up, main thread; allocates] `longestDelay` is the largest rear
    // delay in samples that a hop may ask for; `lookahead` the limiter's.
    SurroundSynthesis(const host::PluginLibrary& library, const StftSettings& settings,
                      const StftWindows& windows, const SpeakerLayout& layout,
                      std::size_t longestDelay, std::size_t lookahead);

    // [one thread at a time; no allocation, no locks, no I/O] Mixes one hop
    // and writes its samples: channel c (file order) at out + c * hop.
    void render(const PlacedHop& hop, float* out);

    // [between hops; no allocation] Silence from here, the gain at `gain`,
    // the clip count and the limiter's record started again.
    void reset(float gain);
    void setGain(float gain) { gain_ = gain; }

    const LayoutRouting& routing() const { return routing_; }
    int channels() const { return routing_.channels(); }
    std::size_t limiterLatency() const { return limiter_.latency(); }
    // The limiter's output sample that becomes the engine's output sample
    // latency(): the FFT's delay and the limiter's look-ahead on one thread
    // and two alike (the engine's further hops of delay come before this
    // half). What precedes it is trimmed, and the record leaves it out.
    uint64_t firstKeptSample() const { return static_cast<uint64_t>(settings_.fftSize) + limiter_.latency(); }

    // Sample positions Clip4_6 flagged since construction or reset.
    uint64_t clippedSamples() const;
    LimiterActivity limiterActivity() const { return {limiter_.limitedSamples(), limiter_.deepestGain()}; }

private:
    void followLfeCutoff(double cutoffHz);
    void delaySurrounds(float* out, std::size_t delay);
    void gain(float* out, float target);
    void clip(float* out);

    StftSettings settings_;
    std::size_t hop_, bins_;
    LayoutRouting routing_;
    RealFft fft_;  // this half's own: the halves may run at once
    std::vector<ChannelSynthesizer> synthesizers_;  // file order
    std::vector<std::complex<float>> mixed_;        // one spectrum per channel
    std::vector<float> lfeShares_;
    double lfeCutoffHz_ = 0.0;

    // Delay lines, one per surround channel, and the delay they run at.
    std::vector<int> surroundChannels_;
    std::vector<float> lines_;
    std::size_t lineLength_ = 0, lineWrite_ = 0, delay_ = 0;

    float gain_ = 1.0f;
    PreEchoGate preEchoGate_;
    PeakLimiter limiter_;
    std::vector<std::unique_ptr<GraphModule>> clips_;  // six channels each
    std::vector<const host::StoredParameter*> clipLights_;
    uint64_t clipsBefore_ = 0;
};

}  // namespace quorveil::spectral
