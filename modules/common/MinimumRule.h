// SPDX-License-Identifier: MIT
// The smaller of two magnitudes as the CC and Slice modules have always taken
// it: by the closed formula ½((x + y) − √|(x + y)² − 4xy|), in single precision
// and in this grouping, never by a comparison. Its rounding is part of the
// sound: m(x, y) need not equal min(x, y) bit for bit, and sessions rely on the
// values it gives. The absolute value keeps the root real where rounding
// drives the discriminant below zero, so finite inputs give a finite result.
//
// Branch-free, so block loops built on it vectorise (with errno-free sqrt).
#pragma once

#include <cmath>

namespace quorveil {

inline float minimumRule(float x, float y) {
    const float s = x + y;
    const float q = s * s - (x * y) * 4.0f;
    return (s - std::sqrt(std::fabs(q))) * 0.5f;
}

}  // namespace quorveil
