// SPDX-License-Identifier: GPL-3.0-or-later
// The last step of the upmix in the frequency domain: each bin's direct part
// spread by the placement weights, each side's ambience split between its
// front and rear speaker, the power kept, the LFE crossover, and the user's
// levels. Per bin:
//
//   direct    gains g = w / ‖w‖ (the weights of DirectPlacement.h, FC alone
//             when they are all zero); the width narrows the front image by
//             moving power from FL and FR into FC; speaker s gets g_s · D.
//   ambience  each side's ambience A (with its own phase) goes to its rear
//             speaker at 2√2/3 and to its front speaker at 1/3: the powers
//             add up to A's (8/9 behind, 1/9 in front) and the ITU downmix
//             FL + 0.707·BL gives A back.
//   power     the six outputs are scaled together so their power equals the
//             bin's input power |X_L|² + |X_R|² (whatever the estimates
//             missed is not lost, and nothing is added).
//   LFE       with a cutoff, a Butterworth-shaped share h² of the input power
//             goes to the LFE and 1 − h² stays in the mains (the powers of a
//             crossover add up); the LFE takes the phase of X_L + X_R, or of
//             the louder channel where the two are more than 90° apart, so it
//             never cancels.
//   levels    FC's direct part times the centre level, the ambience times
//             the ambience level; these change the power on purpose.
#pragma once

#include <array>
#include <complex>
#include <cstddef>

#include "host/spectral/DirectPlacement.h"

namespace quorveil::spectral {

inline constexpr int kUpmixChannels = 6;
// File order of the 5.1 output (WAV channel mask 0x3F).
enum Speaker : int { FL = 0, FR = 1, FC = 2, LFE = 3, BL = 4, BR = 5 };
inline constexpr std::array<const char*, kUpmixChannels> kUpmixChannelNames{"FL", "FR", "FC",
                                                                             "LFE", "BL", "BR"};

// How a side's ambience divides between its front and rear speaker.
inline constexpr float kAmbienceFront = 1.0f / 3.0f;
inline constexpr float kAmbienceRear = 0.94280904f;  // 2√2 / 3

// One frame's inputs, binCount values each.
struct MixInputs {
    const std::complex<float>* left;  // X_L, X_R as analysed
    const std::complex<float>* right;
    const std::complex<float>* direct;
    const std::complex<float>* ambientLeft;
    const std::complex<float>* ambientRight;
    std::array<const float*, kMainSpeakers> weights;  // FL FR FC BL BR
    const float* lfeShare;                            // h per bin; null: no LFE
};

// Levels for the frame, as linear factors.
struct MixLevels {
    float width = 1.0f;     // 0: all direct sound in FC; 1: the full front arc
    float centre = 1.0f;    // on FC's direct part
    float ambience = 1.0f;  // on both sides' ambience
    float scale = 1.0f;     // analyser bins to the synthesisers' scale
};

// Writes the six output spectra (file order), binCount bins each; without
// lfeShare, every one but the LFE's. Called by the engine once per hop on
// the audio thread; the caller owns every array. No allocation; one pass
// over the bins.
void mixSpeakers(const MixInputs& in, const MixLevels& levels,
                 const std::array<std::complex<float>*, kUpmixChannels>& out, std::size_t bins);

// The LFE share h of each bin for `cutoffHz` (0: none): a Butterworth
// magnitude of order 12, 1/√(1 + (f/fc)^24), so the LFE holds next to
// nothing of a note two thirds of an octave above its cutoff (−63 dB at
// 220 Hz for 120 Hz). Writes `bins` values; no allocation (the engine calls
// it when the cutoff changes, on whichever thread sets the controls).
void fillLfeShares(float* shares, std::size_t bins, double cutoffHz, double sampleRate,
                   int fftSize);

}  // namespace quorveil::spectral
