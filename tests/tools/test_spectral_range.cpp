// SPDX-License-Identifier: GPL-3.0-or-later
// The analysis keeps every finite input finite: a bin's magnitude never
// overflows on the way through its square, and for ordinary levels it is
// bit for bit the plain formula.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "host/spectral/Stft.h"

namespace quorveil::spectral {
namespace {

struct Analysis {
    std::vector<float> magnitude, frequency;
    std::vector<std::complex<float>> spectrum;
};

// Analyses `samples` hop by hop; returns the last frame.
Analysis analyse(const StftSettings& settings, const std::vector<float>& samples) {
    StftWindows windows(settings);
    RealFft fft(settings.fftSize);
    ChannelAnalyzer analyzer(settings, windows, fft);
    const auto bins = static_cast<std::size_t>(settings.binCount());
    Analysis result{std::vector<float>(bins), std::vector<float>(bins),
                    std::vector<std::complex<float>>(bins)};
    const auto hop = static_cast<std::size_t>(settings.hop());
    for (std::size_t at = 0; at + hop <= samples.size(); at += hop) {
        analyzer.analyse(samples.data() + at, result.magnitude.data(), result.frequency.data(),
                         result.spectrum.data());
    }
    return result;
}

// A bin above about 1.8e19 squares past the float range. (Above about half
// the float range FFTW's own sums overflow first: those frames are the
// writer's last guard's to catch.)
TEST(SpectralRange, AHugeFiniteSampleGivesFiniteMagnitudes) {
    const StftSettings settings{44100.0, 2048, 4};
    for (const float huge : {1.6e38f, -1.5e38f, 1.0e30f, 2.0e19f}) {
        SCOPED_TRACE(huge);
        std::vector<float> samples(2048, 0.0f);
        samples[1024] = huge;  // at the top of the window
        const Analysis a = analyse(settings, samples);
        const float scale = StftWindows(settings).magnitudeScale;
        for (std::size_t k = 0; k < a.magnitude.size(); ++k) {
            ASSERT_TRUE(std::isfinite(a.magnitude[k])) << "bin " << k;
            const double expected = std::hypot(static_cast<double>(a.spectrum[k].real()),
                                               static_cast<double>(a.spectrum[k].imag())) *
                                    scale;
            ASSERT_NEAR(a.magnitude[k], expected, 1e-6 * std::fabs(expected)) << "bin " << k;
        }
    }
}

TEST(SpectralRange, OrdinaryLevelsKeepThePlainFormulaBitForBit) {
    const StftSettings settings{48000.0, 1024, 4};
    std::mt19937 random(3);
    for (const float level : {1e-30f, 1e-3f, 1.0f, 1e6f}) {
        std::uniform_real_distribution<float> uniform(-level, level);
        std::vector<float> samples(4096);
        for (float& s : samples) s = uniform(random);
        const Analysis a = analyse(settings, samples);
        const float scale = StftWindows(settings).magnitudeScale;
        for (std::size_t k = 0; k < a.magnitude.size(); ++k) {
            const float re = a.spectrum[k].real(), im = a.spectrum[k].imag();
            ASSERT_EQ(a.magnitude[k], std::sqrt(re * re + im * im) * scale)
                << "level " << level << " bin " << k;
        }
    }
}

}  // namespace
}  // namespace quorveil::spectral
