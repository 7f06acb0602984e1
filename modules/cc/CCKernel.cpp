// SPDX-License-Identifier: MIT
#include "modules/cc/CCKernel.h"

#include "modules/common/StereoBinLoop.h"

namespace quorveil::cc {

namespace {

// Frames of their own: straight from the inputs into the outputs. The switch
// is a parameter, not a sample value: one choice per frame.
QUORVEIL_VECTOR_CLONES
void ccFrameApart(const Settings settings, const float* __restrict left,
                  const float* __restrict right, float* __restrict c, float* __restrict ls,
                  float* __restrict rs, uint32_t bins) {
    if (settings.wrapRears) {
        for (uint32_t k = 0; k < bins; ++k) {
            const auto v = ccBin<true>(left[k], right[k], settings);
            c[k] = v[C], ls[k] = v[LS], rs[k] = v[RS];
        }
    } else {
        for (uint32_t k = 0; k < bins; ++k) {
            const auto v = ccBin<false>(left[k], right[k], settings);
            c[k] = v[C], ls[k] = v[LS], rs[k] = v[RS];
        }
    }
}

template <bool WrapRears>
void ccFrameStaged(const Settings& settings, const float* left, const float* right,
                   float* const* out, uint32_t bins) {
    splitStereoFrameStaged<kOutputs>(left, right, out, bins, [s = settings](float l, float r) {
        return ccBin<WrapRears>(l, r, s);
    });
}

}  // namespace

void ccFrame(const Settings& settings, const float* left, const float* right, float* const* out,
             uint32_t bins) {
    if (framesApart<kOutputs>(left, right, out, bins)) {
        ccFrameApart(settings, left, right, out[C], out[LS], out[RS], bins);
    } else if (settings.wrapRears) {
        ccFrameStaged<true>(settings, left, right, out, bins);
    } else {
        ccFrameStaged<false>(settings, left, right, out, bins);
    }
}

}  // namespace quorveil::cc
