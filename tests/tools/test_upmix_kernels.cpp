// SPDX-License-Identifier: GPL-3.0-or-later
// The upmix's per-bin steps apart from the engine: the direct/ambient split
// on bins whose answer is known, and the speaker mix's promises (power kept,
// ambience that the downmix gives back, the LFE crossover, width, broken
// weights).
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>

#include "host/spectral/PrimaryAmbient.h"
#include "host/spectral/SpeakerMix.h"

namespace quorveil::spectral {
namespace {

using Complex = std::complex<float>;

float power(Complex z) { return std::norm(z); }

// One bin fed `frames` frames of (left, right) from `pair`; the split of the
// last frame, with its input.
struct LastFrame {
    Complex left, right, direct, ambientLeft, ambientRight;
    float leftLevel, rightLevel;
};
template <class Pair>
LastFrame splitFrames(int frames, Pair pair, float weight = 0.05f, float floor = 0.0f) {
    PrimaryAmbientSplit split(1);
    split.setSmoothing(weight, floor);
    LastFrame last{};
    for (int f = 0; f < frames; ++f) {
        const auto [left, right] = pair(f);
        split.split(&left, &right);
        last = {left, right, split.direct()[0], split.ambientLeft()[0], split.ambientRight()[0],
                split.directLeftLevel()[0], split.directRightLevel()[0]};
    }
    return last;
}

TEST(PrimaryAmbientSplit, KnownBinsSplitAsTheModelSays) {
    std::mt19937 random(1);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    auto noise = [&] { return Complex(normal(random), normal(random)); };
    const float cosine = std::cos(0.3f), sine = std::sin(0.3f);
    const struct {
        const char* name;
        std::function<std::pair<Complex, Complex>(int)> pair;
        float directShare;  // of the last frame's power, expected
        float tolerance;
    } cases[] = {
        {"hard left", [&](int) { return std::pair{noise(), Complex()}; }, 1.0f, 1e-5f},
        {"panned in phase", [&](int) { const Complex x = noise(); return std::pair{cosine * x, sine * x}; },
         1.0f, 1e-5f},
        {"anti-phase", [&](int) { const Complex x = noise(); return std::pair{x, -x}; }, 0.0f, 1e-6f},
        {"independent", [&](int) { return std::pair{noise(), noise()}; }, 0.1f, 0.15f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LastFrame f = splitFrames(400, c.pair);
        const float input = power(f.left) + power(f.right);
        EXPECT_NEAR(power(f.direct) / input, c.directShare, c.tolerance);
        // The ambience carries each channel's own phase where it is all there is.
        if (c.directShare == 0.0f) {
            EXPECT_NEAR(std::abs(f.ambientLeft - f.left), 0.0f, 1e-5f * std::abs(f.left));
            EXPECT_NEAR(std::abs(f.ambientRight - f.right), 0.0f, 1e-5f * std::abs(f.right));
        }
    }
}

TEST(PrimaryAmbientSplit, APannedSourceKeepsItsLevelsForThePlacement) {
    const float cosine = std::cos(0.4f), sine = std::sin(0.4f);
    std::mt19937 random(2);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    // The floor takes nothing from a coherent source.
    const LastFrame f = splitFrames(
        300,
        [&](int) {
            const Complex x(normal(random), normal(random));
            return std::pair{cosine * x, sine * x};
        },
        0.05f, 0.2f);
    EXPECT_NEAR(f.rightLevel / f.leftLevel, sine / cosine, 1e-4f);
    EXPECT_NEAR(power(f.ambientLeft) + power(f.ambientRight), 0.0f, 1e-6f * power(f.left));
}

TEST(PrimaryAmbientSplit, SilenceAfterSoundStaysFiniteAndSilent) {
    const LastFrame f = splitFrames(5000, [](int frame) {
        return frame < 10 ? std::pair{Complex(1.0f, 2.0f), Complex(-3.0f, 0.5f)}
                          : std::pair{Complex(), Complex()};
    });
    for (Complex z : {f.direct, f.ambientLeft, f.ambientRight}) EXPECT_EQ(z, Complex());
    EXPECT_EQ(f.leftLevel, 0.0f);
}

TEST(CoherenceFloor, IsWhatIndependentFramesLeaveRaisedByTheirOverlap) {
    const std::vector<float> window(2048, 1.0f);
    // Frames that share nothing: a / (2 - a).
    EXPECT_NEAR(coherenceFloor(window, 2048, 0.2f), 0.2 / 1.8, 1e-6);
    // No averaging: any bin looks coherent.
    EXPECT_NEAR(coherenceFloor(window, 512, 1.0f), 1.0, 1e-6);
    // Overlap raises it; longer averages lower it.
    EXPECT_GT(coherenceFloor(window, 512, 0.2f), coherenceFloor(window, 2048, 0.2f));
    EXPECT_GT(coherenceFloor(window, 512, 0.2f), coherenceFloor(window, 512, 0.05f));
    EXPECT_NEAR(smoothingWeight(0.1, 441, 44100.0), 1.0 - std::exp(-0.1), 1e-6);
}

// One bin through the mix, with unit levels unless given.
struct MixedBin {
    std::array<Complex, kUpmixChannels> out;
};
MixedBin mixOne(Complex left, Complex right, Complex direct, Complex ambientLeft,
                Complex ambientRight, std::array<float, kMainSpeakers> weights,
                const float* lfeShare = nullptr, MixLevels levels = {}) {
    MixedBin bin;
    std::array<Complex*, kUpmixChannels> out{};
    for (std::size_t c = 0; c < kUpmixChannels; ++c) out[c] = &bin.out[c];
    std::array<const float*, kMainSpeakers> w{};
    for (std::size_t s = 0; s < kMainSpeakers; ++s) w[s] = &weights[s];
    const MixInputs in{&left, &right, &direct, &ambientLeft, &ambientRight, w, lfeShare};
    mixSpeakers(in, levels, out, 1);
    return bin;
}

float totalPower(const MixedBin& bin) {
    float sum = 0.0f;
    for (Complex z : bin.out) sum += power(z);
    return sum;
}

TEST(SpeakerMix, KeepsTheInputPowerWhateverTheEstimates) {
    std::mt19937 random(3);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    std::uniform_real_distribution<float> weight(0.0f, 2.0f);
    for (int i = 0; i < 200; ++i) {
        const Complex l(normal(random), normal(random)), r(normal(random), normal(random));
        const Complex d(normal(random), normal(random));
        const MixedBin bin = mixOne(l, r, d, 0.5f * l, 0.3f * r,
                                    {weight(random), weight(random), weight(random), 0.0f, 0.0f});
        ASSERT_NEAR(totalPower(bin), power(l) + power(r), 1e-4f * (power(l) + power(r)));
    }
}

TEST(SpeakerMix, AmbienceGoesMostlyBehindAndTheDownmixGivesItBack) {
    const Complex a(0.3f, -0.7f), b(-0.2f, 0.1f);
    const MixedBin bin = mixOne(a, b, Complex(), a, b, {0, 0, 0, 0, 0});
    EXPECT_NEAR(power(bin.out[BL]) / power(a), 8.0f / 9.0f, 1e-5f);
    EXPECT_NEAR(power(bin.out[FL]) / power(a), 1.0f / 9.0f, 1e-5f);
    const Complex downmixLeft = bin.out[FL] + bin.out[BL] / std::numbers::sqrt2_v<float>;
    EXPECT_NEAR(std::abs(downmixLeft - a), 0.0f, 2e-4f);
    const Complex downmixRight = bin.out[FR] + bin.out[BR] / std::numbers::sqrt2_v<float>;
    EXPECT_NEAR(std::abs(downmixRight - b), 0.0f, 2e-4f);
}

TEST(SpeakerMix, WeightsPlaceTheDirectPartAndWidthNarrowsIt) {
    const Complex x(1.0f, 0.0f);
    const struct {
        const char* name;
        std::array<float, kMainSpeakers> weights;
        float width;
        std::array<float, kUpmixChannels> shares;  // of the power, file order
    } cases[] = {
        {"one speaker", {1, 0, 0, 0, 0}, 1.0f, {1, 0, 0, 0, 0, 0}},
        {"FL and FC alike", {1, 0, 1, 0, 0}, 1.0f, {0.5f, 0, 0.5f, 0, 0, 0}},
        {"width 0", {1, 0, 1, 0, 0}, 0.0f, {0, 0, 1, 0, 0, 0}},
        {"width 0.5", {1, 0, 0, 0, 0}, 0.5f, {0.25f, 0, 0.75f, 0, 0, 0}},
        {"all weights 0: FC", {0, 0, 0, 0, 0}, 1.0f, {0, 0, 1, 0, 0, 0}},
        {"not numbers: as 0", {NAN, INFINITY, -1.0f, 0, 0}, 1.0f, {0, 0, 1, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MixLevels levels;
        levels.width = c.width;
        const MixedBin bin = mixOne(x, Complex(), x, Complex(), Complex(), c.weights, nullptr, levels);
        for (std::size_t s = 0; s < kUpmixChannels; ++s) {
            if (s == LFE) continue;
            EXPECT_NEAR(power(bin.out[s]), c.shares[s], 1e-5f) << kUpmixChannelNames[s];
        }
    }
}

TEST(SpeakerMix, TheLfeTakesItsShareOfThePowerWithAPhaseThatCannotCancel) {
    const float share = 0.6f;
    const struct {
        const char* name;
        Complex left, right;
    } cases[] = {{"in phase", {1.0f, 0.5f}, {0.8f, 0.4f}},
                 {"anti-phase", {1.0f, 0.0f}, {-1.0f, 0.0f}},
                 {"left only", {0.0f, 2.0f}, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const float input = power(c.left) + power(c.right);
        const MixedBin bin =
            mixOne(c.left, c.right, Complex(), c.left, c.right, {0, 0, 1, 0, 0}, &share);
        EXPECT_NEAR(power(bin.out[LFE]), share * share * input, 1e-5f);
        EXPECT_NEAR(totalPower(bin), input, 1e-5f * input);
    }
    std::vector<float> shares(1025);
    fillLfeShares(shares.data(), shares.size(), 120.0, 44100.0, 2048);
    EXPECT_NEAR(shares[0], 1.0f, 1e-6f);
    // Bin 10 is 215 Hz: 1 / sqrt(1 + (215/120)^24).
    EXPECT_LT(20.0 * std::log10(shares[10]), -60.0);
    fillLfeShares(shares.data(), shares.size(), 0.0, 44100.0, 2048);
    EXPECT_EQ(shares[0], 0.0f);
}

}  // namespace
}  // namespace quorveil::spectral
