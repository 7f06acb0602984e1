#include "modules/cc/CCKernel.h"

#include "modules/common/StereoBinLoop.h"

namespace quorveil::cc {

namespace {

template <bool WrapRears>
void ccFrameAs(const Settings& settings, const float* left, const float* right, float* const* out,
               uint32_t bins) {
    splitStereoFrame<kOutputs>(left, right, out, bins, [s = settings](float l, float r) {
        return ccBin<WrapRears>(l, r, s);
    });
}

}  // namespace

void ccFrame(const Settings& settings, const float* left, const float* right, float* const* out,
             uint32_t bins) {
    // The switch is a parameter, not a sample value: one choice per frame.
    if (settings.wrapRears) {
        ccFrameAs<true>(settings, left, right, out, bins);
    } else {
        ccFrameAs<false>(settings, left, right, out, bins);
    }
}

}  // namespace quorveil::cc
