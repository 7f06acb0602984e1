// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/cli/DemoSignal.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

namespace quorveil::cli {

std::size_t DemoSignal::read(float* interleaved, std::size_t frames) {
    constexpr double pi = std::numbers::pi;
    const std::size_t n = std::min(frames, kLength - position_);
    // A minor arpeggio, one note every 0.3 s, four harmonics, plucked.
    constexpr double notes[] = {220.0, 261.63, 329.63, 440.0, 329.63, 261.63};
    constexpr double noteSeconds = 0.3;
    for (std::size_t i = 0; i < n; ++i, ++position_) {
        const double t = static_cast<double>(position_) / kSampleRate;
        const auto note = static_cast<std::size_t>(t / noteSeconds);
        const double since = t - static_cast<double>(note) * noteSeconds;
        const double hz = notes[note % std::size(notes)];
        const double envelope = std::min(1.0, since / 0.005) * std::exp(-since * 6.0);
        double tone = 0.0;
        for (int h = 1; h <= 4; ++h) tone += std::sin(2.0 * pi * hz * h * since) / h;
        const double source = 0.1 * envelope * tone;

        // Hard right for 2 s, across to hard left by 10 s, then held there.
        const double p = std::clamp((t - 2.0) / 8.0, 0.0, 1.0);
        const double left = std::sin(p * pi / 2.0), right = std::cos(p * pi / 2.0);

        // Two independent noises, gently low-passed: an ambience about 36 dB down.
        auto white = [this] {
            noiseState_ = noiseState_ * 1664525u + 1013904223u;
            return static_cast<float>(noiseState_ >> 8) / 8388608.0f - 1.0f;
        };
        ambienceL_ += 0.2f * (white() - ambienceL_);
        ambienceR_ += 0.2f * (white() - ambienceR_);

        interleaved[2 * i] = static_cast<float>(source * left) + 0.03f * ambienceL_;
        interleaved[2 * i + 1] = static_cast<float>(source * right) + 0.03f * ambienceR_;
    }
    return n;
}

}  // namespace quorveil::cli
