// SPDX-License-Identifier: GPL-3.0-or-later
// A hit's pre-echo, found in the input and taken out of the output.
//
// The upmix renders each frame through per-bin gains. Gains that differ
// across frequency act as zero-phase filters on whatever the frame holds:
// a hit over a background (a castanet over room sound) is rendered by its
// own event's gains in its band and the background's around it, and rings
// as much before its onset as after. After the onset the hit masks the
// ringing; before it, within a millisecond or so, each speaker carries
// more than it did a moment earlier, though nothing in the input has yet
// begun: the hit arrives early, as a smudge. Temporal masking hides some
// of it (premasking lasts a few milliseconds: E. Zwicker, H. Fastl,
// "Psychoacoustics: Facts and Models", Springer 1990, ch. 4), not all.
//
// The cure is the transform coders' gain control (M. Bosi et al.,
// "ISO/IEC MPEG-2 Advanced Audio Coding", J. Audio Eng. Soc. 45(10),
// 1997): where the input has a sharp onset (InputOnsets, on the caller's
// side, which sees the input a whole FFT before the output carries it),
// each output channel is held, in the few milliseconds before the onset,
// to the level it had before them (PreEchoGate): what rises there ahead of
// the hit is the hit's own ringing. The hit itself and everything after
// it pass untouched, and so does every sample outside those windows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorveil::spectral {

// The onsets of one hop, as input sample numbers (from construction or
// reset). Onsets are at least 50 ms apart, so a hop at the usual sizes
// holds one or none; beyond kMost (a hop of seconds) the rest are
// dropped, and their pre-echo is left as it is.
struct HopOnsets {
    static constexpr std::size_t kMost = 8;
    std::array<uint64_t, kMost> at{};
    std::size_t count = 0;
    void add(uint64_t sample) {
        if (count < kMost) at[count++] = sample;
    }
};

// Sharp onsets in a stereo input, sample by sample, in blocks of kBlock
// samples of its high band: a block whose power (L² + R²) is far above
// both the recent mean and the loudest block of the last few
// milliseconds, and not down at the noise floor. The second test keeps a
// sound whose peaks recur (a voice's glottal pulses, a bowed string's
// scrape) from counting: only a new, louder peak is an onset.
class InputOnsets {
public:
    static constexpr std::size_t kBlock = 16;

    // [set-up; no allocation]
    explicit InputOnsets(double sampleRate);

    // [audio thread; no allocation] `frames` samples of each channel (a
    // multiple of kBlock: the rest is not looked at), the first of them
    // input sample `first`; the onsets found go into `found`.
    void find(const float* left, const float* right, std::size_t frames, uint64_t first, HopOnsets& found);

    // [audio thread] As if new: silence before.
    void reset();

private:
    float lowWeight_, meanWeight_, peakDecay_;
    uint64_t spacing_;
    float lowLeft_ = 0.0f, lowRight_ = 0.0f;
    float mean_ = 0.0f, peak_ = 0.0f;
    uint64_t nextAllowed_ = 0;
};

// Holds each channel's high band (above 150 Hz), in the window before an
// expected onset, to the level it had before the window (the mean square
// of the quieter half of its last 10 ms), where it rings well above that
// level: per sample,
// the gain that brings the high band's short-term power (over kEnvelope
// samples around it) down to that level, never above 1. The bass, a
// window without ringing and every sample outside the windows pass
// untouched, bit for bit.
class PreEchoGate {
public:
    // [set-up; allocates] `channels` channels at `sampleRate`, blocks of at
    // most `mostFrames` samples; channel `ungated` (the LFE, whose bass is
    // never gated, or −1) passes as it is.
    PreEchoGate(int channels, int ungated, double sampleRate, std::size_t mostFrames);

    // [audio thread; no allocation] Output sample `sample` (counted as
    // process counts them) carries an onset. Onsets come in order; one
    // more than the pending room is dropped.
    void expect(uint64_t sample);

    // [audio thread; no allocation] `frames` samples of each channel, in
    // place: channel c at block + c * stride.
    void process(float* block, std::size_t stride, std::size_t frames);

    // [audio thread] As if new.
    void reset();

private:
    static constexpr std::size_t kEnvelope = 4;
    static constexpr std::size_t kHistory = kEnvelope / 2;
    static constexpr std::size_t kPending = 2 * HopOnsets::kMost;

    // One channel's window being held: its onset, the level it is held to,
    // the high-pass's state and its last kHistory values.
    struct Window {
        uint64_t onset = UINT64_MAX;
        float level = 0.0f;
        float s1 = 0.0f, s2 = 0.0f;
        std::array<float, kHistory> tail{};
    };

    void processChannel(std::size_t c, float* samples, std::size_t frames);
    void remember(std::size_t c, const float* samples, std::size_t frames);
    float pastOrPresent(std::size_t c, const float* samples, uint64_t at) const;
    void startWindow(std::size_t c, const float* samples, uint64_t from, uint64_t onset);
    float filter(Window& w, float x) const;
    void hold(float level, float* samples, const float* high, std::size_t count, std::size_t known);

    int channels_, ungated_;
    std::size_t window_, reference_, settle_;
    std::array<float, 5> highPass_;  // b0 b1 b2 a1 a2
    // Per channel: its last reference_ + settle_ samples (a ring by sample
    // number) and the window it is in.
    std::vector<float> past_;
    std::vector<Window> windows_;
    // One window's high band (kHistory values before it, then it) and
    // short-term powers.
    std::vector<float> high_, envelope_;
    std::array<uint64_t, kPending> pending_{};
    std::size_t pendingCount_ = 0;
    uint64_t samples_ = 0;
};

}  // namespace quorveil::spectral
