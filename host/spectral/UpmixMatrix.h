// SPDX-License-Identifier: GPL-3.0-or-later
// The upmix as a matrix per bin: each speaker's spectrum is a·X_L + b·X_R,
// with (a, b) built from the scene of the bin (PrimaryAmbient.h) and the
// placement's weights (DirectPlacement.h). The coefficients follow the
// averages, never the frame itself, so a steady sound comes out as steady as
// it went in; only an event (a hit) gets coefficients of its own frame.
//
// The sound is first gathered on buses, then each layout takes the buses it
// has speakers for (SpeakerMix.h):
//   front arc  FL FC FR: the in-phase direct sound by the placement's
//              weights, narrowed by the width; time-shifted direct sound,
//              each side to its own front;
//   ambience   AFL AFR, AL AR: each side's ambience with its own phase, a
//              third of its amplitude (a ninth of its power) for the front
//              and the rest for the rear;
//   rear       RL RR: anti-phase direct sound, each side with its own phase,
//              and whatever a wrap-around placement puts behind.
// Ambience and anti-phase sound divide between front and rear as
// ambienceFront/ambienceRear and antiPhaseFront/antiPhaseRear; with equal
// powers in and out and a front + 0.707·rear fold-down that gives each side
// back, ambience must go ⅓ front and 2√2/3 behind. A layout without
// surround speakers puts all of it in front.
//
// Power: the background's coefficients are scaled together so that the
// power the layout's speakers receive, averaged over time as the input's
// is, equals the averaged input power of the bin; the centre and ambience levels then
// change it on purpose. (A ratio of two averages: steady, where the ratio
// of each frame's powers would make a steady sound warble.)
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/spectral/DirectPlacement.h"
#include "host/spectral/PrimaryAmbient.h"

namespace quorveil::spectral {

inline constexpr int kBuses = 9;
enum Bus : int {
    BusFL = 0, BusFR, BusFC,           // the front arc's direct sound
    BusAmbientL, BusAmbientR,          // each side's ambience, rear part
    BusRearL, BusRearR,                // coherent sound behind
    BusAmbientFrontL, BusAmbientFrontR  // each side's ambience, front part
};

class LayoutRouting;

// How ambience and anti-phase direct sound divide between a side's front
// and its rear (amplitudes; squares add up to 1).
struct SurroundSplit {
    float ambienceFront = 1.0f / 3.0f;
    float ambienceRear = 0.94280904f;  // 2√2/3
    float antiPhaseFront = 0.15f;
    float antiPhaseRear = 0.98868599f;  // √(1 − 0.15²)
};

// Levels for the frame, as linear factors.
struct MixLevels {
    float width = 1.0f;     // 0: all in-phase direct sound in FC; 1: the full front arc
    float centre = 1.0f;    // on FC
    float ambience = 1.0f;  // on both sides' ambience
    float scale = 1.0f;     // analyser bins to the synthesisers' scale
};

// The placement's five weights per bin (FL FR FC BL BR, not normalised).
using PlacementWeights = std::array<const float*, kMainSpeakers>;

// One bin's matrix: per bus, the coefficients of X_L and X_R.
using BusRow = std::array<std::complex<float>, 2>;
using BinMatrix = std::array<BusRow, kBuses>;

// The matrices of kBlockBins neighbouring bins, each coefficient's real and
// imaginary part as kBlockBins floats side by side, the way the builder and
// the mix compute them (several bins at once: BinLanes.h). Bin k is lane
// k % kBlockBins of block k / kBlockBins; a frame of n bins has
// matrixBlocks(n) blocks, the last one partly unused.
inline constexpr int kBlockBins = 4;
struct MatrixBlock {
    enum Part { Re = 0, Im = 1 };
    // [bus][0: X_L, 1: X_R][Part][lane]
    alignas(16) float at[kBuses][2][2][kBlockBins];

    BinMatrix bin(int lane) const;
    void setBin(int lane, const BinMatrix& m);
};
constexpr std::size_t matrixBlocks(std::size_t bins) { return (bins + kBlockBins - 1) / kBlockBins; }

// Fills `matrix` (matrixBlocks(bins) blocks) for one frame's scene. `events` may be
// null when the scene holds no event. Audio or worker thread; no
// allocation; one pass over the bins.
void buildMatrix(const BinScene& scene, const PlacementWeights& background,
                 const PlacementWeights* events, const MixLevels& levels,
                 const LayoutRouting& routing, MatrixBlock* matrix, std::size_t bins);


}  // namespace quorveil::spectral
