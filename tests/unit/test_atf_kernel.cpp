// SPDX-License-Identifier: MIT
// ATF4_6's kernel on its own: the gain tables against their definition,
// where a step argument lands in them, the bin scale of common engine
// settings, and a frame processed in place.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "modules/atf/CrossFadeKernel.h"

namespace {

using namespace quorveil::atf;

// The gains by their definition, independently of the kernel: step i is the
// angle (float)(i * 0.0175) radian, its sine and cosine taken in double and
// rounded to float, and the sine of the last step is exactly 0. Computed in a
// loop at run time, so both sides use the same C runtime's sine and cosine.
struct DefinedGains {
    std::array<float, 361> sine{}, cosine{};
    DefinedGains() {
        for (int i = 0; i <= 360; ++i) {
            const auto angle = static_cast<double>(static_cast<float>(i * 0.0175));
            sine[static_cast<std::size_t>(i)] = static_cast<float>(std::sin(angle));
            cosine[static_cast<std::size_t>(i)] = static_cast<float>(std::cos(angle));
        }
        sine[360] = 0.0f;
    }
};

TEST(CrossFadeKernel, GainTablesFollowTheirDefinitionBitForBit) {
    GainTables tables;
    tables.fill();
    const DefinedGains defined;
    for (std::size_t i = 0; i <= 360; ++i) {
        EXPECT_EQ(std::bit_cast<uint32_t>(tables.sineTable[i]),
                  std::bit_cast<uint32_t>(defined.sine[i]))
            << "sine " << i;
        EXPECT_EQ(std::bit_cast<uint32_t>(tables.cosineTable[i]),
                  std::bit_cast<uint32_t>(defined.cosine[i]))
            << "cosine " << i;
    }
}

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
    const DefinedGains defined;
    const float cosine = defined.cosine[69], sine = defined.sine[69];
    EXPECT_EQ(lf[0], 1.0f * cosine + 2.0f * sine);
    EXPECT_EQ(rf[0], 2.0f * cosine + 1.0f * sine);
    EXPECT_EQ(rs[0], (3.0f * sine) * 0.5f + 4.0f * sine + 5.0f * cosine);
    EXPECT_EQ(lf[1], 1.0f);  // equal frequencies: untouched
    EXPECT_EQ(last, 1.0f);
    EXPECT_EQ(crossFadeFrame(pins, 0, settings, tables, -2.0f), -2.0f);
}

// ATF4_6's loop before runs of bins were staged: bin by bin, each read whole
// and then written.
float binByBin(const FramePins& pins, uint32_t bins, const CrossFadeSettings& settings,
               const GainTables& tables, float lastCosine) {
    for (uint32_t i = 0; i < bins; ++i) {
        const int32_t step = tableStep(stepArgument(pins.left[i], pins.right[i], settings.binScale,
                                                    90.0f - settings.depthFactor));
        const float c = tables.cosineTable[step], s = tables.sineTable[step];
        const Magnitudes in{pins.magnitudeIn[0][i], pins.magnitudeIn[1][i], pins.magnitudeIn[2][i],
                            pins.magnitudeIn[3][i], pins.magnitudeIn[4][i]};
        const Magnitudes out = settings.mode == Mode::Across ? crossFade<Mode::Across>(in, c, s)
                                                             : crossFade<Mode::Diagonal>(in, c, s);
        pins.magnitudeOut[0][i] = out.lf;
        pins.magnitudeOut[1][i] = out.rf;
        pins.magnitudeOut[2][i] = out.c;
        pins.magnitudeOut[3][i] = out.ls;
        pins.magnitudeOut[4][i] = out.rs;
        lastCosine = c;
    }
    return lastCosine;
}

TEST(CrossFadeKernel, FrameMatchesBinByBinForEveryPinLayout) {
    constexpr uint32_t kBins = 1025;  // several runs and a short last one
    constexpr std::size_t kStride = kBins + 3;
    // Frame number and bin offset in one arena: L, R, five inputs, five outputs.
    const struct {
        const char* what;
        int at[12][2];
    } layouts[] = {
        {"separate frames",
         {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}, {8, 0}, {9, 0}, {10, 0}, {11, 0}}},
        {"in place",
         {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}}},
        {"outputs on other channels' inputs",
         {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {6, 0}, {5, 0}, {4, 0}, {3, 0}, {2, 0}}},
        {"one input feeding two pins",
         {{0, 0}, {1, 0}, {2, 0}, {2, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}, {8, 0}, {9, 0}, {10, 0}, {11, 0}}},
        {"an output one bin ahead of its input",
         {{0, 0}, {1, 0}, {2, 1}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {2, 0}, {8, 0}, {9, 0}, {10, 0}, {11, 0}}},
        {"an output over the R frequencies",
         {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}, {1, 0}, {9, 0}, {10, 0}, {11, 0}}},
    };
    GainTables tables;
    tables.fill();
    std::mt19937 random(4);
    std::uniform_real_distribution<float> frequency(0.0f, 22050.0f), spread(-400.0f, 400.0f),
        magnitude(0.0f, 10.0f);
    for (const auto& layout : layouts) {
        for (const Mode mode : {Mode::Across, Mode::Diagonal}) {
            SCOPED_TRACE(layout.what);
            std::vector<float> arena(12 * kStride);
            for (std::size_t i = 0; i < arena.size(); ++i) {
                arena[i] = i % 7 == 0 ? frequency(random) : magnitude(random);
            }
            // Some bins with equal, NaN and widely different frequencies.
            for (std::size_t i = 0; i < kStride; i += 5) {
                arena[kStride + i] = i % 3 == 0 ? arena[i] : arena[i] + spread(random);
            }
            arena[kStride + 17] = std::numeric_limits<float>::quiet_NaN();
            std::vector<float> reference = arena;
            auto pinsIn = [&layout](std::vector<float>& values) {
                auto at = [&values, &layout](int pin) {
                    return values.data() + static_cast<std::size_t>(layout.at[pin][0]) * kStride +
                           static_cast<std::size_t>(layout.at[pin][1]);
                };
                return FramePins{at(0), at(1), {at(2), at(3), at(4), at(5), at(6)},
                                 {at(7), at(8), at(9), at(10), at(11)}};
            };
            const CrossFadeSettings settings{binScale(44100.0, 2048, 4), 20.0f, mode};
            const float last = crossFadeFrame(pinsIn(arena), kBins, settings, tables, -2.0f);
            EXPECT_EQ(last, binByBin(pinsIn(reference), kBins, settings, tables, -2.0f));
            EXPECT_EQ(std::memcmp(arena.data(), reference.data(), arena.size() * sizeof(float)), 0);
        }
    }
}

}  // namespace
