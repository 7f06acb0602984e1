#include "modules/slice/SliceKernel.h"

#include "modules/common/StereoBinLoop.h"

namespace quorveil::slice {

namespace {

template <bool WrapRears>
void sliceFrameAs(const Settings& settings, const float* left, const float* right,
                  float* const* out, uint32_t bins) {
    splitStereoFrame<kOutputs>(left, right, out, bins, [s = settings](float l, float r) {
        return sliceBin<WrapRears>(l, r, s);
    });
}

}  // namespace

void sliceFrame(const Settings& settings, const float* left, const float* right,
                float* const* out, uint32_t bins) {
    // The switch is a parameter, not a sample value: one choice per frame.
    if (settings.wrapRears) {
        sliceFrameAs<true>(settings, left, right, out, bins);
    } else {
        sliceFrameAs<false>(settings, left, right, out, bins);
    }
}

}  // namespace quorveil::slice
