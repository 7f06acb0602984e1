// SPDX-License-Identifier: MIT
#include "modules/slice/Slice4_6.h"

#include <array>

#include "frame/ParameterTable.h"
#include "modules/common/LoopCount.h"
#include "modules/common/StereoSplitterPins.h"
#include "modules/slice/SliceKernel.h"

namespace quorveil {

using namespace plogue::biduleSDK;

namespace {

constexpr int32_t kRealFormat = 2;

constexpr std::array kParameters{
    realParameter(Slice4_6::kStageOneHumidityId, "Stage One Humidity", 1.0, 0.0, 1.0, "1 = 100%",
                  kRealFormat),
    realParameter(Slice4_6::kStageTwoHumidityId, "Stage Two Humidity", 1.0, 0.0, 1.0, "1 = 100%",
                  kRealFormat),
    switchParameter(Slice4_6::kWrapRearsId, "Wrap Rears", 0),
    realParameter(Slice4_6::kWrapHumidityId, "Wrap Humidity", 1.0, 0.0, 1.0, "1 = 100%",
                  kRealFormat),
    textItem(Slice4_6::kVersionId, "\nVersion:"),
};

constexpr const char* kSpeakerNames[] = {"LF", "RF", "C", "LS", "RS"};
static_assert(std::size(kSpeakerNames) == slice::kOutputs);
constexpr PinTable kPins = stereoSplitterPins(kSpeakerNames);

}  // namespace

Slice4_6::Slice4_6(HostRecord* host) : BidulePlugin(host, kPins, kParameters) {}

bool Slice4_6::start() {
    setTextValue(kVersionId, informationText.text);
    // Wrapping starts off, and with it the control that only acts on wrapping.
    setParameterEnabled(kWrapHumidityId, false);
    return true;
}

void Slice4_6::parameterChanged(int32_t id) {
    switch (id) {
    case kStageOneHumidityId: stageOneHumidity = getRealValue(id); break;
    case kStageTwoHumidityId: stageTwoHumidity = getRealValue(id); break;
    case kWrapRearsId: wrapRears = getIntValue(id); break;
    case kWrapHumidityId: wrapHumidity = getRealValue(id); break;
    default: break;
    }
    if (const auto enabled = wrapRearsSwitch.follow(wrapRears)) {
        setParameterEnabled(kWrapHumidityId, *enabled);
    }
}

void Slice4_6::process(const BlockBuffers& buffers) {
    const SpectralPins magnitudeIn = buffers.magnitudeIn;
    const SpectralPins magnitudeOut = buffers.magnitudeOut;
    if (magnitudeIn == nullptr || magnitudeOut == nullptr) {
        return;
    }
    const slice::Settings settings{static_cast<float>(stageOneHumidity),
                                   static_cast<float>(stageTwoHumidity),
                                   static_cast<float>(wrapHumidity), wrapRears != 0};
    const uint32_t frames = loopCount(engineInfo.frameCount);
    const uint32_t bins = loopCount(engineInfo.binCount);
    for (uint32_t f = 0; f < frames; ++f) {
        float* const out[slice::kOutputs] = {magnitudeOut[slice::LF][f], magnitudeOut[slice::RF][f],
                                             magnitudeOut[slice::C][f], magnitudeOut[slice::LS][f],
                                             magnitudeOut[slice::RS][f]};
        slice::sliceFrame(settings, magnitudeIn[0][f], magnitudeIn[1][f], out, bins);
    }
}

}  // namespace quorveil
