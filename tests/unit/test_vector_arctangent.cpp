// SPDX-License-Identifier: MIT
// ArcTan4_6's run-of-bins arctangents against the scalar path, bit for bit:
// the C rules' special cases, arguments near the rounding boundaries of
// float, and millions of random magnitude and frequency pairs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "modules/arctan/VectorArctangent.h"

namespace {

using quorveil::arctan::arctangent;
using quorveil::arctan::arctangentsOfWidth;

// Counts bins whose bits differ from the scalar path (NaN matches NaN), with
// eight and with four bins at a time (each as far as this processor has it).
int differences(const std::vector<float>& y, const std::vector<float>& x) {
    int differ = 0;
    for (const uint32_t lanes : {8u, 4u}) {
        std::vector<float> out(y.size());
        arctangentsOfWidth(lanes, y.data(), x.data(), out.data(), static_cast<uint32_t>(y.size()));
        for (std::size_t k = 0; k < y.size(); ++k) {
            const float want = arctangent(y[k], x[k]);
            const bool same = std::memcmp(&out[k], &want, sizeof want) == 0 ||
                              (std::isnan(out[k]) && std::isnan(want));
            if (!same && ++differ <= 5) {
                ADD_FAILURE() << lanes << " lanes: atan2(" << y[k] << ", " << x[k]
                              << "): " << out[k] << ", scalar " << want;
            }
        }
    }
    return differ;
}

TEST(VectorArctangent, SpecialArgumentsGiveTheScalarBits) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float tiny = std::numeric_limits<float>::denorm_min();
    const float values[] = {0.0f, -0.0f, 1.0f, -1.0f, inf, -inf, nan, tiny, -tiny,
                            1e-30f, 3e38f, -3e38f, 0.5f, 24000.0f};
    std::vector<float> y, x;
    for (float a : values) {
        for (float b : values) {
            y.push_back(a);
            x.push_back(b);
        }
    }
    EXPECT_EQ(differences(y, x), 0);
}

TEST(VectorArctangent, RandomPairsGiveTheScalarBits) {
    std::mt19937 random(6);
    const struct {
        const char* what;
        float low, high;
    } ranges[] = {
        {"magnitudes", 0.0f, 4.0f},
        {"quiet magnitudes", 0.0f, 1e-6f},
        {"frequencies", 0.0f, 24000.0f},
        {"signed values", -100.0f, 100.0f},
    };
    for (const auto& range : ranges) {
        SCOPED_TRACE(range.what);
        std::uniform_real_distribution<float> value(range.low, range.high);
        std::vector<float> y(1 << 20), x(1 << 20);
        for (std::size_t k = 0; k < y.size(); ++k) {
            y[k] = value(random);
            x[k] = value(random);
        }
        y.resize(y.size() - 3);  // a run that ends between vector widths
        x.resize(y.size());
        EXPECT_EQ(differences(y, x), 0);
    }
}

// Pairs whose double arctangent lies right by a float rounding boundary,
// where a vectorised arctangent 1 ulp off could round the other way.
TEST(VectorArctangent, ResultsByFloatRoundingBoundariesGiveTheScalarBits) {
    std::mt19937 random(8);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<float> y, x;
    while (y.size() < 2000) {
        const float a = unit(random), b = unit(random);
        const double angle = std::atan2(static_cast<double>(a), static_cast<double>(b));
        uint64_t bits;
        std::memcpy(&bits, &angle, sizeof bits);
        const uint64_t low = bits & ((uint64_t{1} << 29) - 1);
        const uint64_t distance = low > (uint64_t{1} << 28) ? low - (uint64_t{1} << 28)
                                                            : (uint64_t{1} << 28) - low;
        if (distance < (uint64_t{1} << 16)) {
            y.push_back(a);
            x.push_back(b);
        }
    }
    EXPECT_EQ(differences(y, x), 0);
}

}  // namespace
