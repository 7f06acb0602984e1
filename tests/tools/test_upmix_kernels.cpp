// SPDX-License-Identifier: GPL-3.0-or-later
// The upmix's steps apart from the engine: the scene of bins whose answer is
// known, every layout's fold-down of the ambience, the peak limiter's
// ceiling and transparency, the hits found in the input and the pre-echo
// gate before them, the onsets of a hit across the spectrum, the
// coherence floor, the LFE's shares, and the choices of several bins at once.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <functional>
#include <numbers>
#include <random>

#include "host/spectral/BinDescription.h"
#include "host/spectral/BinLanes.h"
#include "host/spectral/OnsetBands.h"
#include "host/spectral/PeakLimiter.h"
#include "host/spectral/PreEchoGate.h"
#include "host/spectral/PrimaryAmbient.h"
#include "host/spectral/SpeakerMix.h"

namespace quorveil::spectral {
namespace {

using Complex = std::complex<float>;

// 129 bins of a 256-point FFT at 44.1 kHz fed `frames` frames of a steady
// signal; the scene of the last frame.
struct Scene {
    float share, front, sides, rear;
};
Scene steadyScene(const std::function<std::pair<Complex, Complex>(int bin, std::mt19937&)>& bin,
                  int watched) {
    constexpr int kBins = 129, kFft = 256, kHop = 64;
    OnsetBands onsets(kBins, kFft, kHop, 4, 44100.0);
    const float weight = smoothingWeight(0.1, kHop, 44100.0);
    const float slow = smoothingWeight(0.4, kHop, 44100.0);
    onsets.setSteadyWeights(weight, slow);
    PrimaryAmbientSplit split(kBins, kFft, 44100.0, onsets.bandCount());
    BinDescription description(kBins);
    const std::vector<float> window(kFft, 1.0f);
    split.setTimeFloors(coherenceFloor(window, kFft, weight), coherenceFloor(window, kFft, slow), weight, slow);
    std::mt19937 random(5);
    std::vector<Complex> left(kBins), right(kBins), nextLeft(kBins), nextRight(kBins);
    for (int frame = 0; frame < 3000; ++frame) {
        left.swap(nextLeft);
        right.swap(nextRight);
        for (int k = 0; k < kBins; ++k) std::tie(nextLeft[k], nextRight[k]) = bin(k, random);
        onsets.update(nextLeft.data(), nextRight.data());
        split.split(left.data(), right.data(), nextLeft.data(), nextRight.data(), onsets);
        description.describe(split.frame().statistics);
    }
    const BinScene s = description.scene(split.frame());
    return {s.share[watched], s.front[watched], s.sides[watched], s.rear[watched]};
}

TEST(PrimaryAmbientSplit, DescribesBinsOfAKnownSceneAsTheModelDoes) {
    const float cosine = std::cos(0.4f), sine = std::sin(0.4f);
    auto noise = [](std::mt19937& random) {
        std::normal_distribution<float> normal(0.0f, 1.0f);
        return Complex(normal(random), normal(random));
    };
    // R half a millisecond after L: the phase grows by 2π·f·0.5 ms per bin.
    auto delayed = [](int k) { return std::polar(1.0f, -2.0f * std::numbers::pi_v<float> * static_cast<float>(k) * 44100.0f / 256.0f * 0.0005f); };
    const struct {
        const char* name;
        std::function<std::pair<Complex, Complex>(int, std::mt19937&)> bin;
        int watched;
        Scene expected;  // share, in phase placed, to the sides, behind
        float tolerance;
    } cases[] = {
        {"hard left", [&](int, std::mt19937& r) { return std::pair{noise(r), Complex()}; }, 40,
         {1.0f, 1.0f, 0.0f, 0.0f}, 1e-3f},
        {"panned in phase", [&](int, std::mt19937& r) { const Complex x = noise(r); return std::pair{cosine * x, sine * x}; },
         40, {1.0f, 1.0f, 0.0f, 0.0f}, 1e-3f},
        {"anti-phase", [&](int, std::mt19937& r) { const Complex x = noise(r); return std::pair{x, -x}; }, 40,
         {1.0f, 0.0f, 0.0f, 1.0f}, 1e-3f},
        // Bin 29: 5 kHz, where half a millisecond turns R by 5π (anti-phase):
        // the phase slope says time difference, not surround.
        {"R 0.5 ms later", [&](int k, std::mt19937& r) { const Complex x = noise(r); return std::pair{x, x * delayed(k)}; },
         29, {1.0f, 0.0f, 1.0f, 0.0f}, 0.05f},
        {"independent", [&](int, std::mt19937& r) { return std::pair{noise(r), noise(r)}; }, 40,
         {0.0f, NAN, NAN, NAN}, 0.15f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Scene s = steadyScene(c.bin, c.watched);
        EXPECT_NEAR(s.share, c.expected.share, c.tolerance);
        if (std::isnan(c.expected.front)) continue;
        EXPECT_NEAR(s.front * s.front, c.expected.front, c.tolerance);
        EXPECT_NEAR(s.sides * s.sides, c.expected.sides, c.tolerance);
        EXPECT_NEAR(s.rear * s.rear, c.expected.rear, c.tolerance);
    }
}

// Each side's ambience alone on its buses, through every layout: the
// layout's fold-down (its speakers' ITU weights) gives each side back, and
// the power is what came in.
TEST(LayoutRouting, EveryLayoutFoldsTheAmbienceBackToEachSide) {
    const Complex ambienceLeft(0.3f, -0.7f), ambienceRight(-0.2f, 0.1f);
    for (const SpeakerLayout& layout : speakerLayouts()) {
        SCOPED_TRACE(layout.name);
        const LayoutRouting routing(layout, 64);
        const SurroundSplit split = routing.split();
        for (int parity = 0; parity < 2; ++parity) {
            std::array<Complex, kMostSpeakers> speaker{};
            for (const LayoutRouting::Term& term : routing.terms(parity)) {
                Complex bus;
                if (term.bus == BusAmbientFrontL) bus = split.ambienceFront * ambienceLeft;
                if (term.bus == BusAmbientFrontR) bus = split.ambienceFront * ambienceRight;
                if (term.bus == BusAmbientL) bus = split.ambienceRear * ambienceLeft;
                if (term.bus == BusAmbientR) bus = split.ambienceRear * ambienceRight;
                speaker[static_cast<std::size_t>(term.channel)] += term.gain * bus;
            }
            Complex foldLeft, foldRight;
            float power = 0.0f;
            for (int c = 0; c < layout.count; ++c) {
                const SpeakerPosition& p = layout.speakers[static_cast<std::size_t>(c)];
                foldLeft += static_cast<float>(p.foldLeft) * speaker[static_cast<std::size_t>(c)];
                foldRight += static_cast<float>(p.foldRight) * speaker[static_cast<std::size_t>(c)];
                power += std::norm(speaker[static_cast<std::size_t>(c)]);
            }
            EXPECT_NEAR(std::abs(foldLeft - ambienceLeft), 0.0f, 1e-5f);
            EXPECT_NEAR(std::abs(foldRight - ambienceRight), 0.0f, 1e-5f);
            EXPECT_NEAR(power, std::norm(ambienceLeft) + std::norm(ambienceRight), 1e-5f);
        }
    }
}

TEST(PeakLimiter, NoSamplePassesTheCeilingAndQuietSoundPassesUntouched) {
    constexpr std::size_t kHop = 512, kLookahead = 88, kChannels = 3;
    std::mt19937 random(7);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    const struct {
        const char* name;
        float level;  // RMS of the noise, and of one burst in four hops
        float burst;
    } cases[] = {{"quiet: bit for bit", 0.1f, 0.2f}, {"bursts far over full scale", 0.1f, 20.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PeakLimiter limiter(kChannels, kLookahead, 0.08 * 44100.0);
        std::vector<float> in, out;
        for (int hop = 0; hop < 200; ++hop) {
            std::vector<float> block(kChannels * kHop);
            for (float& x : block) x = normal(random) * (hop % 4 == 3 ? c.burst : c.level);
            in.insert(in.end(), block.begin(), block.end());
            limiter.process(block.data(), kHop, kHop, true);
            out.insert(out.end(), block.begin(), block.end());
        }
        float peak = 0.0f;
        for (float x : out) peak = std::max(peak, std::fabs(x));
        EXPECT_LE(peak, kLimiterCeiling);
        if (c.burst * 5.0f < kLimiterCeiling) {
            // Channel 0 of hop h holds samples h·hop·channels .. + hop.
            for (std::size_t t = kLookahead; t < 200 * kHop; ++t) {
                const auto at = [&](std::size_t s) { return (s / kHop) * kChannels * kHop + s % kHop; };
                ASSERT_EQ(out[at(t)], in[at(t - kLookahead)]) << "sample " << t;
            }
            EXPECT_EQ(limiter.limitedSamples(), 0u);
        } else {
            EXPECT_GT(limiter.limitedSamples(), 0u);
        }
    }
}

// A bass-heavy bed (white noise plus a loud low-passed part, whose power
// swings within each of its slow periods) over which things begin; the
// onsets found after the first 2048 samples, fed in hops of 512.
TEST(InputOnsets, FindsANewHitAndNotASoundsOwnPeaksOrABassWave) {
    constexpr std::size_t kLength = 44100, kHop = 512, kStart = 2048;
    constexpr uint64_t kHit = 20000;
    const auto castanet = [](std::vector<float>& x, uint64_t at, float peak) {
        std::mt19937 random(3);
        std::normal_distribution<float> normal(0.0f, 1.0f);
        float high = 0.0f;  // a first difference of noise: its energy is high up
        for (std::size_t i = 0; i < 1323 && at + i < x.size(); ++i) {
            const float n = normal(random);
            x[at + i] += peak * 0.3f * (n - high) * std::exp(-static_cast<float>(i) / 176.0f);
            high = n;
        }
    };
    const struct {
        const char* name;
        std::function<void(std::vector<float>&)> add;
        std::vector<uint64_t> onsets;
    } cases[] = {
        {"the bed alone", [](std::vector<float>&) {}, {}},
        {"a castanet", [&](std::vector<float>& x) { castanet(x, kHit, 0.5f); }, {kHit}},
        {"two castanets 30 ms apart: one onset", [&](std::vector<float>& x) {
             castanet(x, kHit, 0.5f);
             castanet(x, kHit + 1323, 0.5f);
         }, {kHit}},
        {"a pulse train of 100 Hz (a voice's glottal pulses): its first pulse", [](std::vector<float>& x) {
             for (std::size_t t = kHit; t < kLength; t += 441) x[t] += 0.5f;
         }, {kHit}},
        {"a loud 60 Hz tone that begins abruptly", [](std::vector<float>& x) {
             for (std::size_t t = kHit; t < kLength; ++t)
                 x[t] += 0.5f * std::sin(2.0f * std::numbers::pi_v<float> * 60.0f * static_cast<float>(t - kHit) / 44100.0f);
         }, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::mt19937 random(11);
        std::normal_distribution<float> normal(0.0f, 1.0f);
        std::vector<float> left(kLength), right(kLength);
        float bass = 0.0f;
        for (std::size_t t = 0; t < kLength; ++t) {
            bass += 0.002f * (normal(random) - bass);
            left[t] = 0.01f * normal(random) + 2.0f * bass;
            right[t] = 0.01f * normal(random) + 2.0f * bass;
        }
        c.add(left);
        c.add(right);
        InputOnsets onsets(44100.0);
        std::vector<uint64_t> found;
        for (std::size_t at = 0; at + kHop <= kLength; at += kHop) {
            HopOnsets hop;
            onsets.find(left.data() + at, right.data() + at, kHop, at, hop);
            for (std::size_t i = 0; i < hop.count; ++i)
                if (hop.at[i] >= kStart) found.push_back(hop.at[i]);
        }
        EXPECT_EQ(found, c.onsets);
    }
}

// One channel of steady noise and a 50 Hz tone, and before an onset a
// burst of ringing in its last 2 ms; a second channel, ungated, the same.
// The gate takes most of the ringing away, and leaves every sample outside
// the window, the ungated channel and a window with no ringing bit for bit
// as they were.
TEST(PreEchoGate, HoldsTheRingingBeforeAnOnsetAndTouchesNothingElse) {
    constexpr std::size_t kHop = 512, kLength = 8 * kHop, kChannels = 2;
    const struct {
        const char* name;
        uint64_t onset;
        float ringing;  // amplitude of the ringing against the noise's
    } cases[] = {{"ringing 20 dB over the noise", 2500, 10.0f},
                 {"the same across two hops", 2048 + 40, 10.0f},
                 {"no ringing: untouched", 2500, 1.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::mt19937 random(5);
        std::normal_distribution<float> normal(0.0f, 0.05f);
        std::vector<float> in(kChannels * kLength);  // channel-major
        const std::size_t ringFrom = c.onset - 88;
        for (std::size_t t = 0; t < kLength; ++t) {
            const float tone = 0.3f * std::sin(2.0f * std::numbers::pi_v<float> * 50.0f * static_cast<float>(t) / 44100.0f);
            const float noise = normal(random) * (t >= ringFrom && t < c.onset ? c.ringing : 1.0f);
            for (std::size_t ch = 0; ch < kChannels; ++ch) in[ch * kLength + t] = tone + noise;
        }
        PreEchoGate gate(static_cast<int>(kChannels), 1, 44100.0, kHop);
        gate.expect(c.onset);
        std::vector<float> out(kChannels * kLength), block(kChannels * kHop);
        for (std::size_t at = 0; at < kLength; at += kHop) {
            for (std::size_t ch = 0; ch < kChannels; ++ch)
                std::copy_n(in.begin() + static_cast<std::ptrdiff_t>(ch * kLength + at), kHop, block.begin() + static_cast<std::ptrdiff_t>(ch * kHop));
            gate.process(block.data(), kHop, kHop);
            for (std::size_t ch = 0; ch < kChannels; ++ch)
                std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(ch * kHop), kHop, out.begin() + static_cast<std::ptrdiff_t>(ch * kLength + at));
        }
        const std::size_t windowFrom = c.onset - 132;  // 3 ms
        for (std::size_t i = 0; i < out.size(); ++i) {
            const std::size_t t = i % kLength;
            const bool gated = i < kLength && t >= windowFrom && t < c.onset && c.ringing > 1.0f;
            if (!gated) {
                ASSERT_EQ(out[i], in[i]) << "sample " << t << " of channel " << i / kLength;
            }
        }
        if (c.ringing > 1.0f) {
            // The ringing (the output less the tone) against what came in:
            // at least 12 dB of it taken away.
            double came = 0.0, left = 0.0;
            for (std::size_t t = ringFrom; t < c.onset; ++t) {
                const double x = 0.3 * std::sin(2.0 * std::numbers::pi * 50.0 * static_cast<double>(t) / 44100.0);
                came += (in[t] - x) * (in[t] - x);
                left += (out[t] - x) * (out[t] - x);
            }
            EXPECT_LT(left, 0.063 * came);
        }
    }
}

// Onset bands of a 2048-point FFT at 44.1 kHz, hop 512, fed frames whose
// bins have a band's amplitude and random phases, so that each band's
// energy is exactly the level asked of it.
struct BandFeeder {
    static constexpr int kBins = 1025, kFft = 2048, kHop = 512;
    static constexpr double kRate = 44100.0;
    OnsetBands onsets{kBins, kFft, kHop, 4, kRate};
    std::mt19937 random{3};
    std::vector<Complex> left = std::vector<Complex>(kBins), right = std::vector<Complex>(kBins);
    // Settled on a steady sound of unit amplitude in every band.
    BandFeeder() {
        onsets.setSteadyWeights(smoothingWeight(0.1, kHop, kRate), smoothingWeight(0.4, kHop, kRate));
        for (int i = 0; i < 300; ++i) frame([](std::size_t) { return 1.0f; });
    }
    void frame(const std::function<float(std::size_t band)>& amplitude) {
        std::uniform_real_distribution<float> turn(0.0f, 2.0f * std::numbers::pi_v<float>);
        for (std::size_t b = 0; b < onsets.bandCount(); ++b) {
            const auto [first, end] = onsets.bandBins(b);
            for (std::size_t k = first; k < end; ++k) {
                left[k] = std::polar(amplitude(b), turn(random));
                right[k] = std::polar(amplitude(b), turn(random));
            }
        }
        onsets.update(left.data(), right.data());
    }
    bool inEvent(std::size_t band) const { return onsets.inEvent()[onsets.bandBins(band).first] != 0; }
};

// A steady sound in every band, then a hit that lifts the top `risen` bands
// eightfold for `frames` frames while one low band plays at `lowScale` times
// its amplitude: whether the low band is rendered as part of the hit in the
// last frame.
TEST(OnsetBands, AHitAcrossTheSpectrumTakesTheBandsItBarelyLifts) {
    const struct {
        const char* name;
        std::size_t risen;
        float lowScale;
        int frames;
        bool lowInEvent;
    } cases[] = {
        {"a hit in two bands only", 2, 1.0f, 1, false},
        {"a hit across the spectrum", 12, 1.0f, 1, true},
        {"... where the low band has just fallen", 12, 0.8f, 1, false},
        {"... which the low band stays in while the hit lasts in many bands", 12, 1.2f, 8, true},
        {"... and lets go when the frames holding a hit in fewer bands have passed", 8, 1.2f, 8, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BandFeeder feeder;
        const std::size_t bands = feeder.onsets.bandCount();
        ASSERT_GT(bands, c.risen + 6);
        const std::size_t low = 6;
        for (int i = 0; i < c.frames; ++i) {
            feeder.frame([&](std::size_t b) {
                if (b >= bands - c.risen) return std::sqrt(8.0f);
                return b == low ? c.lowScale : 1.0f;
            });
        }
        EXPECT_TRUE(feeder.inEvent(bands - 1));
        EXPECT_EQ(feeder.inEvent(low), c.lowInEvent);
    }
}

// A hit in the top bands over a steady sound, its power falling with time
// constant `decay`: whether the top band is still rendered as the hit
// `seconds` after its onset (a hit past 0.3 s that holds its level is a new
// steady sound; one dying away is its own ringing).
TEST(OnsetBands, AHitDyingAwayStaysAHitAndOneThatHoldsBecomesTheSteadySound) {
    const struct {
        const char* name;
        double peak, decay, seconds;
        bool inEvent;
    } cases[] = {
        {"a new sound that holds its level", 16.0, 1e9, 0.45, false},
        {"a held note, 1 dB down", 64.0, 2.0, 0.45, false},
        {"a kick's tail, 13 dB down and 6 dB over the bed", 64.0, 0.15, 0.45, true},
        {"... still ringing at 0.9 s", 4096.0, 0.15, 0.9, true},
        {"a hit 6 dB over the bed, dying away", 4.0, 0.15, 0.45, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BandFeeder feeder;
        const std::size_t bands = feeder.onsets.bandCount();
        const auto frames = static_cast<int>(c.seconds * BandFeeder::kRate / BandFeeder::kHop);
        for (int i = 0; i < frames; ++i) {
            const double hit = c.peak * std::exp(-i * BandFeeder::kHop / BandFeeder::kRate / c.decay);
            feeder.frame([&](std::size_t b) { return static_cast<float>(std::sqrt(1.0 + (b + 12 >= bands ? hit : 0.0))); });
        }
        EXPECT_EQ(feeder.inEvent(bands - 1), c.inEvent);
    }
}

TEST(CoherenceFloor, IsWhatIndependentFramesLeaveRaisedByTheirOverlap) {
    const std::vector<float> window(2048, 1.0f);
    // Frames that share nothing: a / (2 - a).
    EXPECT_NEAR(coherenceFloor(window, 2048, 0.2f), 0.2 / 1.8, 1e-6);
    // No averaging: any bin looks coherent.
    EXPECT_NEAR(coherenceFloor(window, 512, 1.0f), 1.0, 1e-6);
    // Overlap raises it; longer averages lower it; averaging bins lowers it.
    EXPECT_GT(coherenceFloor(window, 512, 0.2f), coherenceFloor(window, 2048, 0.2f));
    EXPECT_GT(coherenceFloor(window, 512, 0.2f), coherenceFloor(window, 512, 0.05f));
    EXPECT_LT(binAveragedFloor(0.2f, 9), binAveragedFloor(0.2f, 3));
    EXPECT_NEAR(smoothingWeight(0.1, 441, 44100.0), 1.0 - std::exp(-0.1), 1e-6);
}

TEST(LfeShares, FallTwoThirdsOfAnOctaveAboveTheCutoff) {
    std::vector<float> shares(1025);
    fillLfeShares(shares.data(), shares.size(), 120.0, 44100.0, 2048);
    EXPECT_NEAR(shares[0], 1.0f, 1e-6f);
    // Bin 10 is 215 Hz: 1 / sqrt(1 + (215/120)^24).
    EXPECT_LT(20.0 * std::log10(shares[10]), -60.0);
    fillLfeShares(shares.data(), shares.size(), 0.0, 44100.0, 2048);
    EXPECT_EQ(shares[0], 0.0f);
}

// A bin computed beside three others must come out bit for bit as one
// computed alone, and both as std:: would choose: the engine's per-bin code
// runs either way. NaN, signed zeros, infinities and subnormals included.
TEST(BinLanes, EachLaneChoosesAsOneBinAndAsStdDoes) {
    using lanes::Lanes;
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const std::vector<float> values{nan, -0.0f, 0.0f, 1.0f, -1.0f, 2.5f, inf, -inf, 1e-40f, 3.0e38f};
    auto bits = [](float v) {
        uint32_t b;
        std::memcpy(&b, &v, sizeof b);
        return b;
    };
    struct Case {
        const char* name;
        std::function<float(float, float)> one, reference;
        std::function<Lanes(Lanes, Lanes)> four;
    };
    const std::vector<Case> cases{
        {"min", [](float a, float b) { return lanes::minOf(a, b); }, [](float a, float b) { return std::min(a, b); },
         [](Lanes a, Lanes b) { return lanes::minOf(a, b); }},
        {"max", [](float a, float b) { return lanes::maxOf(a, b); }, [](float a, float b) { return std::max(a, b); },
         [](Lanes a, Lanes b) { return lanes::maxOf(a, b); }},
        {"clamp to [-1, b]",
         [](float a, float b) { return b < -1.0f ? 0.0f : lanes::clampOf(a, -1.0f, b); },
         [](float a, float b) { return b < -1.0f ? 0.0f : std::clamp(a, -1.0f, b); },
         [](Lanes a, Lanes b) {
             return lanes::select(b < -1.0f, Lanes{}, lanes::clampOf(a, lanes::splat<Lanes>(-1.0f), b));
         }},
        {"copysign", [](float a, float b) { return lanes::copySign(a, b); },
         [](float a, float b) { return std::copysign(a, b); }, [](Lanes a, Lanes b) { return lanes::copySign(a, b); }},
        {"abs", [](float a, float) { return lanes::absOf(a); }, [](float a, float) { return std::fabs(a); },
         [](Lanes a, Lanes) { return lanes::absOf(a); }},
        {"sqrt", [](float a, float) { return lanes::sqrtOf(a); }, [](float a, float) { return std::sqrt(a); },
         [](Lanes a, Lanes) { return lanes::sqrtOf(a); }},
        {"select a > b",
         [](float a, float b) { return lanes::select((a > b) & lanes::notMask(a != a), a, b); },
         [](float a, float b) { return a > b && !std::isnan(a) ? a : b; },
         [](Lanes a, Lanes b) { return lanes::select((a > b) & lanes::notMask(a != a), a, b); }},
    };
    for (const Case& c : cases) {
        for (float a : values) {
            // b takes four values at once: each lane is one bin.
            for (std::size_t first = 0; first + 4 <= values.size(); ++first) {
                Lanes as = lanes::splat<Lanes>(a), bs;
                for (int i = 0; i < 4; ++i) bs[i] = values[first + static_cast<std::size_t>(i)];
                const Lanes four = c.four(as, bs);
                for (int i = 0; i < 4; ++i) {
                    const float b = bs[i];
                    const float one = c.one(a, b), reference = c.reference(a, b);
                    const bool bothNan = std::isnan(one) && std::isnan(reference) && std::isnan(four[i]);
                    EXPECT_TRUE(bothNan || (bits(one) == bits(reference) && bits(four[i]) == bits(one)))
                        << c.name << "(" << a << ", " << b << "): one bin " << one << ", lane " << four[i] << ", std "
                        << reference;
                }
            }
        }
    }
}

}  // namespace
}  // namespace quorveil::spectral
