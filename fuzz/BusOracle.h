// SPDX-License-Identifier: GPL-3.0-or-later
// What the upmix engine and the LV2 plug-ins promise whatever a host's bus
// carries, as an oracle the fuzz targets share: the bus is filled from a
// small palette of values (ordinary, full scale, just under and over the
// engines' +120 dBFS bound, huge, subnormal, NaN, infinite), and every
// output sample must be finite and no louder than the mix can make the
// input: 24 dB above the loudest input sample the engines take (not a
// number, or beyond +120 dBFS, counts as silence) times the largest gain in
// effect. The centre carries a centred source at √2, the levels lift by up
// to 12 dB and the mix may raise a bin; 24 dB holds all of that.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace quorveil::fuzz {

// +120 dBFS, the bound of host/spectral's kLoudestInput.
inline constexpr float kLoudestBusSample = 1e6f;
inline constexpr double kHeadroom = 15.848931924611133;  // 24 dB

// `count` samples for one channel of a bus: eight values picked from the
// input, spread through the block, so that the input is spent on values and
// not on length.
inline void fillBus(FuzzedDataProvider& in, float* samples, std::size_t count) {
    float palette[8];
    for (float& value : palette) {
        const float tiny = std::numeric_limits<float>::denorm_min() * in.ConsumeIntegralInRange(1, 1000);
        value = in.ConsumeBool()
                    ? in.ConsumeFloatingPointInRange(-1.0f, 1.0f)
                    : in.PickValueInArray({0.0f, tiny, 1.0f, -1.0f, kLoudestBusSample,
                                           -kLoudestBusSample, std::nextafter(kLoudestBusSample, 2e6f),
                                           1e20f, -std::numeric_limits<float>::max(),
                                           std::numeric_limits<float>::infinity(),
                                           -std::numeric_limits<float>::infinity(),
                                           std::numeric_limits<float>::quiet_NaN()});
    }
    uint32_t state = in.ConsumeIntegral<uint32_t>();
    for (std::size_t i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        samples[i] = palette[state >> 29];
    }
}

class LoudnessBound {
public:
    // Input the engine takes as sound.
    void heard(const float* samples, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const float magnitude = std::fabs(samples[i]);
            if (magnitude <= kLoudestBusSample && magnitude > loudest_) loudest_ = magnitude;
        }
    }
    // A gain now in effect, as a factor.
    void gain(double factor) {
        if (factor > largestGain_) largestGain_ = factor;
    }

    // Aborts, naming `what`, at the first output sample that is not finite
    // or louder than the bound.
    void check(const float* samples, std::size_t count, const std::string& what) const {
        const double bound = static_cast<double>(loudest_) * largestGain_ * kHeadroom + 1e-30;
        for (std::size_t i = 0; i < count; ++i) {
            if (!std::isfinite(samples[i]) || std::fabs(samples[i]) > bound) {
                std::fprintf(stderr,
                             "bus oracle: %s sample %zu is %g; the loudest input taken was %g, "
                             "the largest gain %g, so nothing beyond %g may come out\n",
                             what.c_str(), i, static_cast<double>(samples[i]),
                             static_cast<double>(loudest_), largestGain_, bound);
                std::abort();
            }
        }
    }

private:
    float loudest_ = 0.0f;
    double largestGain_ = 0.0;
};

}  // namespace quorveil::fuzz
