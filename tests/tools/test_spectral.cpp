// SPDX-License-Identifier: GPL-3.0-or-later
// The host's STFT path: settings checks, the engine settings modules see,
// perfect reconstruction of unchanged magnitudes, latency compensation and
// the phase-vocoder frequency estimate.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "host/spectral/SpectralStream.h"

namespace quorveil::spectral {
namespace {

// Collects everything the stream delivers, one vector per output.
struct Recorder : SpectralGraph {
    std::vector<std::vector<float>> channels;
    std::function<void(SpectralStream&)> onFrames;

    explicit Recorder(int outputs) : channels(static_cast<std::size_t>(outputs)) {}
    void processFrames(SpectralStream& stream) override { onFrames(stream); }
    void deliver(const float* const* data, std::size_t count) override {
        for (std::size_t o = 0; o < channels.size(); ++o) {
            channels[o].insert(channels[o].end(), data[o], data[o] + count);
        }
    }
};

// Reads interleaved channels from memory in uneven pieces, as files do at the end.
SpectralStream::Reader readerOf(const std::vector<std::vector<float>>& channels) {
    auto position = std::make_shared<std::size_t>(0);
    return [&channels, position](float* interleaved, std::size_t frames) {
        const std::size_t left = channels[0].size() - *position;
        const std::size_t n = std::min({frames, left, std::size_t{1000}});
        for (std::size_t t = 0; t < n; ++t) {
            for (std::size_t c = 0; c < channels.size(); ++c) {
                interleaved[t * channels.size() + c] = channels[c][*position + t];
            }
        }
        *position += n;
        return n;
    };
}

std::vector<float> noise(std::size_t length, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
    std::vector<float> samples(length);
    for (float& s : samples) s = uniform(random);
    return samples;
}

double errorDb(const std::vector<float>& expected, const std::vector<float>& actual) {
    double signal = 0.0, error = 0.0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        signal += static_cast<double>(expected[i]) * expected[i];
        const double d = static_cast<double>(actual[i]) - expected[i];
        error += d * d;
    }
    return 10.0 * std::log10(error / signal);
}

void copyMagnitudes(SpectralStream& stream, int from, int to) {
    const auto& engine = stream.engine();
    for (int f = 0; f < engine.frameCount; ++f) {
        std::copy_n(stream.magnitudes().frame(from, f), engine.binCount,
                    stream.outputs().frame(to, f));
    }
}

TEST(StftSettings, AcceptsTheListedSizesOverlapsAndRatesOnly) {
    const struct {
        int fftSize, overlap;
        double rate;
        bool ok;
    } cases[] = {
        {512, 2, 8000, true},     {16384, 16, 192000, true}, {2048, 4, 44100, true},
        {256, 4, 44100, false},   {32768, 4, 44100, false},  {3000, 4, 44100, false},
        {2048, 3, 44100, false},  {2048, 1, 44100, false},   {2048, 32, 44100, false},
        {2048, 4, 7999, false},   {2048, 4, 0, false},       {2048, 4, NAN, false},
        {2048, 4, 768000, true},  {2048, 4, 768001, false},  {2048, 4, 2147483647.0, false},
        {2048, 4, 1e300, false},  {2048, 4, INFINITY, false}, {2048, 4, -1e300, false},
    };
    for (const auto& c : cases) {
        const std::string message = checkSettings({c.rate, c.fftSize, c.overlap});
        EXPECT_EQ(message.empty(), c.ok) << c.fftSize << "/" << c.overlap << "@" << c.rate;
        EXPECT_EQ(message.find('\n'), std::string::npos);
    }
    // The rate as the header gave it, whatever it is.
    EXPECT_EQ(checkSettings({2147483647.0, 2048, 4}),
              "sample rate 2147483647 Hz is outside 8000 to 768000 Hz");
    EXPECT_EQ(checkSettings({1e300, 2048, 4}), "sample rate 1e+300 Hz is outside 8000 to 768000 Hz");
    EXPECT_EQ(checkSettings({NAN, 2048, 4}), "sample rate nan Hz is outside 8000 to 768000 Hz");
}

TEST(StftSettings, EngineInfoCarriesTheSpectralLayout) {
    const StftSettings settings{48000.0, 4096, 8};
    const auto engine = engineInfoFor(settings, framesPerCall(settings));
    EXPECT_EQ(engine.sampleRate, 48000.0);
    EXPECT_EQ(engine.fftSize, 4096);
    EXPECT_EQ(engine.binCount, 2049);
    EXPECT_EQ(engine.overlap, 8);
    EXPECT_EQ(engine.frameCount, 8);
    EXPECT_EQ(engine.blockSize, 8 * 512);
    EXPECT_EQ(framesPerCall({44100.0, 16384, 2}), 1);  // one hop is longer than a call
}

TEST(PhaseAngle, FollowsAtan2AllRoundTheCircle) {
    double worst = 0.0;
    for (int i = 0; i < 3600; ++i) {
        const double angle = -std::numbers::pi + (i + 0.5) * (2.0 * std::numbers::pi / 3600);
        for (double radius : {1e-20, 1e-3, 1.0, 1e6}) {
            const auto x = static_cast<float>(radius * std::cos(angle));
            const auto y = static_cast<float>(radius * std::sin(angle));
            worst = std::max(worst, std::fabs(static_cast<double>(phaseAngle(y, x)) -
                                              std::atan2(static_cast<double>(y), x)));
        }
    }
    EXPECT_LT(worst, 2e-5);
    const struct {
        float y, x, angle;
    } axes[] = {{0, 0, 0}, {0, 1, 0}, {1, 0, std::numbers::pi_v<float> / 2},
                {0, -1, std::numbers::pi_v<float>}, {-1, 0, -std::numbers::pi_v<float> / 2}};
    for (const auto& a : axes) EXPECT_NEAR(phaseAngle(a.y, a.x), a.angle, 1e-6f) << a.y << "," << a.x;
}

TEST(SpectralStream, UnchangedMagnitudesGiveTheInputBackAlignedAndFullLength) {
    const struct {
        int fftSize, overlap;
        std::size_t length;
    } cases[] = {
        {512, 2, 20000}, {1024, 8, 9999}, {2048, 4, 44100}, {4096, 16, 30001}, {16384, 2, 50000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.fftSize) + "/" + std::to_string(c.overlap));
        const std::vector<std::vector<float>> input{noise(c.length, 1), noise(c.length, 2)};
        // Outputs: L, R, and L+R (its own magnitude with the L+R phase).
        SpectralStream stream({44100.0, c.fftSize, c.overlap}, 2,
                              {{{1, 0}}, {{0, 1}}, {{1, 1}}});
        Recorder recorder(3);
        recorder.onFrames = [](SpectralStream& s) {
            copyMagnitudes(s, 0, 0);
            copyMagnitudes(s, 1, 1);
            const auto& engine = s.engine();
            const float scale = 2.0f / (0.5f * static_cast<float>(engine.fftSize));
            for (int f = 0; f < engine.frameCount; ++f) {
                for (int k = 0; k < engine.binCount; ++k) {
                    s.outputs().frame(2, f)[k] = std::abs(s.spectrum(0, f)[k] + s.spectrum(1, f)[k]) * scale;
                }
            }
        };
        EXPECT_EQ(stream.run(readerOf(input), recorder), c.length);
        std::vector<float> sum(c.length);
        for (std::size_t i = 0; i < c.length; ++i) sum[i] = input[0][i] + input[1][i];
        for (const auto& channel : recorder.channels) ASSERT_EQ(channel.size(), c.length);
        EXPECT_LT(errorDb(input[0], recorder.channels[0]), -90.0);
        EXPECT_LT(errorDb(input[1], recorder.channels[1]), -90.0);
        EXPECT_LT(errorDb(sum, recorder.channels[2]), -90.0);
    }
}

