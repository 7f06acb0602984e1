// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/Stft.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "host/hosting/Count.h"
#include "host/hosting/ProcessBuffers.h"
#include "compiler/VectorClones.h"

namespace quorveil::spectral {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

using host::count;

// A bin above about 1.8e19 squares past the float range, so the plain
// formula gives +inf for a finite sample near full float range. Such bins are
// measured again with the larger part factored out, as hypot does; every other
// bin keeps the plain formula's value bit for bit.
void rescaleOverflowedMagnitudes(const float* pairs, float scale, float* magnitude,
                                 std::size_t binCount) {
    for (std::size_t k = 0; k < binCount; ++k) {
        const float re = std::fabs(pairs[2 * k]), im = std::fabs(pairs[2 * k + 1]);
        if (magnitude[k] > FLT_MAX && re <= FLT_MAX && im <= FLT_MAX) {
            const float larger = std::max(re, im), ratio = std::min(re, im) / larger;
            magnitude[k] = larger * scale * std::sqrt(1.0f + ratio * ratio);
        }
    }
}

}  // namespace

std::string checkSettings(const StftSettings& settings) {
    const int n = settings.fftSize;
    if (n < 512 || n > 16384 || (n & (n - 1)) != 0) {
        return "FFT size " + std::to_string(n) +
               " is not one of 512, 1024, 2048, 4096, 8192, 16384";
    }
    const int v = settings.overlap;
    if (v != 2 && v != 4 && v != 8 && v != 16) {
        return "overlap " + std::to_string(v) + " is not one of 2, 4, 8, 16";
    }
    // Every buffer that lasts a time (delays, the averages' windows) is sized
    // by the rate: beyond this range a header's rate would only ask for
    // gigabytes. Written with %g, so that no rate is ever cast.
    if (!(settings.sampleRate >= kLowestSampleRate && settings.sampleRate <= kHighestSampleRate)) {
        char text[96];
        std::snprintf(text, sizeof text, "sample rate %.10g Hz is outside %.0f to %.0f Hz",
                      settings.sampleRate, kLowestSampleRate, kHighestSampleRate);
        return text;
    }
    return {};
}

int framesPerCall(const StftSettings& settings) { return std::max(1, 4096 / settings.hop()); }

plogue::biduleSDK::EngineInfo engineInfoFor(const StftSettings& settings, int frameCount) {
    return host::makeEngineInfo(settings.sampleRate, frameCount * settings.hop(), settings.fftSize,
                                settings.overlap, frameCount);
}

StftWindows::StftWindows(const StftSettings& settings)
    : analysis(count(settings.fftSize)), synthesis(count(settings.fftSize)) {
    const int n = settings.fftSize;
    const int hop = settings.hop();
    double windowSum = 0.0;
    for (int i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(kTwoPi * i / n);
        analysis[count(i)] = static_cast<float>(w);
        windowSum += w;
    }
    // A sine of amplitude A gives |X| = A * sum(w) / 2 in its peak bin.
    magnitudeScale = static_cast<float>(2.0 / windowSum);
    for (int i = 0; i < n; ++i) {
        double overlapping = 0.0;  // sum of w^2 over the frames that meet at i
        for (int j = i % hop; j < n; j += hop) {
            const double w = analysis[count(j)];
            overlapping += w * w;
        }
        // Undo the magnitude scale and FFTW's factor n on the round trip.
        synthesis[count(i)] = static_cast<float>(
            static_cast<double>(analysis[count(i)]) / overlapping / n / magnitudeScale);
    }
}

ChannelAnalyzer::ChannelAnalyzer(const StftSettings& settings, const StftWindows& windows,
                                 RealFft& fft)
    : settings_(settings), windows_(windows), fft_(fft), history_(count(settings.fftSize)),
      expectedStep_(count(settings.binCount())), binHz_(count(settings.binCount())),
      previous_(count(settings.binCount())) {
    for (int k = 0; k < settings.binCount(); ++k) {
        // Advance of bin k over one hop: 2 pi k hop / n = 2 pi k / overlap,
        // taken into (-pi, pi].
        double step = kTwoPi * static_cast<double>(k % settings.overlap) / settings.overlap;
        if (step > std::numbers::pi) step -= kTwoPi;
        expectedStep_[count(k)] = static_cast<float>(step);
        binHz_[count(k)] = static_cast<float>(k * settings.sampleRate / settings.fftSize);
    }
}

