// SPDX-License-Identifier: MIT
// The signal side of Slice4_6, apart from the plug-in plumbing: one bin of a
// stereo magnitude pair sliced into LF, RF, C, LS, RS, and the frame loop.
#pragma once

#include <array>
#include <cstdint>

#include "modules/common/MinimumRule.h"
#include "modules/common/WrappedRears.h"

namespace quorveil::slice {

inline constexpr std::size_t kOutputs = 5;
enum Output : std::size_t { LF = 0, RF = 1, C = 2, LS = 3, RS = 4 };  // pin order

// The three humidities as the bins use them (single precision), and whether
// the rears share what they hold.
struct Settings {
    float stageOne = 0.0f;
    float stageTwo = 0.0f;
    float wrapHumidity = 0.0f;
    bool wrapRears = false;
};

// The fronts and the unwrapped rears of one bin around its centre, the
// common part of L and R (the C slot of the result is left 0).
inline std::array<float, kOutputs> sliceAroundCentre(float left, float right, float centre,
                                                     const Settings& settings) {
    const float h1 = settings.stageOne;
    const float frontScale = h1 * 2.0f + 1.0f;
    const float left1 = left - h1 * centre;
    const float right1 = right - h1 * centre;
    const float leftCommon = minimumRule(centre, left1);
    const float rightCommon = minimumRule(centre, right1);
    const float leftFront = frontScale * leftCommon;
    const float rightFront = frontScale * rightCommon;
    const float rearScale = settings.stageTwo * 2.0f + 1.0f;
    const float leftRear = (left1 - h1 * leftCommon) * rearScale;
    const float rightRear = (right1 - h1 * rightCommon) * rearScale;
    return {leftFront, rightFront, 0.0f, leftRear, rightRear};
}

// One bin. The common part of L and R goes to the centre; stage one takes
// from each side a share bounded by that common part and sends it, scaled, to
// the front of that side; what is left, scaled by stage two, goes to the rear.
// Wrapped, the rears are partnered with the fronts of their sides (see
// WrappedRears.h).
template <bool WrapRears>
inline std::array<float, kOutputs> sliceBin(float left, float right, const Settings& settings) {
    const float centre = minimumRule(right, left);
    const auto v = sliceAroundCentre(left, right, centre, settings);
    if constexpr (!WrapRears) {
        return {v[LF], v[RF], centre, v[LS], v[RS]};
    } else {
        const auto rears = wrapRears(v[LS], v[RS], v[LF], v[RF], settings.wrapHumidity);
        return {v[LF], v[RF], centre, rears[0], rears[1]};
    }
}

// One frame: reads bins values from left and right, writes bins values to
// each of out[LF] .. out[RS]. All of a bin's inputs are read before any of its
// outputs is written.
void sliceFrame(const Settings& settings, const float* left, const float* right,
                float* const* out, uint32_t bins);

}  // namespace quorveil::slice
