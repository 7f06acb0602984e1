// The frame loop shared by the modules that split a stereo pair of magnitude
// frames (L, R) into several output frames bin by bin.
//
// Bins pass through in short runs staged on the stack: a run's L and R values
// are all read before any of its outputs is written, so a host that hands the
// same frame in as an input and out as an output gets the same result as with
// separate buffers. The per-bin function sees only locals, so the compiler can
// run the bins of a run side by side in vector registers; every bin is still
// computed by exactly the same single-precision steps.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace quorveil {

inline constexpr uint32_t kStagedBins = 128;

// binFunction(l, r) -> std::array<float, Outputs>, the outputs in pin order.
// Writes bins values to each of out[0] .. out[Outputs - 1].
template <std::size_t Outputs, class BinFunction>
inline void splitStereoFrame(const float* left, const float* right, float* const* out,
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
