// SPDX-License-Identifier: MIT
// The signal side of ConstantPowerPanner4_6, apart from the plug-in plumbing:
// the five speaker gains for a pan direction, computed once per block, and
// the per-sample loop that applies them.
#pragma once

#include <array>
#include <cstdint>

namespace quorveil::panner {

inline constexpr std::size_t kSpeakers = 5;
enum Speaker : std::size_t { LF = 0, RF = 1, C = 2, LS = 3, RS = 4 };  // output pin order

// The pan angle and the five speaker angles in degrees, as the host delivers
// them. Pan 0 is straight ahead, positive toward the right (RF), negative
// toward the left (LF); speaker angles run counter-clockwise from the front.
struct Angles {
    double pan = 0.0;
    double lf = 0.0;
    double rf = 0.0;
    double c = 0.0;
    double ls = 0.0;
    double rs = 0.0;
};

// What the last gain computation worked with, in radians: the pan direction,
// the speaker angles in output order, the end of the RF-to-C arc across 360
// degrees, and the position within the last arc that matched.
struct Working {
    float theta = 0.0f;
    std::array<float, kSpeakers> speaker{};
    float centreEnd = 0.0f;
    float x = 0.0f;
};

using Gains = std::array<float, kSpeakers>;

// Finds the arc between two neighbouring speakers that holds the pan
// direction and sets the constant-power pair cos x / sin x on its two
// speakers, 0 on the other three. Arcs are tried in a fixed order and a later
// match wins. Returns false, leaving `gains` as they were, when no arc holds
// the direction (speaker angles out of order leave gaps).
bool updateGains(const Angles& angles, Working& working, Gains& gains);

// out[s][n] = gains[s] * in[n] for every speaker s and sample n < samples.
// Each run of input samples is read before any output of it is written, so
// an output that shares the input's buffer is still fed the dry signal.
void applyGains(const Gains& gains, const float* in, float* const* out, uint32_t samples);

}  // namespace quorveil::panner
