// SPDX-License-Identifier: GPL-3.0-or-later
// The scorecard's measures (bench/quality/ScorecardMeasures) read what they
// claim to: each runs on a made-up linear or plainly nonlinear "upmix" whose
// answer is known by construction, so a wrong window, polarity, channel or
// normalisation shows as a wrong number.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <numbers>

#include "bench/quality/ScorecardMeasures.h"

namespace quorveil::quality {
namespace {

constexpr float kHalf = static_cast<float>(1.0 / std::numbers::sqrt2);

Surround silence(const TestSignal& in) {
    Surround out;
    for (std::vector<float>& channel : out) channel.assign(in.left.size(), 0.0f);
    return out;
}

// x(t − samples), zeros outside (a negative delay is an advance).
float at(const std::vector<float>& x, std::size_t t, long samples) {
    const long from = static_cast<long>(t) - samples;
    return from >= 0 && from < static_cast<long>(x.size()) ? x[static_cast<std::size_t>(from)] : 0.0f;
}

Surround identity(const TestSignal& in) {
    Surround out = silence(in);
    out[FL] = in.left;
    out[FR] = in.right;
    return out;
}

// The passive decoder: sum to FC, difference behind (BR inverted).
Surround passive(const TestSignal& in) {
    Surround out = identity(in);
    for (std::size_t t = 0; t < in.left.size(); ++t) {
        out[FC][t] = kHalf * (in.left[t] + in.right[t]);
        out[BL][t] = kHalf * (in.left[t] - in.right[t]);
        out[BR][t] = -out[BL][t];
    }
    return out;
}

// A quarter of each side's power behind it.
Surround quarterBehind(const TestSignal& in) {
    Surround out = silence(in);
    for (std::size_t t = 0; t < in.left.size(); ++t) {
        out[FL][t] = std::sqrt(0.75f) * in.left[t];
        out[FR][t] = std::sqrt(0.75f) * in.right[t];
        out[BL][t] = 0.5f * in.left[t];
        out[BR][t] = 0.5f * in.right[t];
    }
    return out;
}

Surround rearsOnly(const TestSignal& in) {
    Surround out = silence(in);
    out[BL] = in.left;
    out[BR] = in.right;
    return out;
}

// Each front with a copy of itself at `gain`, `samples` later (earlier if
// negative); `rears` puts the copy in BL/BR instead.
template <long Samples, int GainPercent, bool Rears>
Surround echo(const TestSignal& in) {
    Surround out = identity(in);
    const float gain = GainPercent / 100.0f;
    for (std::size_t t = 0; t < in.left.size(); ++t) {
        const float left = gain * at(in.left, t, Samples), right = gain * at(in.right, t, Samples);
        if (Rears) {
            out[BL][t] = left;
            out[BR][t] = right;
        } else {
            out[FL][t] += left;
            out[FR][t] += right;
        }
    }
    return out;
}
// The copy √0.1 (−10 dB) in amplitude, 5 ms early.
Surround earlyCopy(const TestSignal& in) {
    Surround out = identity(in);
    for (std::size_t t = 0; t < in.left.size(); ++t) {
        out[FL][t] += std::sqrt(0.1f) * at(in.left, t, -220);
        out[FR][t] += std::sqrt(0.1f) * at(in.right, t, -220);
    }
    return out;
}

// FC takes the sum, 6 dB down while R and L differ and for `HoldMs` after.
template <int HoldMs>
Surround ducker(const TestSignal& in) {
    Surround out = identity(in);
    const long hold = HoldMs * 441 / 10;
    long lastDifferent = -1000000;
    for (std::size_t t = 0; t < in.left.size(); ++t) {
        if (in.left[t] != in.right[t]) lastDifferent = static_cast<long>(t);
        const float gain = static_cast<long>(t) - lastDifferent <= hold ? 0.5f : 1.0f;
        out[FC][t] = gain * kHalf * (in.left[t] + in.right[t]);
    }
    return out;
}

// FL's level swung by ±50% at 8 Hz.
Surround tremolo(const TestSignal& in) {
    Surround out = identity(in);
    for (std::size_t t = 0; t < in.left.size(); ++t) {
        const double swing = 1.0 + 0.5 * std::sin(2.0 * std::numbers::pi * 8.0 * static_cast<double>(t) / kSampleRate);
        out[FL][t] = static_cast<float>(swing * in.left[t]);
    }
    return out;
}

struct KnownAnswer {
    const char* what;
    Surround (*upmix)(const TestSignal&);
    double (*figure)(const Upmixer&);
    double low, high;
};

const KnownAnswer kKnownAnswers[] = {
    // transients: the hit's own rendering, not the bed's
    {"identity: nothing behind the click", identity,
     [](const Upmixer& u) { return measureTransients(u, clicksOverBed(3)).behindPercent; }, 0.0, 0.0},
    {"passive: the bed goes behind, the centred click does not", passive,
     [](const Upmixer& u) { return measureTransients(u, clicksOverBed(3)).behindPercent; }, 0.0, 1e-6},
    {"a quarter behind reads 25%", quarterBehind,
     [](const Upmixer& u) { return measureTransients(u, clicksOverBed(3)).behindPercent; }, 24.999, 25.001},
    {"a copy 10 dB down, 5 ms early, is a -10 dB pre-echo", earlyCopy,
     [](const Upmixer& u) { return measureTransients(u, clicksOverBed(3)).preEchoDb; }, -10.01, -9.99},
    {"identity: no pre-echo at all", identity,
     [](const Upmixer& u) { return measureTransients(u, castanetsOverBed(3)).preEchoDb; }, -300.0, -300.0},
    {"identity: no smearing", identity,
     [](const Upmixer& u) { return measureTransients(u, castanetsOverBed(3)).smearingDb; }, -1e-6, 1e-6},
    {"an echo 30 ms late smears the castanet", echo<1323, 50, false>,
     [](const Upmixer& u) { return measureTransients(u, castanetsOverBed(3)).smearingDb; }, 20.0, 60.0},
    // pumping and ambience under hits: the steady part's own rendering
    {"a linear upmix does not pump", passive,
     [](const Upmixer& u) { return measurePumping(u, pumpingNoise(3)).dipDb; }, -0.01, 0.01},
    {"ducking 6 dB through each burst: the dip", ducker<0>,
     [](const Upmixer& u) { return measurePumping(u, pumpingNoise(3)).dipDb; }, -6.03, -6.01},
    {"ducking through each burst: 250 ms below", ducker<0>,
     [](const Upmixer& u) { return measurePumping(u, pumpingNoise(3)).belowMs; }, 250.0, 250.0},
    {"ducking through each burst: back at its end", ducker<0>,
     [](const Upmixer& u) { return measurePumping(u, pumpingNoise(3)).recoveryMs; }, 0.0, 0.0},
    {"ducking held 100 ms past each burst: back 100 ms late", ducker<100>,
     [](const Upmixer& u) { return measurePumping(u, pumpingNoise(3)).recoveryMs; }, 100.0, 100.0},
    {"passive: decorrelated ambience keeps a fifth in FC under hits", passive,
     [](const Upmixer& u) { return measureAmbienceUnderHits(u, drumHitsOverAmbience(3)).centreAfterHitDb; },
     -8.0, -6.0},
    // warble
    {"identity: FL as steady as L", identity,
     [](const Upmixer& u) { return measureWarble(u, partlyCoherentNoise(4.0)).stdAboveInputDb[FL]; }, -1e-9, 1e-9},
    {"a tremolo in FL spreads its band levels", tremolo,
     [](const Upmixer& u) { return measureWarble(u, partlyCoherentNoise(4.0)).stdAboveInputDb[FL]; }, 0.5, 10.0},
    {"a tremolo in FL is a 4-32 Hz modulation", tremolo,
     [](const Upmixer& u) { return measureWarble(u, partlyCoherentNoise(4.0)).modulationAboveInputDb; }, 3.0, 40.0},
    {"passive: FC's partials as steady as L+R's", passive,
     [](const Upmixer& u) {
         const ChordFigures c = measureChord(u, chordOverAmbience(3.0));
         return c.highestStdDb - c.inputHighestStdDb;
     }, -0.01, 0.01},
    {"passive: every partial of the chord reaches FC", passive,
     [](const Upmixer& u) { return static_cast<double>(measureChord(u, chordOverAmbience(3.0)).partialsCounted); },
     13.0, 13.0},
    // spaced pair, matrix
    {"a quarter behind: 25% overall", quarterBehind,
     [](const Upmixer& u) { return measureSpacedPair(u, spacedPair(0.5, 3.0)).behindPercent; }, 24.999, 25.001},
    {"a quarter behind: 25% in the worst band", quarterBehind,
     [](const Upmixer& u) { return measureSpacedPair(u, spacedPair(0.5, 3.0)).worstBandPercent; }, 24.9, 25.1},
    {"passive decoder: C's separation 0 dB (less Welch's bias)", passive,
     [](const Upmixer& u) { return measureCoherentCentre(u, matrixFourSources(4.0)).separationDb; }, -0.4, 0.05},
    {"passive decoder: S alone 3 dB behind", passive,
     [](const Upmixer& u) { return measureBehindAgainstRest(u, matrixSurroundAlone(4.0).encoded); }, 3.0, 3.02},
    // fold-down
    {"identity folds down flat", identity,
     [](const Upmixer& u) {
         const TestSignal in = decorrelatedNoise(3 * 44100);
         return foldDownRippleDb(in, u.run(in, {}));
     }, 0.0, 1e-6},
    {"rears only fold down 3 dB under, bass too", rearsOnly,
     [](const Upmixer& u) {
         const TestSignal in = partlyCoherentNoise(3.0);
         return foldDownBassDb(in, u.run(in, {}));
     }, -3.02, -3.0},
    {"a 10 ms rear copy at half level combs the fold-down by about 6.3 dB", echo<441, 50, true>,
     [](const Upmixer& u) {
         const TestSignal in = decorrelatedNoise(6 * 44100);
         return foldDownRippleDb(in, u.run(in, {}));
     }, 5.5, 7.0},
};

void PrintTo(const KnownAnswer& known, std::ostream* out) { *out << known.what; }

class ScorecardMeasure : public ::testing::TestWithParam<KnownAnswer> {};

TEST_P(ScorecardMeasure, ReadsTheKnownAnswer) {
    const KnownAnswer& known = GetParam();
    Upmixer upmixer;
    upmixer.name = known.what;
    upmixer.run = [&known](const TestSignal& signal, const RunSettings&) { return known.upmix(signal); };
    const double value = known.figure(upmixer);
    EXPECT_GE(value, known.low) << known.what;
    EXPECT_LE(value, known.high) << known.what;
}

INSTANTIATE_TEST_SUITE_P(Measures, ScorecardMeasure, ::testing::ValuesIn(kKnownAnswers),
                         [](const ::testing::TestParamInfo<KnownAnswer>& info) {
                             std::string name;
                             for (const char* c = info.param.what; *c != '\0'; ++c) {
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             }
                             return name;
                         });

// FFmpeg's output comes back lined up with its input: a centred click
// comes out loudest where it went in.
TEST(ScorecardFfmpeg, LatencyIsTakenOut) {
    if (!ffmpegInstalled()) GTEST_SKIP() << "ffmpeg not installed";
    const std::filesystem::path scratch =
        std::filesystem::path(::testing::TempDir()) / ("scorecard-ffmpeg-" + std::to_string(::getpid()));
    std::filesystem::create_directories(scratch);
    const Upmixer ffmpeg = ffmpegUpmixer(scratch.string());
    TestSignal click;
    click.left.assign(44100, 0.0f);
    click.left[30000] = 0.5f;
    click.right = click.left;
    const Surround out = ffmpeg.run(click, {});
    ASSERT_EQ(out[FC].size(), click.left.size());
    std::size_t loudest = 0;
    for (std::size_t i = 0; i < out[FC].size(); ++i) {
        if (std::fabs(out[FC][i]) > std::fabs(out[FC][loudest])) loudest = i;
    }
    EXPECT_NEAR(static_cast<double>(loudest), 30000.0, 1.0);
    std::filesystem::remove_all(scratch);
}

}  // namespace
}  // namespace quorveil::quality
