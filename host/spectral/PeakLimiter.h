// SPDX-License-Identifier: GPL-3.0-or-later
// The upmix's output safety: a look-ahead peak limiter on all channels
// together, so that no sample leaves above its ceiling and the image does
// not move while it acts (one gain for every channel).
//
// An upmix that keeps the power of a centred source puts it in one speaker
// at √2 its level in L and R: a mix that peaks at 0 dBFS can peak at +3 dBFS
// in FC. The limiter sees `lookahead` samples ahead: the gain each sample
// needs is min(1, ceiling / peak), where peak is the largest magnitude of
// any channel; the gain applied is the smallest needed over the look-ahead,
// averaged over the look-ahead (so it glides down to a peak instead of
// jumping), and it rises back with a release time constant. Taking the
// minimum over L samples and then the mean over L samples never exceeds
// the gain any sample within reach needs, so no sample passes the ceiling.
// Below the ceiling the gain is exactly 1 and the samples pass bit for bit,
// only `lookahead` samples later.
//
// After the look-ahead limiters of digital mastering (for example
// U. Zölzer, ed., "DAFX: Digital Audio Effects", 2nd ed., Wiley 2011,
// ch. 4, "Nonlinear processing": limiter with look-ahead and a sliding
// minimum of the gain).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorveil::spectral {

// −0.3 dBFS: below full scale in every format, 16-bit included.
inline constexpr float kLimiterCeiling = 0.96605486f;

class PeakLimiter {
public:
    // [set-up; allocates] `channels` channels, `lookahead` samples (≥ 1),
    // release time constant in samples.
    PeakLimiter(int channels, std::size_t lookahead, double releaseSamples);

    // [audio thread; no allocation] `frames` samples of each channel, in
    // place: channel c at block + c * stride. With `active` false the gain
    // glides back to 1 and stays there (the delay remains, so the latency
    // does not change).
    void process(float* block, std::size_t stride, std::size_t frames, bool active);

    void reset();

    std::size_t latency() const { return lookahead_; }
    // [audio thread, before process] Only the output samples from `begin`
    // to before `end` (counted from construction or reset) count in the
    // record below: the caller trims the rest (the gain that glides down to
    // a first peak lowers none of the silence before it). All by default.
    void countSpan(uint64_t begin, uint64_t end) {
        countedBegin_ = begin;
        countedEnd_ = end;
    }
    // Samples (per channel) it lowered, and the deepest gain it applied
    // (1: never acted), since construction or reset.
    uint64_t limitedSamples() const { return limited_; }
    float deepestGain() const { return deepest_; }

private:
    float neededGain(const float* block, std::size_t stride, std::size_t i) const;
    bool passesUntouched(const float* block, std::size_t stride, std::size_t frames, bool active) const;
    void delayOnly(float* block, std::size_t stride, std::size_t frames);

    int channels_;
    std::size_t lookahead_;
    float release_;
    // Delay line of the samples, channel-major; needed gains, their sliding
    // minimum (a ring of candidates) and the minima in the averaging window.
    std::vector<float> delay_;
    std::vector<float> needed_, minima_;
    std::vector<std::size_t> candidates_;  // ring of positions, gains rising
    std::size_t front_ = 0, size_ = 0;
    std::size_t at_ = 0;          // write position in the rings
    uint64_t samples_ = 0;        // samples taken since reset
    double windowSum_ = 0.0;      // Σ of minima_ in the window
    std::size_t belowOne_ = 0;    // minima in the window under 1
    float gain_ = 1.0f;
    uint64_t limited_ = 0;
    float deepest_ = 1.0f;
    uint64_t countedBegin_ = 0, countedEnd_ = UINT64_MAX;
};

}  // namespace quorveil::spectral
