// SPDX-License-Identifier: GPL-3.0-or-later
// The second half of an upmix hop: the speaker mix (SpeakerMix.h) and what
// turns its six spectra into samples: six inverse FFTs overlap-added, the
// rears through their delay line, the output gain, and Clip4_6, whose clip
// light is counted.
//
// The first half (analysis, direct/ambient split, placement) hands it one
// PlacedHop per hop. The engine runs both halves on the audio thread, one
// after the other; with a worker thread (UpmixSetup::threads) this half runs
// on the worker while the caller's thread prepares the next hop, so each
// PlacedHop carries the controls that were in force when its hop was
// analysed, and the output is the same whichever thread renders it.
#pragma once

#include <array>
#include <complex>
#include <cstdint>
#include <memory>
#include <vector>

#include "host/hosting/PluginLibrary.h"
#include "host/spectral/Fft.h"
#include "host/spectral/SpeakerMix.h"
#include "host/spectral/SpectralStream.h"
#include "host/spectral/Stft.h"

namespace quorveil::spectral {

// One hop between the halves. The analysers write the stereo bins into
// `left` and `right`; the rest of `mix` points at the split's and the
// placement's arrays, and keep() copies those into this hop's own storage,
// so that the first half may go on to the next hop while this one renders.
struct PlacedHop {
    explicit PlacedHop(std::size_t bins);
    PlacedHop(const PlacedHop&) = delete;
    PlacedHop& operator=(const PlacedHop&) = delete;
    void keep();

    std::vector<std::complex<float>> left, right;
    MixInputs mix{};  // lfeShare stays null: the second half owns the shares
    MixLevels levels;
    double lfeCutoffHz = 0.0;   // 0: a silent LFE
    std::size_t rearDelay = 0;  // samples
    float gain = 1.0f;          // the output gain reached at the end of the hop

private:
    std::vector<std::complex<float>> direct_, ambientLeft_, ambientRight_;
    std::array<std::vector<float>, kMainSpeakers> weights_;
};

class SurroundSynthesis {
public:
    // [set-up, main thread; allocates] `longestDelay` is the largest rear
    // delay in samples that a hop may ask for.
    SurroundSynthesis(const host::PluginLibrary& library, const StftSettings& settings,
                      const StftWindows& windows, std::size_t longestDelay);

    // [one thread at a time; no allocation, no locks, no I/O] Mixes one hop
    // and writes its samples: channel c (file order) at out + c * hop.
    void render(const PlacedHop& hop, float* out);

    // [between hops; no allocation] Silence from here, the gain at `gain`,
    // the clip count started again.
    void reset(float gain);
    void setGain(float gain) { gain_ = gain; }

    // Sample positions Clip4_6 flagged since construction or reset.
    uint64_t clippedSamples() const;

private:
    void followLfeCutoff(double cutoffHz);
    void delayRears(float* out, std::size_t delay);
    void gainAndClip(float* out, float target);

    StftSettings settings_;
    std::size_t hop_, bins_;
    RealFft fft_;  // this half's own: the halves may run at once
    std::vector<ChannelSynthesizer> synthesizers_;  // file order
    std::vector<std::complex<float>> mixed_;        // six spectra
    std::vector<float> lfeShares_;
    double lfeCutoffHz_ = 0.0;

    // Rear delay lines, one per rear.
    std::vector<float> rearLines_;
    std::size_t lineLength_ = 0, lineWrite_ = 0;

    float gain_ = 1.0f;
    std::unique_ptr<GraphModule> clip_;
    const host::StoredParameter* clipLight_ = nullptr;
    uint64_t clipsBefore_ = 0;
};

}  // namespace quorveil::spectral
