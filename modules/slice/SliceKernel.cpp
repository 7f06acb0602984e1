// SPDX-License-Identifier: MIT
#include "modules/slice/SliceKernel.h"

#include "modules/common/StereoBinLoop.h"

namespace quorveil::slice {

namespace {

// Frames of their own: straight from the inputs into the outputs. The switch
// is a parameter, not a sample value: one choice per frame.
QUORVEIL_VECTOR_CLONES
void sliceFrameApart(const Settings settings, const float* __restrict left,
                     const float* __restrict right, float* __restrict lf, float* __restrict rf,
                     float* __restrict c, float* __restrict ls, float* __restrict rs,
                     uint32_t bins) {
    if (settings.wrapRears) {
        // Three passes over the frame, each stage of the slicing for every bin
        // before the next: the centre, then fronts and unwrapped rears around
        // it, then the rears' sharing from what the outputs hold. A bin's five
        // square roots do not wait on one another in a single chain, so more
        // bins run at once; each bin takes the single-precision steps of
        // sliceBin<true> in the same order, so it gives the same bits.
        for (uint32_t k = 0; k < bins; ++k) {
            c[k] = minimumRule(right[k], left[k]);
        }
        for (uint32_t k = 0; k < bins; ++k) {
            const auto v = sliceAroundCentre(left[k], right[k], c[k], settings);
            lf[k] = v[LF], rf[k] = v[RF], ls[k] = v[LS], rs[k] = v[RS];
        }
        for (uint32_t k = 0; k < bins; ++k) {
            const auto rears = wrapRears(ls[k], rs[k], lf[k], rf[k], settings.wrapHumidity);
            ls[k] = rears[0], rs[k] = rears[1];
        }
    } else {
        for (uint32_t k = 0; k < bins; ++k) {
            const auto v = sliceBin<false>(left[k], right[k], settings);
            lf[k] = v[LF], rf[k] = v[RF], c[k] = v[C], ls[k] = v[LS], rs[k] = v[RS];
        }
    }
}

template <bool WrapRears>
void sliceFrameStaged(const Settings& settings, const float* left, const float* right,
                      float* const* out, uint32_t bins) {
    splitStereoFrameStaged<kOutputs>(left, right, out, bins, [s = settings](float l, float r) {
        return sliceBin<WrapRears>(l, r, s);
    });
}

}  // namespace

void sliceFrame(const Settings& settings, const float* left, const float* right,
                float* const* out, uint32_t bins) {
    if (framesApart<kOutputs>(left, right, out, bins)) {
        sliceFrameApart(settings, left, right, out[LF], out[RF], out[C], out[LS], out[RS], bins);
    } else if (settings.wrapRears) {
        sliceFrameStaged<true>(settings, left, right, out, bins);
    } else {
        sliceFrameStaged<false>(settings, left, right, out, bins);
    }
}

}  // namespace quorveil::slice
