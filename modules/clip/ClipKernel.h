// SPDX-License-Identifier: MIT
// The signal side of Clip4_6, apart from the plug-in plumbing: the FFT delay
// table and the per-sample pass-through with its clip test.
#pragma once

#include <cstdint>

namespace quorveil::clip {

inline constexpr int kChannels = 6;  // LF, RF, C, LFE, LS, RS

// Latency of the host's spectral path, in samples, for its FFT size and
// overlap; 0 for a pair the table does not cover. The entries are the ones
// hosts and sessions have always seen (2048 for 2048/2, 4096 for 4096/2 and
// 4096/4, 8192 for 8192 with any overlap but 16), not a formula.
float fftDelay(int32_t fftSize, int32_t overlap);

// Copies sample i of the six inputs to the six outputs and tells whether any
// of them reached full scale on the positive side (>= +1.0; NaN does not).
inline bool passSampleAndTestClip(const float* const* in, float* const* out, uint32_t i) {
    bool clipped = false;
    for (int k = 0; k < kChannels; ++k) {
        const float sample = in[k][i];
        out[k][i] = sample;
        clipped |= sample >= 1.0f;
    }
    return clipped;
}

}  // namespace quorveil::clip
