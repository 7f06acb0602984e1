// SPDX-License-Identifier: GPL-3.0-or-later
// The last step of the upmix in the frequency domain: the matrix of each bin
// (UpmixMatrix.h) applied to the stereo bins, the buses taken onto the
// layout's speakers, and the LFE.
//
//   speakers  FL FR FC take their buses; 4.0 has no centre and shares FC's
//             bus between FL and FR at 0.707 each (a phantom centre); the
//             surrounds of 4.0 and 5.x take a side's ambience and rear buses;
//             7.1 gives each side's ambience to the side speaker in one band
//             and to the back in the next (bands about a third of an octave
//             wide, alternating), so sides and backs are decorrelated while
//             a fold-down, which weighs both at 0.707, still gives the
//             ambience back exactly; its backs alone take the rear bus
//             (anti-phase sound and what a wrap-around placement sends
//             behind). 3.x have no surrounds: the mix already put
//             everything in front (SurroundSplit).
//   LFE       with a cutoff, a Butterworth-shaped share h² of the input
//             power, 10 dB down as 5.1 playback raises the LFE channel by
//             10 dB; the LFE takes the phase of X_L + X_R, or of the louder
//             channel where the two are more than 90° apart, so it never
//             cancels. LfeMode::Copy leaves the mains full range (bass
//             management in the player puts it where it belongs, and a
//             fold-down that drops the LFE keeps the bass); Crossover takes
//             the same share out of the mains (for systems that play every
//             channel full range).
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <vector>

#include "host/spectral/SpeakerLayout.h"
#include "host/spectral/UpmixMatrix.h"

namespace quorveil::spectral {

enum class LfeMode { Copy, Crossover };

// The LFE is written this much below the bass it carries: playback raises
// it by 10 dB.
inline constexpr float kLfeLevel = 0.31622777f;

// How one layout's speakers take the buses, per bin.
class LayoutRouting {
public:
    // [set-up; allocates] For `layout` at `bins` bins.
    LayoutRouting(const SpeakerLayout& layout, int bins);

    const SpeakerLayout& layout() const { return *layout_; }
    int channels() const { return layout_->count; }
    int lfeChannel() const { return lfe_; }
    // How ambience and anti-phase sound divide between front and rear.
    SurroundSplit split() const;

    struct Term {
        int channel;
        int bus;
        float gain;
    };
    // The terms of bins in even (0) or odd (1) bands.
    const std::vector<Term>& terms(int parity) const { return terms_[static_cast<std::size_t>(parity)]; }
    const uint8_t* parities() const { return parity_.data(); }
    // The terms every bin of matrix block `block` (UpmixMatrix.h) takes, or
    // null where its bins straddle two bands of different parity or run
    // past the last bin: those go bin by bin.
    const std::vector<Term>* blockTerms(std::size_t block) const {
        const int8_t p = blockParity_[block];
        return p < 0 ? nullptr : &terms_[static_cast<std::size_t>(p)];
    }

private:
    const SpeakerLayout* layout_;
    int lfe_ = -1;
    std::array<std::vector<Term>, 2> terms_;
    std::vector<uint8_t> parity_;
    std::vector<int8_t> blockParity_;  // per block, its bins' parity, or −1
};

// One frame's speaker spectra, in the layout's file order, binCount bins
// each: every speaker's and, with lfeShare, the LFE's (without, the LFE's
// spectrum is left as it was). Called by the engine once per hop on the
// audio thread; the caller owns every array. No allocation.
void mixSpeakers(const MatrixBlock* matrix, const std::complex<float>* left,
                 const std::complex<float>* right, const LayoutRouting& routing,
                 const float* lfeShare, LfeMode lfeMode, float scale,
                 const std::array<std::complex<float>*, kMostSpeakers>& out, std::size_t bins);

// The LFE share h of each bin for `cutoffHz` (0: none): a Butterworth
// magnitude of order 12, 1/√(1 + (f/fc)^24), so the LFE holds next to
// nothing of a note two thirds of an octave above its cutoff (−63 dB at
// 220 Hz for 120 Hz). Writes `bins` values; no allocation (the engine calls
// it when the cutoff changes, on whichever thread sets the controls).
void fillLfeShares(float* shares, std::size_t bins, double cutoffHz, double sampleRate,
                   int fftSize);

}  // namespace quorveil::spectral