QUORVEIL_VECTOR_CLONES
void ChannelAnalyzer::analyse(const float* newSamples, float* magnitude, float* frequency,
                              std::complex<float>* spectrum) {
    const std::size_t n = history_.size();
    const std::size_t hop = count(settings_.hop());
    std::copy(history_.begin() + static_cast<std::ptrdiff_t>(hop), history_.end(), history_.begin());
    std::copy(newSamples, newSamples + hop, history_.end() - static_cast<std::ptrdiff_t>(hop));

    float* time = fft_.time();
    const float* window = windows_.analysis.data();
    for (std::size_t i = 0; i < n; ++i) {
        time[i] = history_[i] * window[i];
    }
    fft_.forward();

    const std::complex<float>* bins = fft_.spectrum();
    const std::size_t binCount = previous_.size();
    const float scale = windows_.magnitudeScale;
    std::copy(bins, bins + binCount, spectrum);
    const float* pairs = reinterpret_cast<const float*>(bins);
    int overflowed = 0;
    for (std::size_t k = 0; k < binCount; ++k) {
        const float re = pairs[2 * k], im = pairs[2 * k + 1];
        magnitude[k] = std::sqrt(re * re + im * im) * scale;
        overflowed |= magnitude[k] > FLT_MAX ? 1 : 0;
    }
    if (overflowed != 0) {
        rescaleOverflowedMagnitudes(pairs, scale, magnitude, binCount);
    }
    if (first_) {
        std::copy(binHz_.begin(), binHz_.end(), frequency);
    } else {
        // Hz per radian of deviation per hop: overlap / (2 pi) bins of sr / n Hz.
        const auto hzPerRadian = static_cast<float>(settings_.overlap / kTwoPi *
                                                    settings_.sampleRate / settings_.fftSize);
        constexpr float pi = std::numbers::pi_v<float>;
        constexpr float twoPi = 2.0f * std::numbers::pi_v<float>;
        // Plain float pairs and selects instead of branches: the loop vectorises.
        const float* now = reinterpret_cast<const float*>(bins);
        const float* before = reinterpret_cast<const float*>(previous_.data());
        const float* expected = expectedStep_.data();
        const float* centre = binHz_.data();
        for (std::size_t k = 0; k < binCount; ++k) {
            // The measured advance is the angle of X(t) times conj(X(t - hop)).
            const float xr = now[2 * k], xi = now[2 * k + 1];
            const float pr = before[2 * k], pi_ = before[2 * k + 1];
            const float re = xr * pr + xi * pi_;
            const float im = xi * pr - xr * pi_;
            float deviation = phaseAngle(im, re) - expected[k];
            deviation -= deviation > pi ? twoPi : 0.0f;
            deviation += deviation <= -pi ? twoPi : 0.0f;
            frequency[k] = centre[k] + deviation * hzPerRadian;
        }
    }
    std::copy(bins, bins + binCount, previous_.begin());
    first_ = false;
}

void ChannelAnalyzer::reset() {
    std::fill(history_.begin(), history_.end(), 0.0f);
    std::fill(previous_.begin(), previous_.end(), std::complex<float>());
    first_ = true;
}

void unitPhasors(const std::complex<float>* spectrum, std::complex<float>* phasors, int bins) {
    const float* in = reinterpret_cast<const float*>(spectrum);
    float* out = reinterpret_cast<float*>(phasors);
    for (std::size_t k = 0; k < count(bins); ++k) {
        const float re = in[2 * k], im = in[2 * k + 1];
        const float length = std::sqrt(re * re + im * im);
        // A bin of zero has re = im = 0 and takes phase 0 from the added 1.
        const float inverse = 1.0f / std::max(length, FLT_MIN);
        out[2 * k] = re * inverse + (length > 0.0f ? 0.0f : 1.0f);
        out[2 * k + 1] = im * inverse;
    }
}

ChannelSynthesizer::ChannelSynthesizer(const StftSettings& settings, const StftWindows& windows,
                                       RealFft& fft)
    : settings_(settings), windows_(windows), fft_(fft), accumulator_(count(settings.fftSize)) {}

void ChannelSynthesizer::synthesise(const float* magnitude, const std::complex<float>* phasor,
                                    float* out) {
    std::complex<float>* bins = fft_.spectrum();
    const std::size_t binCount = count(settings_.binCount());
    for (std::size_t k = 0; k < binCount; ++k) {
        bins[k] = std::complex<float>(phasor[k].real() * magnitude[k], phasor[k].imag() * magnitude[k]);
    }
    fft_.inverse();
    overlapAdd(fft_.time(), out);
}

void ChannelSynthesizer::synthesiseBins(const std::complex<float>* bins, float* out) {
    std::copy(bins, bins + settings_.binCount(), fft_.spectrum());
    fft_.inverse();
    overlapAdd(fft_.time(), out);
}

void ChannelSynthesizer::synthesiseSilence(float* out) { overlapAdd(nullptr, out); }

void ChannelSynthesizer::reset() { std::fill(accumulator_.begin(), accumulator_.end(), 0.0f); }

QUORVEIL_VECTOR_CLONES
void ChannelSynthesizer::overlapAdd(const float* frame, float* out) {
    const std::size_t n = accumulator_.size();
    const std::size_t hop = count(settings_.hop());
    if (frame != nullptr) {
        const float* window = windows_.synthesis.data();
        for (std::size_t i = 0; i < n; ++i) {
            accumulator_[i] += frame[i] * window[i];
        }
    }
    std::copy(accumulator_.begin(), accumulator_.begin() + static_cast<std::ptrdiff_t>(hop), out);
    std::copy(accumulator_.begin() + static_cast<std::ptrdiff_t>(hop), accumulator_.end(),
              accumulator_.begin());
    std::fill(accumulator_.end() - static_cast<std::ptrdiff_t>(hop), accumulator_.end(), 0.0f);
}

}  // namespace quorveil::spectral
