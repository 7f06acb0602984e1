// SPDX-License-Identifier: MIT
#include "modules/panner/PannerKernel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "compiler/VectorClones.h"

namespace quorveil::panner {

namespace {

// The degree-to-radian factor, the arc's quarter turn and the full turn of the
// RF-to-C arc are the short decimal values the panner has always used, not
// pi/180, pi/2 and 2 pi. They shape the gains (p = 0 gives RF a gain of about
// -0.00016), so they stay as they are.
constexpr double kRadiansPerDegree = 0.0174532;
constexpr double kQuarterTurn = 1.571;
constexpr double kFullTurn = 6.283;
// Straight ahead sits just below the top of the circle, inside the RF-to-C arc.
constexpr double kFront = 359.99;

float toRadians(float degrees) {
    return static_cast<float>(static_cast<double>(degrees) * kRadiansPerDegree);
}

// The end of each arc: a speaker angle, or the C angle one turn up.
constexpr std::size_t kCentreEnd = kSpeakers;

struct Arc {
    std::size_t start;  // index into the arc ends
    std::size_t end;
    Speaker first;      // gets cos x
    Speaker second;     // gets sin x
    bool openEnded;     // holds every direction from its start upward
};

// In the order they are tried; a later arc that holds the direction wins.
constexpr Arc kArcs[] = {
    {RF, kCentreEnd, RF, C, true},  // RF to C, across 360 degrees
    {C, LF, C, LF, false},
    {LF, LS, LF, LS, false},
    {LS, RS, LS, RS, false},
    {RS, RF, RS, RF, false},
};

}  // namespace

bool updateGains(const Angles& angles, Working& working, Gains& gains) {
    const float pan = static_cast<float>(angles.pan);
    const float thetaDegrees =
        pan >= 0.0f ? static_cast<float>(kFront - static_cast<double>(pan)) : -pan;
    working.theta = toRadians(thetaDegrees);
    working.speaker[LF] = toRadians(static_cast<float>(angles.lf));
    working.speaker[RF] = toRadians(static_cast<float>(angles.rf));
    working.speaker[C] = toRadians(static_cast<float>(angles.c));
    working.speaker[LS] = toRadians(static_cast<float>(angles.ls));
    working.speaker[RS] = toRadians(static_cast<float>(angles.rs));
    working.centreEnd = static_cast<float>(static_cast<double>(working.speaker[C]) + kFullTurn);

    std::array<float, kSpeakers + 1> ends{};
    std::copy(working.speaker.begin(), working.speaker.end(), ends.begin());
    ends[kCentreEnd] = working.centreEnd;

    const float theta = working.theta;
    bool matched = false;
    for (const Arc& arc : kArcs) {
        const float start = ends[arc.start];
        const float end = ends[arc.end];
        // The open-ended arc still needs its start below its end: an RF angle
        // at or past the C angle's turn would make it empty (a zero width
        // divides by zero and fills every output with NaN).
        const bool holds = start <= theta && (arc.openEnded ? start < end : theta < end);
        if (!holds) {
            continue;
        }
        working.x = static_cast<float>(static_cast<double>((theta - start) / (end - start)) *
                                       kQuarterTurn);
        gains.fill(0.0f);
        gains[arc.first] = static_cast<float>(std::cos(static_cast<double>(working.x)));
        gains[arc.second] = static_cast<float>(std::sin(static_cast<double>(working.x)));
        matched = true;
    }
    return matched;
}

QUORVEIL_VECTOR_CLONES
void applyGains(const Gains& gains, const float* in, float* const* out, uint32_t samples) {
    constexpr uint32_t kRun = 256;
    alignas(16) float dry[kRun];
    for (uint32_t first = 0; first < samples; first += kRun) {
        const uint32_t n = std::min(kRun, samples - first);
        std::memcpy(dry, in + first, n * sizeof(float));
        for (std::size_t s = 0; s < kSpeakers; ++s) {
            const float gain = gains[s];
            float* wet = out[s] + first;
            for (uint32_t i = 0; i < n; ++i) {
                wet[i] = gain * dry[i];
            }
        }
    }
}

}  // namespace quorveil::panner
