// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/PreEchoGate.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "host/spectral/PrimaryAmbient.h"

namespace quorveil::spectral {

namespace {

// Onsets are looked for above kOnsetBandHz (what a one-pole low-pass there
// leaves): a hit's edge is there, and the bass's own waveform, whose power
// swings within a period, is not. The gate takes only from what a
// second-order high-pass at kUngatedBelowHz passes: the fundamentals of a
// bass or a kick under a hit are no ringing, and gating them would distort
// them.
constexpr double kOnsetBandHz = 1000.0;
constexpr double kUngatedBelowHz = 150.0;

// An onset: a block of the input's high band this many times its mean power
// over the last kMeanSeconds (9 dB) and kOverPeak times its loudest block,
// held with a half-life of kPeakHalfLifeSeconds (6 dB), above kAudibleFloor
// (L² + R², about −80 dBFS). Its sample is the first of the block whose own
// power passes the rise: the hit's first sample that stands out.
constexpr float kRise = 8.0f;
constexpr float kOverPeak = 4.0f;
constexpr float kAudibleFloor = 1e-8f;
constexpr double kMeanSeconds = 0.01;
constexpr double kPeakHalfLifeSeconds = 0.01;
// Two onsets at least this far apart: a hit's own ringing and the bounces
// of a rattle are one onset. Longer than any window before an onset.
constexpr double kOnsetSpacingSeconds = 0.05;

// The window before an onset in which a channel is held: 3 ms, where the
// ringing of the gains lies, and within the premasking of a loud onset.
constexpr double kWindowSeconds = 0.003;
// A channel's high band is held to its mean square over the last
// kReferenceSeconds before the window (the high-pass started kSettleSeconds
// before them, from silence), where somewhere in the window it
// rises kRinging times (9 dB) above that: a sound that merely swells into
// the hit, or rings no more than the background varies, passes untouched
// (a gate there would only distort it and the stereo fold-down).
constexpr double kReferenceSeconds = 0.01;
constexpr double kSettleSeconds = 0.005;
constexpr float kRinging = 8.0f;

// The weight of a one-pole low-pass at `hz`; the high band is the rest.
float lowPassWeight(double hz, double sampleRate) {
    return static_cast<float>(1.0 - std::exp(-2.0 * std::numbers::pi * hz / sampleRate));
}

// A second-order Butterworth high-pass at `hz` (R. Bristow-Johnson, "Cookbook
// formulae for audio EQ biquad filter coefficients"), normalised by a0.
std::array<float, 5> highPassAt(double hz, double sampleRate) {
    const double w = 2.0 * std::numbers::pi * hz / sampleRate;
    const double alpha = std::sin(w) / std::numbers::sqrt2;  // Q = 1/√2
    const double c = std::cos(w), a0 = 1.0 + alpha;
    return {static_cast<float>((1.0 + c) / 2.0 / a0), static_cast<float>(-(1.0 + c) / a0),
            static_cast<float>((1.0 + c) / 2.0 / a0), static_cast<float>(-2.0 * c / a0),
            static_cast<float>((1.0 - alpha) / a0)};
}

}  // namespace

InputOnsets::InputOnsets(double sampleRate)
    : lowWeight_(lowPassWeight(kOnsetBandHz, sampleRate)), meanWeight_(smoothingWeight(kMeanSeconds, static_cast<int>(kBlock), sampleRate)),
      peakDecay_(static_cast<float>(std::exp2(-static_cast<double>(kBlock) / (kPeakHalfLifeSeconds * sampleRate)))),
      spacing_(static_cast<uint64_t>(std::llround(kOnsetSpacingSeconds * sampleRate))) {}

void InputOnsets::reset() {
    lowLeft_ = lowRight_ = 0.0f;
    mean_ = peak_ = 0.0f;
    nextAllowed_ = 0;
}

void InputOnsets::find(const float* left, const float* right, std::size_t frames, uint64_t first,
                       HopOnsets& found) {
    std::array<float, kBlock> power{};
    for (std::size_t b = 0; b + kBlock <= frames; b += kBlock) {
        float sum = 0.0f;
        for (std::size_t i = 0; i < kBlock; ++i) {
            lowLeft_ += lowWeight_ * (left[b + i] - lowLeft_);
            lowRight_ += lowWeight_ * (right[b + i] - lowRight_);
            const float highLeft = left[b + i] - lowLeft_, highRight = right[b + i] - lowRight_;
            power[i] = highLeft * highLeft + highRight * highRight;
            sum += power[i];
        }
        const float blockPower = sum / static_cast<float>(kBlock);
        const uint64_t sample = first + b;
        if (blockPower > kAudibleFloor && blockPower > kRise * mean_ && blockPower > kOverPeak * peak_ &&
            sample >= nextAllowed_) {
            const float edge = kRise * mean_;
            std::size_t at = 0;
            while (at + 1 < kBlock && !(power[at] > edge)) ++at;
            found.add(sample + at);
            nextAllowed_ = sample + at + spacing_;
        }
        mean_ += meanWeight_ * (blockPower - mean_);
        peak_ = std::max(blockPower, peak_ * peakDecay_);
    }
}

PreEchoGate::PreEchoGate(int channels, int ungated, double sampleRate, std::size_t mostFrames)
    : channels_(channels), ungated_(ungated),
      window_(static_cast<std::size_t>(std::max(1LL, std::llround(kWindowSeconds * sampleRate)))),
      reference_(static_cast<std::size_t>(std::max(1LL, std::llround(kReferenceSeconds * sampleRate)))),
      settle_(static_cast<std::size_t>(std::llround(kSettleSeconds * sampleRate))),
      highPass_(highPassAt(kUngatedBelowHz, sampleRate)) {
    const auto n = static_cast<std::size_t>(channels);
    past_.assign(n * (reference_ + settle_), 0.0f);
    windows_.assign(n, Window{});
    high_.assign(kHistory + mostFrames, 0.0f);
    envelope_.assign(window_, 0.0f);
}

void PreEchoGate::reset() {
    std::fill(past_.begin(), past_.end(), 0.0f);
    std::fill(windows_.begin(), windows_.end(), Window{});
    pendingCount_ = 0;
    samples_ = 0;
}

void PreEchoGate::expect(uint64_t sample) {
    if (pendingCount_ < kPending) pending_[pendingCount_++] = sample;
}

void PreEchoGate::process(float* block, std::size_t stride, std::size_t frames) {
    // Longer blocks than set up for, a part at a time.
    const std::size_t most = high_.size() - kHistory;
    for (; frames > most; frames -= most, block += most) process(block, stride, most);
    for (int c = 0; c < channels_; ++c) {
        if (c == ungated_) continue;
        float* samples = block + static_cast<std::size_t>(c) * stride;
        processChannel(static_cast<std::size_t>(c), samples, frames);
        remember(static_cast<std::size_t>(c), samples, frames);
    }
    // Onsets whose window has passed leave the queue.
    const uint64_t end = samples_ + frames;
    std::size_t passed = 0;
    while (passed < pendingCount_ && pending_[passed] <= end) ++passed;
    std::copy(pending_.begin() + static_cast<std::ptrdiff_t>(passed),
              pending_.begin() + static_cast<std::ptrdiff_t>(pendingCount_), pending_.begin());
    pendingCount_ -= passed;
    samples_ = end;
}

// The last reference_ + settle_ samples of each channel, in a ring indexed
// by sample number: a window's reference is measured from them.
void PreEchoGate::remember(std::size_t c, const float* samples, std::size_t frames) {
    const std::size_t span = reference_ + settle_;
    float* ring = past_.data() + c * span;
    const std::size_t kept = std::min(frames, span);
    const float* from = samples + (frames - kept);
    const auto at = static_cast<std::size_t>((samples_ + (frames - kept)) % span);
    const std::size_t first = std::min(kept, span - at);
    std::copy(from, from + first, ring + at);
    std::copy(from + first, from + kept, ring);
}

// Input sample `at` of channel c as it came: from this block, or from the
// ring before it (silence before the first).
float PreEchoGate::pastOrPresent(std::size_t c, const float* samples, uint64_t at) const {
    if (at >= samples_) return samples[at - samples_];
    const std::size_t span = reference_ + settle_;
    return at + span >= samples_ ? past_[c * span + at % span] : 0.0f;
}

// The windows that reach into this block. The channel's high band is
// filtered only there: a window's first block starts the high-pass settle_
// samples before its reference, measures the reference, and keeps the
// filter's state and last values for the window's next block, if any.
void PreEchoGate::processChannel(std::size_t c, float* samples, std::size_t frames) {
    const uint64_t begin = samples_, end = samples_ + frames;
    Window& w = windows_[c];
    for (std::size_t p = 0; p < pendingCount_; ++p) {
        const uint64_t onset = pending_[p];
        if (onset <= begin) continue;
        const uint64_t start = onset >= window_ ? onset - window_ : 0;
        if (start >= end) break;
        const uint64_t from = std::max(start, begin);
        if (w.onset != onset) startWindow(c, samples, from, onset);
        // The high band from `from` on, kHistory beyond the window where
        // this block has them.
        const uint64_t to = std::min(onset, end), reach = std::min(onset + kHistory, end);
        std::copy(w.tail.begin(), w.tail.end(), high_.begin());
        float* high = high_.data() + kHistory;
        for (uint64_t at = from; at < reach; ++at) high[at - from] = filter(w, samples[at - begin]);
        hold(w.level, samples + (from - begin), high, static_cast<std::size_t>(to - from),
             static_cast<std::size_t>(reach - from));
        // A window that goes on into the next block continues from here.
        if (to == end) std::copy(high + (to - from) - kHistory, high + (to - from), w.tail.begin());
    }
}

// A window's start at sample `from`: the high-pass run from silence over
// settle_ + reference_ samples before it, its level over the last
// reference_ of them, its last kHistory values kept for the envelope.
void PreEchoGate::startWindow(std::size_t c, const float* samples, uint64_t from, uint64_t onset) {
    Window& w = windows_[c];
    w = Window{};
    w.onset = onset;
    const uint64_t span = reference_ + settle_;
    const uint64_t first = from >= span ? from - span : 0;
    // The two halves of the reference apart, the quieter taken: the ringing
    // of a long frame may already be rising in the later one.
    std::array<double, 2> sum{};
    std::array<std::size_t, 2> counted{};
    for (uint64_t at = first; at < from; ++at) {
        const float h = filter(w, pastOrPresent(c, samples, at));
        if (at + reference_ >= from) {
            const std::size_t half = at + reference_ / 2 >= from ? 1 : 0;
            sum[half] += static_cast<double>(h) * h;
            ++counted[half];
        }
        if (at + kHistory >= from) w.tail[static_cast<std::size_t>(at + kHistory - from)] = h;
    }
    double level = INFINITY;
    for (std::size_t half = 0; half < 2; ++half)
        if (counted[half] > 0) level = std::min(level, sum[half] / static_cast<double>(counted[half]));
    w.level = std::isfinite(level) ? static_cast<float>(level) : 0.0f;
}

// One step of the high-pass (transposed direct form II) in a window's state.
float PreEchoGate::filter(Window& w, float x) const {
    const auto [b0, b1, b2, a1, a2] = highPass_;
    const float y = b0 * x + w.s1;
    w.s1 = b1 * x - a1 * y + w.s2;
    w.s2 = b2 * x - a2 * y;
    return y;
}

// Holds the first `count` samples: from each, the part of its high band
// that brings the mean square of the high band around it (kHistory samples
// each side, as they came in, as far as `known` reaches) down to `level` is
// taken away, provided the window rings kRinging times above it somewhere
// here. The bass passes as it is; a sample that needs no gain is not
// touched. `high` has kHistory values before the first sample.
void PreEchoGate::hold(float level, float* samples, const float* high, std::size_t count, std::size_t known) {
    const auto side = static_cast<std::ptrdiff_t>(kHistory);
    float loudest = 0.0f;
    for (std::size_t i = 0; i < count; ++i) {
        const auto centre = static_cast<std::ptrdiff_t>(i);
        const std::ptrdiff_t lo = centre - side, hi = std::min(centre + side, static_cast<std::ptrdiff_t>(known));
        float sum = 0.0f;
        for (std::ptrdiff_t j = lo; j < hi; ++j) sum += high[j] * high[j];
        envelope_[i] = sum / static_cast<float>(hi - lo);
        loudest = std::max(loudest, envelope_[i]);
    }
    if (!(loudest > kRinging * level)) return;
    for (std::size_t i = 0; i < count; ++i) {
        if (envelope_[i] > level) samples[i] -= (1.0f - std::sqrt(level / envelope_[i])) * high[i];
    }
}

}  // namespace quorveil::spectral
