// SPDX-License-Identifier: MIT
// The wrapped rears Slice4_6 and CC4_6 share: what each rear keeps, what
// both share, and which argument is the rear and which its partner.
#include <gtest/gtest.h>

#include "modules/common/WrappedRears.h"

namespace {

TEST(WrappedRears, KeepTheCommonPartAndShareTheRest) {
    const struct {
        float leftRear, rightRear, leftPartner, rightPartner, wrapHumidity;
        float expectedLeft, expectedRight;
    } cases[] = {
        // Kept 2 and 1; shared ((3 - 0) + (1 - 0)) / 2.
        {3.0f, 1.0f, 2.0f, 2.0f, 0.0f, 4.0f, 3.0f},
        // Shared ((3 - 1) + (1 - 0.5)) / 2.
        {3.0f, 1.0f, 2.0f, 2.0f, 0.5f, 3.25f, 2.25f},
        // The whole common part taken away: shared ((3 - 2) + (1 - 1)) / 2.
        {3.0f, 1.0f, 2.0f, 2.0f, 1.0f, 2.5f, 1.5f},
        // The remainders are the rears' own: kept 2 and 1, shared (2 + 4) / 2
        // (rear and partner taken the other way round would give 4 and 3).
        {2.0f, 4.0f, 3.0f, 1.0f, 0.0f, 5.0f, 4.0f},
        // Partners of their own per side, as Slice4_6 has them.
        {4.0f, 6.0f, 1.0f, 5.0f, 0.5f, 4.5f, 8.5f},
        // A silent side keeps nothing and still takes half of what the other leaves.
        {0.0f, 8.0f, 0.0f, 2.0f, 1.0f, 3.0f, 5.0f},
    };
    for (const auto& c : cases) {
        const auto rears = quorveil::wrapRears(c.leftRear, c.rightRear, c.leftPartner,
                                               c.rightPartner, c.wrapHumidity);
        EXPECT_EQ(rears[0], c.expectedLeft) << c.leftRear << ", " << c.rightRear;
        EXPECT_EQ(rears[1], c.expectedRight) << c.leftRear << ", " << c.rightRear;
    }
}

}  // namespace
