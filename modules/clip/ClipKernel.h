// SPDX-License-Identifier: MIT
// The signal side of Clip4_6, apart from the plug-in plumbing: the FFT delay
// table and the block pass-through with its clip test.
#pragma once

#include <cstdint>

namespace quorveil::clip {

inline constexpr int kChannels = 6;  // LF, RF, C, LFE, LS, RS
inline constexpr int kFftDelayPin = kChannels;
inline constexpr int kOutputs = kChannels + 1;

// Latency of the host's spectral path, in samples, for its FFT size and
// overlap; 0 for a pair the table does not cover. The entries are the ones
// hosts and sessions have always seen (2048 for 2048/2, 4096 for 4096/2 and
// 4096/4, 8192 for 8192 with any overlap but 16), not a formula.
float fftDelay(int32_t fftSize, int32_t overlap);

// A sample clips when it reaches full scale on the positive side (>= +1.0);
// not-a-number and negative overs never do.
inline bool clips(float sample) { return sample >= 1.0f; }

// Copies sample i of the six inputs to the six outputs and tells whether any
// of them clips.
inline bool passSampleAndTestClip(const float* const* in, float* const* out, uint32_t i) {
    bool clipped = false;
    for (int k = 0; k < kChannels; ++k) {
        const float sample = in[k][i];
        out[k][i] = sample;
        clipped |= clips(sample);
    }
    return clipped;
}

// True when the block can be passed a whole channel at a time with the same
// result as sample by sample: every output pin (the delay pin included)
// either shares no sample with any input or another output, or is the very
// frame of its own input channel (the host processing in place).
bool channelsApartOrInPlace(const float* const* in, float* const* out, uint32_t blockSize);

// Passes one block: sample i of the six inputs to the six outputs and the
// delay to the delay pin, for i = 0 .. blockSize - 1. Calls onClip() once per
// sample position where any channel clips, in order. Audio that does not
// clip is copied and tested a channel at a time in vector registers; the
// positions are sought only in a block that has a clip.
template <class OnClip>
void passBlock(const float* const* in, float* const* out, float delay, uint32_t blockSize,
               OnClip onClip);

// --- below: the block loops passBlock is built from ----------------------

// Fills the delay pin and copies the six channels (an in-place channel is
// left as it is); tells whether any sample clips. Needs
// channelsApartOrInPlace.
bool copyChannelsAndTestClip(const float* const* in, float* const* out, float delay,
                             uint32_t blockSize);

template <class OnClip>
void passBlock(const float* const* in, float* const* out, float delay, uint32_t blockSize,
               OnClip onClip) {
    float* delayOut = out[kFftDelayPin];
    if (channelsApartOrInPlace(in, out, blockSize)) {
        if (!copyChannelsAndTestClip(in, out, delay, blockSize)) {
            return;
        }
        // The outputs now hold exactly the samples read.
        for (uint32_t i = 0; i < blockSize; ++i) {
            bool clipped = false;
            for (int k = 0; k < kChannels; ++k) {
                clipped |= clips(out[k][i]);
            }
            if (clipped) {
                onClip();
            }
        }
        return;
    }
    // Pins that overlap otherwise: sample by sample, each position's delay
    // and channels written in pin order, as a host wiring them so expects.
    for (uint32_t i = 0; i < blockSize; ++i) {
        delayOut[i] = delay;
        if (passSampleAndTestClip(in, out, i)) {
            onClip();
        }
    }
}

}  // namespace quorveil::clip
