// SPDX-License-Identifier: GPL-3.0-or-later
// What the split's background (PrimaryAmbient.cpp) and its events
// (PrimaryAmbientEvents.cpp) judge alike: silence, a bin's phase (in phase,
// time-shifted, anti-phase) and how much a band's frame moves together.
// Internal to PrimaryAmbientSplit; inline arithmetic for one bin or lanes
// of them (BinLanes.h), no allocation.
#pragma once

#include <complex>
#include <cstddef>

#include "host/spectral/BinLanes.h"

namespace quorveil::spectral::split_rules {

// Averages below this are silence: they would otherwise decay through the
// subnormal range, where every operation is slow.
inline constexpr float kSilentPower = 1e-30f;

// cos 20° and cos 50°: the direct sound is in phase below 20° of phase
// difference, time-shifted beyond 50°, a blend between.
inline constexpr float kInPhaseCos = 0.93969262f;
inline constexpr float kShiftedCos = 0.64278761f;

// 0 below `from`, 1 beyond `to`, a straight line between (one bin or lanes
// of them: BinLanes.h).
template <typename V>
V ramp(V x, float from, float to) {
    return lanes::clampOf((x - from) / (to - from), V{}, lanes::splat<V>(1.0f));
}

// Direct sound without a time difference: fully frontal within 60° of
// phase, fully surround at 180°; in phase below 20°, time-shifted beyond 50°
// (for one bin or for lanes of them: BinLanes.h).
template <typename V>
V frontness(V cosPhase) {
    return ramp(cosPhase, -0.25f, 0.5f);
}
template <typename V>
V inPhaseness(V cosPhase) {
    return ramp(cosPhase, kShiftedCos, kInPhaseCos);
}

// A frame's power over the bins [first, end), and how much more its
// neighbouring bins move together than those of a steady sound: 1 for a
// sound that fills the window, about 3 for a burst of a few
// milliseconds. Averaged over n bins, a frame's
// noise scatters as Σ_d |ρ_d|²/n, ρ_d the correlation of bins d apart,
// the Fourier transform of the window's power envelope; for a steady sound
// in a Hann window ρ_1 = −2/3, ρ_2 = 1/6 and none further (1.94 in all).
// Lags 1 and 2 are measured, further ones extrapolated geometrically, and
// both sides carry the bias of a sum over n bins.
struct BandFrame {
    float power = 0.0f;          // L's and R's, summed over the band
    float concentration = 1.0f;  // 1 for a sound that fills the window
};
BandFrame bandFrameOf(const std::complex<float>* left, const std::complex<float>* right, std::size_t first,
                      std::size_t end);

}  // namespace quorveil::spectral::split_rules
