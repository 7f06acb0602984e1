// SPDX-License-Identifier: MIT
// The minimum rule that Slice and CC share: the smaller value where the
// formula is exact, its own rounding where it is not, for either sign and
// either order.
#include <gtest/gtest.h>

#include "modules/common/MinimumRule.h"

namespace {

TEST(MinimumRule, GivesTheFormulasValueNotAComparisons) {
    const struct {
        float x, y, expected;
    } cases[] = {
        {1.0f, 3.0f, 1.0f},
        {3.0f, 1.0f, 1.0f},
        {4.0f, 0.0f, 0.0f},
        {-2.0f, -5.0f, -5.0f},
        {3.0f, -1.0f, -1.0f},
        {0.2f, 0.2f, 0.2f},
        // Where the rounding shows: just below, just above, and between the two.
        {0x1.99999ap-4f, 0x1.333334p-2f, 0x1.999998p-4f},  // 0.1, 0.3
        {0x1.333334p-2f, 0x1.99999ap-4f, 0x1.999998p-4f},
        {0x1.0624dep-10f, 1.0f, 0x1.0626p-10f},            // 0.001, 1
        {0x1.666666p-1f, 0x1.66666ap-1f, 0x1.666668p-1f},  // 0.7 and its neighbour's neighbour
    };
    for (const auto& c : cases) {
        EXPECT_EQ(quorveil::minimumRule(c.x, c.y), c.expected) << c.x << ", " << c.y;
    }
}

}  // namespace
