// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in demo source of `upmix`: about 12 s of stereo at 44.1 kHz, a
// plucked arpeggio moving from hard right through the centre to hard left
// over a quiet, decorrelated ambience. Made in code, the same every time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorveil::cli {

class DemoSignal {
public:
    static constexpr double kSampleRate = 44100.0;
    static constexpr std::size_t kLength = 12 * 44100;

    // Up to `frames` interleaved stereo frames; the number written, 0 at the end.
    std::size_t read(float* interleaved, std::size_t frames);

private:
    std::size_t position_ = 0;
    uint32_t noiseState_ = 12345u;
    float ambienceL_ = 0.0f, ambienceR_ = 0.0f;
};

}  // namespace quorveil::cli
