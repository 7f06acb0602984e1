// The minimum rule that Slice and CC share: the smaller value where the
// formula is exact, its own rounding where it is not, for either sign and
// either order, and a finite result where rounding makes the discriminant
// negative.
#include <gtest/gtest.h>

#include <cmath>

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

TEST(MinimumRule, StaysFiniteWhenRoundingMakesTheDiscriminantNegative) {
    int negativeDiscriminants = 0;
    for (float x = 0.01f; x < 50.0f; x *= 1.0137f) {
        const float y = std::nextafter(x, 100.0f);
        const float s = x + y;
        if (s * s - (x * y) * 4.0f < 0.0f) ++negativeDiscriminants;
        EXPECT_TRUE(std::isfinite(quorveil::minimumRule(x, y))) << x;
    }
    EXPECT_GT(negativeDiscriminants, 0) << "the sweep should reach the case it protects";
}

}  // namespace
