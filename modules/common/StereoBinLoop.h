// SPDX-License-Identifier: MIT
// The frame loops shared by the modules that split a stereo pair of magnitude
// frames (L, R) into several output frames bin by bin.
//
// Hosts normally hand every pin a frame of its own; then each module runs its
// bins straight from the inputs into the outputs (splitting the frame with
// restrict-qualified pointers, so the compiler runs several bins side by side
// in vector registers). A host may also hand the same frame in as an input and
// out as an output; then the bins pass through in short runs staged on the
// stack, a run's L and R values all read before any of its outputs is
// written. Either way every bin is computed by the same single-precision
// steps and gives the same bits.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "compiler/VectorClones.h"
#include "modules/common/BufferOverlap.h"

namespace quorveil {

// True when no output frame shares a byte with an input frame or with another
// output frame.
template <std::size_t Outputs>
inline bool framesApart(const float* left, const float* right, float* const* out, uint32_t bins) {
    for (std::size_t p = 0; p < Outputs; ++p) {
        if (buffersOverlap(out[p], left, bins) || buffersOverlap(out[p], right, bins)) return false;
        for (std::size_t q = 0; q < p; ++q) {
            if (buffersOverlap(out[p], out[q], bins)) return false;
        }
    }
    return true;
}

inline constexpr uint32_t kStagedBins = 128;

// The staged loop for frames that share memory.
// binFunction(l, r) -> std::array<float, Outputs>, the outputs in pin order.
template <std::size_t Outputs, class BinFunction>
inline void splitStereoFrameStaged(const float* left, const float* right, float* const* out,
                                   uint32_t bins, BinFunction binFunction) {
    alignas(16) float l[kStagedBins];
    alignas(16) float r[kStagedBins];
    alignas(16) float o[Outputs][kStagedBins];
    for (uint32_t first = 0; first < bins; first += kStagedBins) {
        const uint32_t n = std::min(kStagedBins, bins - first);
        std::memcpy(l, left + first, n * sizeof(float));
        std::memcpy(r, right + first, n * sizeof(float));
        for (uint32_t k = 0; k < n; ++k) {
            const std::array<float, Outputs> values = binFunction(l[k], r[k]);
            for (std::size_t p = 0; p < Outputs; ++p) {
                o[p][k] = values[p];
            }
        }
        for (std::size_t p = 0; p < Outputs; ++p) {
            std::memcpy(out[p] + first, o[p], n * sizeof(float));
        }
    }
}

}  // namespace quorveil