TEST(SpectralStream, SilentOutputsAndEmptyInputsStaySilent) {
    SpectralStream stream({44100.0, 1024, 4}, 1, {{{0}}, {{1}}});
    Recorder recorder(2);
    recorder.onFrames = [](SpectralStream& s) { copyMagnitudes(s, 0, 0); copyMagnitudes(s, 0, 1); };
    const std::vector<std::vector<float>> input{noise(5000, 3)};
    ASSERT_EQ(stream.run(readerOf(input), recorder), 5000u);
    for (float s : recorder.channels[0]) ASSERT_EQ(s, 0.0f);

    SpectralStream empty({44100.0, 1024, 4}, 1, {{{1}}});
    Recorder nothing(1);
    nothing.onFrames = [](SpectralStream& s) { copyMagnitudes(s, 0, 0); };
    const std::vector<std::vector<float>> none{{}};
    EXPECT_EQ(empty.run(readerOf(none), nothing), 0u);
    EXPECT_TRUE(nothing.channels[0].empty());
}

TEST(SpectralStream, PhaseVocoderFindsASteadyToneWithinHalfAHertz) {
    const struct {
        double rate, hz;
        int fftSize, overlap;
    } cases[] = {
        {44100, 1000, 2048, 4}, {44100, 1000, 512, 2}, {48000, 1000, 4096, 16},
        {44100, 1000, 16384, 8}, {8000, 1000, 1024, 2}, {96000, 1234.5, 2048, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.fftSize) + "/" + std::to_string(c.overlap) + "@" +
                     std::to_string(c.rate));
        const std::size_t length = static_cast<std::size_t>(c.rate);
        std::vector<std::vector<float>> input{std::vector<float>(length)};
        for (std::size_t i = 0; i < length; ++i) {
            input[0][i] = static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * c.hz * i / c.rate));
        }
        SpectralStream stream({c.rate, c.fftSize, c.overlap}, 1, {{{1}}});
        Recorder recorder(1);
        const int hop = c.fftSize / c.overlap;
        int framesSeen = 0, framesChecked = 0;
        recorder.onFrames = [&](SpectralStream& s) {
            copyMagnitudes(s, 0, 0);
            for (int f = 0; f < s.engine().frameCount; ++f, ++framesSeen) {
                // Only frames whose window, and the one before, lie wholly
                // inside the tone.
                const long long end = static_cast<long long>(framesSeen + 1) * hop;
                if (end < c.fftSize + hop || end > static_cast<long long>(length)) continue;
                const float* magnitude = s.magnitudes().frame(0, f);
                const int peak = static_cast<int>(
                    std::max_element(magnitude, magnitude + s.engine().binCount) - magnitude);
                EXPECT_NEAR(s.frequencies().frame(0, f)[peak], c.hz, 0.5);
                EXPECT_NEAR(magnitude[peak], 0.5, 0.1);  // within the Hann scalloping loss
                ++framesChecked;
            }
        };
        stream.run(readerOf(input), recorder);
        EXPECT_GT(framesChecked, 0);
    }
}

}  // namespace
}  // namespace quorveil::spectral
