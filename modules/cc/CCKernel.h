// SPDX-License-Identifier: MIT
// The signal side of CC4_6, apart from the plug-in plumbing: one bin of a
// stereo magnitude pair split into C, LS, RS, and the frame loop.
#pragma once

#include <array>
#include <cstdint>

#include "modules/common/MinimumRule.h"
#include "modules/common/WrappedRears.h"

namespace quorveil::cc {

inline constexpr std::size_t kOutputs = 3;
enum Output : std::size_t { C = 0, LS = 1, RS = 2 };  // pin order

// The two humidities as the bins use them (single precision), and whether
// the rears share what they hold.
struct Settings {
    float rearHumidity = 0.0f;
    float wrapHumidity = 0.0f;
    bool wrapRears = false;
};

// One bin. The common part of L and R goes to the centre; the rear humidity's
// share of it is taken out of each side, and what remains of a side goes to
// its rear. Wrapped, both rears are partnered with the centre (see
// WrappedRears.h).
template <bool WrapRears>
inline std::array<float, kOutputs> ccBin(float left, float right, const Settings& settings) {
    const float centre = minimumRule(right, left);
    const float takenOut = settings.rearHumidity * centre;
    const float left1 = left - takenOut;
    const float right1 = right - takenOut;
    if constexpr (!WrapRears) {
        return {centre, left1, right1};
    } else {
        const auto rears = wrapRears(left1, right1, centre, centre, settings.wrapHumidity);
        return {centre, rears[0], rears[1]};
    }
}

// One frame: reads bins values from left and right, writes bins values to
// each of out[C], out[LS], out[RS]. All of a bin's inputs are read before any
// of its outputs is written.
void ccFrame(const Settings& settings, const float* left, const float* right, float* const* out,
             uint32_t bins);

}  // namespace quorveil::cc
