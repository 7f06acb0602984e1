// SPDX-License-Identifier: MIT
// ATF4_6's kernel on its own: where a step argument lands in the tables, the
// bin scale of common engine settings, and a frame processed in place.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "modules/atf/CrossFadeKernel.h"

namespace {

using namespace quorveil::atf;

TEST(CrossFadeKernel, StepTruncatesAndStaysInTheTables) {
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float x;
        int32_t step;
    } cases[] = {
        {0.0f, 0},          {-0.0f, 0},          {0.99999994f, 0},   {6.99f, 6},
        {7.0f, 7},          {359.99997f, 359},   {360.0f, 360},      {360.99997f, 360},
        {361.0f, 360},      {1e30f, 360},        {inf, 360},         {-0.5f, 0},
        {-1.0f, 0},         {-3e38f, 0},         {-inf, 0},
        {std::numeric_limits<float>::quiet_NaN(), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tableStep(c.x), c.step) << "x " << c.x;
    }
}

TEST(CrossFadeKernel, BinScaleOfEngineSettings) {
    EXPECT_EQ(binScale(44100.0, 2048, 4), static_cast<float>(1.0 / 129.19921875));
    EXPECT_EQ(binScale(48000.0, 4096, 8), static_cast<float>(1.0 / 140.625));
    // Settings no engine sends still give a scale the step clamps safely.
    EXPECT_EQ(binScale(44100.0, 0, 4), 0.0f);
    EXPECT_TRUE(std::isnan(binScale(44100.0, 0, 0)));
}

TEST(CrossFadeKernel, FrameProcessedInPlaceReadsEachBinBeforeWriting) {
    GainTables tables;
    tables.fill();
    const float left[2] = {100.0f, 5.0f}, right[2] = {0.0f, 5.0f};
    float lf[2] = {1, 1}, rf[2] = {2, 2}, c[2] = {3, 3}, ls[2] = {4, 4}, rs[2] = {5, 5};
    const FramePins pins{left, right, {lf, rf, c, ls, rs}, {lf, rf, c, ls, rs}};
    const CrossFadeSettings settings{binScale(44100.0, 2048, 4), 0.0f, Mode::Across};
    const float last = crossFadeFrame(pins, 2, settings, tables, -2.0f);
    const float cosine = tables.cosineTable[69], sine = tables.sineTable[69];
    EXPECT_EQ(lf[0], 1.0f * cosine + 2.0f * sine);
    EXPECT_EQ(rf[0], 2.0f * cosine + 1.0f * sine);
    EXPECT_EQ(rs[0], (3.0f * sine) * 0.5f + 4.0f * sine + 5.0f * cosine);
    EXPECT_EQ(lf[1], 1.0f);  // equal frequencies: untouched
    EXPECT_EQ(last, 1.0f);
    EXPECT_EQ(crossFadeFrame(pins, 0, settings, tables, -2.0f), -2.0f);
}

}  // namespace
