// SPDX-License-Identifier: MIT
#include "tests/seventh/midside/MidSideWidth.h"

#include <array>

#include "frame/ParameterTable.h"
#include "modules/common/LoopCount.h"

namespace quorveil::testing {

using namespace plogue::biduleSDK;

namespace {

// The kernel: one sample pair, both read before either output is written, so
// a host may hand an input buffer back as an output.
void widenSample(float left, float right, float width, bool midSideOut, float& first,
                 float& second) {
    const float mid = (left + right) * 0.5f;
    const float side = ((left - right) * 0.5f) * width;
    first = midSideOut ? mid : mid + side;
    second = midSideOut ? side : mid - side;
}

constexpr std::array<const char*, 2> kOutputChoices{"Left/Right", "Mid/Side"};

constexpr std::array kParameters{
    realParameter(MidSideWidth::kWidthId, "Width", 1.0, 0.0, 2.0, "x side", 2),
    choiceParameter(MidSideWidth::kOutputId, "Output", 0, kOutputChoices),
    textItem(MidSideWidth::kVersionId, "\nVersion:"),
};

constexpr const char* kInputNames[] = {"L in", "R in"};
constexpr const char* kOutputNames[] = {"L or M out", "R or S out"};
constexpr PinTable kPins{.audioIn = {2, kInputNames}, .audioOut = {2, kOutputNames}};

}  // namespace

MidSideWidth::MidSideWidth(HostRecord* host) : BidulePlugin(host, kPins, kParameters) {}

bool MidSideWidth::start() {
    setTextValue(kVersionId, informationText.text);
    return true;
}

void MidSideWidth::parameterChanged(int32_t id) {
    switch (id) {
    case kWidthId: width = static_cast<float>(getRealValue(id)); break;
    case kOutputId: output = getIntValue(id); break;
    default: break;
    }
}

void MidSideWidth::process(const BlockBuffers& buffers) {
    if (buffers.audioIn == nullptr || buffers.audioOut == nullptr) {
        return;
    }
    const float* left = buffers.audioIn[0];
    const float* right = buffers.audioIn[1];
    const uint32_t samples = loopCount(engineInfo.blockSize);
    for (uint32_t i = 0; i < samples; ++i) {
        widenSample(left[i], right[i], width, output == 1, buffers.audioOut[0][i],
                    buffers.audioOut[1][i]);
    }
}

}  // namespace quorveil::testing
