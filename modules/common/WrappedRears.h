// SPDX-License-Identifier: MIT
// The rears of a stereo magnitude split when "Wrap Rears" is on, shared by
// Slice4_6 and CC4_6. Each rear keeps what it has in common (by the minimum
// rule) with a partner on its side, and both rears share the average of what
// remains once the wrap humidity's share of those common parts is taken away.
// Slice4_6 partners each rear with the front of its side; CC4_6, which has no
// fronts, partners both rears with the centre.
//
// Single precision, in this order and grouping: the rounding is part of the
// sound.
#pragma once

#include <array>

#include "modules/common/MinimumRule.h"

namespace quorveil {

// Returns the wrapped left and right rears.
inline std::array<float, 2> wrapRears(float leftRear, float rightRear, float leftPartner,
                                      float rightPartner, float wrapHumidity) {
    const float w = wrapHumidity;
    const float leftKept = minimumRule(leftRear, leftPartner);
    const float rightKept = minimumRule(rightRear, rightPartner);
    const float shared = ((leftRear - w * leftKept) + (rightRear - w * rightKept)) * 0.5f;
    return {shared + leftKept, shared + rightKept};
}

}  // namespace quorveil
