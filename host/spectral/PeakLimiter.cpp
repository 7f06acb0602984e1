// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/PeakLimiter.h"

#include <algorithm>
#include <cmath>

namespace quorveil::spectral {

namespace {

// Within this of 1 the release has arrived: the gain is 1 again exactly.
constexpr float kArrived = 1e-6f;
constexpr float kUnderRounding = 1.0f - 1e-6f;

}  // namespace

PeakLimiter::PeakLimiter(int channels, std::size_t lookahead, double releaseSamples)
    : channels_(channels), lookahead_(lookahead),
      release_(static_cast<float>(1.0 - std::exp(-1.0 / std::max(releaseSamples, 1.0)))),
      delay_(static_cast<std::size_t>(channels) * (lookahead + 1), 0.0f),
      needed_(lookahead + 1, 1.0f), minima_(lookahead + 1, 1.0f), candidates_(lookahead + 1, 0) {
    reset();
}

void PeakLimiter::reset() {
    std::fill(delay_.begin(), delay_.end(), 0.0f);
    std::fill(needed_.begin(), needed_.end(), 1.0f);
    std::fill(minima_.begin(), minima_.end(), 1.0f);
    front_ = size_ = at_ = 0;
    samples_ = 0;
    windowSum_ = static_cast<double>(minima_.size());
    belowOne_ = 0;
    gain_ = 1.0f;
    limited_ = 0;
    deepest_ = 1.0f;
}

float PeakLimiter::neededGain(const float* block, std::size_t stride, std::size_t i) const {
    float peak = 0.0f;
    for (int c = 0; c < channels_; ++c) {
        peak = std::max(peak, std::fabs(block[static_cast<std::size_t>(c) * stride + i]));
    }
    // A sample that is not a number needs nothing: the last guard before the
    // file or the port deals with it.
    // A hair under the exact ratio, so that no rounding of the product
    // lands above the ceiling.
    return peak > kLimiterCeiling ? kLimiterCeiling / peak * kUnderRounding : 1.0f;
}

// At rest (gain 1, every minimum in the window 1, so every needed gain in
// the rings is 1) a block that needs no gain leaves the rings as they are
// but for the newest candidate: it only passes through the delay line.
bool PeakLimiter::passesUntouched(const float* block, std::size_t stride, std::size_t frames, bool active) const {
    if (gain_ != 1.0f || belowOne_ != 0) return false;
    if (!active) return true;
    for (int c = 0; c < channels_; ++c) {
        const float* channel = block + static_cast<std::size_t>(c) * stride;
        for (std::size_t i = 0; i < frames; ++i)
            if (std::fabs(channel[i]) > kLimiterCeiling) return false;
    }
    return true;
}

void PeakLimiter::delayOnly(float* block, std::size_t stride, std::size_t frames) {
    const std::size_t window = lookahead_ + 1;
    for (int c = 0; c < channels_; ++c) {
        float* line = delay_.data() + static_cast<std::size_t>(c) * window;
        float* channel = block + static_cast<std::size_t>(c) * stride;
        std::size_t at = at_;
        for (std::size_t i = 0; i < frames; ++i) {
            const std::size_t out = at + 1 == window ? 0 : at + 1;
            line[at] = channel[i];
            channel[i] = line[out];
            at = out;
        }
    }
    // Each sample's needed gain of 1 would have replaced every candidate.
    samples_ += frames;
    candidates_[front_] = static_cast<std::size_t>(samples_ - 1);
    size_ = 1;
    at_ = (at_ + frames) % window;
}

void PeakLimiter::process(float* block, std::size_t stride, std::size_t frames, bool active) {
    if (frames == 0) return;
    if (passesUntouched(block, stride, frames, active)) {
        delayOnly(block, stride, frames);
        return;
    }
    const std::size_t window = lookahead_ + 1;
    for (std::size_t i = 0; i < frames; ++i) {
        const float needed = active ? neededGain(block, stride, i) : 1.0f;
        const uint64_t n = samples_++;
        // The sliding minimum of the needed gains over the last `window`.
        needed_[at_] = needed;
        while (size_ > 0 && needed_[candidates_[(front_ + size_ - 1) % window] % window] >= needed) --size_;
        candidates_[(front_ + size_) % window] = static_cast<std::size_t>(n);
        ++size_;
        while (n >= window && candidates_[front_] <= n - window) {
            front_ = (front_ + 1) % window;
            --size_;
        }
        const float minimum = needed_[candidates_[front_] % window];
        // Its mean over the last `window`, exactly 1 when every one is 1.
        const float leaving = minima_[at_];
        belowOne_ -= leaving < 1.0f ? 1 : 0;
        belowOne_ += minimum < 1.0f ? 1 : 0;
        windowSum_ += static_cast<double>(minimum) - static_cast<double>(leaving);
        minima_[at_] = minimum;
        const float smoothed = belowOne_ == 0 ? 1.0f : static_cast<float>(windowSum_ / static_cast<double>(window));
        // Down at once, up by the release.
        float gain = smoothed < gain_ ? smoothed : gain_ + (smoothed - gain_) * release_;
        if (smoothed == 1.0f && gain > 1.0f - kArrived) gain = 1.0f;
        gain_ = gain;
        // The sample leaving now is output sample n.
        if (gain < 1.0f && n >= countedBegin_ && n < countedEnd_) {
            ++limited_;
            deepest_ = std::min(deepest_, gain);
        }

        // The sample `lookahead` ago leaves with this gain; this one enters.
        const std::size_t out = (at_ + 1) % window;
        for (int c = 0; c < channels_; ++c) {
            float* line = delay_.data() + static_cast<std::size_t>(c) * window;
            float& sample = block[static_cast<std::size_t>(c) * stride + i];
            line[at_] = sample;
            sample = gain == 1.0f ? line[out] : line[out] * gain;
        }
        at_ = out;
    }
}

}  // namespace quorveil::spectral
