// SPDX-License-Identifier: MIT
#include "modules/cc/CC4_6.h"

#include <array>

#include "frame/ParameterTable.h"
#include "modules/cc/CCKernel.h"
#include "modules/common/LoopCount.h"
#include "modules/common/StereoSplitterPins.h"

namespace quorveil {

using namespace plogue::biduleSDK;

namespace {

constexpr int32_t kRealFormat = 2;

constexpr std::array kParameters{
    realParameter(CC4_6::kRearHumidityId, "Rear Humidity", 1.0, 0.0, 1.0, "1 = 100%", kRealFormat),
    switchParameter(CC4_6::kWrapRearsId, "Wrap Rears", 0),
    realParameter(CC4_6::kWrapHumidityId, "Wrap Humidity", 1.0, 0.0, 1.0, "1 = 100%", kRealFormat),
    textItem(CC4_6::kVersionId, "\nVersion:"),
};

constexpr const char* kSpeakerNames[] = {"C", "LS", "RS"};
static_assert(std::size(kSpeakerNames) == cc::kOutputs);
constexpr PinTable kPins = stereoSplitterPins(kSpeakerNames);

}  // namespace

CC4_6::CC4_6(HostRecord* host) : BidulePlugin(host, kPins, kParameters) {}

bool CC4_6::start() {
    setTextValue(kVersionId, informationText.text);
    // Wrapping starts off, and with it the control that only acts on wrapping.
    setParameterEnabled(kWrapHumidityId, false);
    return true;
}

void CC4_6::parameterChanged(int32_t id) {
    switch (id) {
    case kRearHumidityId: rearHumidity = getRealValue(id); break;
    case kWrapRearsId: wrapRears = getIntValue(id); break;
    case kWrapHumidityId: wrapHumidity = getRealValue(id); break;
    default: break;
    }
    if (const auto enabled = wrapRearsSwitch.follow(wrapRears)) {
        setParameterEnabled(kWrapHumidityId, *enabled);
    }
}

void CC4_6::process(const BlockBuffers& buffers) {
    const SpectralPins magnitudeIn = buffers.magnitudeIn;
    const SpectralPins magnitudeOut = buffers.magnitudeOut;
    if (magnitudeIn == nullptr || magnitudeOut == nullptr) {
        return;
    }
    const cc::Settings settings{static_cast<float>(rearHumidity), static_cast<float>(wrapHumidity),
                                wrapRears != 0};
    const uint32_t frames = loopCount(engineInfo.frameCount);
    const uint32_t bins = loopCount(engineInfo.binCount);
    for (uint32_t f = 0; f < frames; ++f) {
        float* const out[cc::kOutputs] = {magnitudeOut[cc::C][f], magnitudeOut[cc::LS][f],
                                          magnitudeOut[cc::RS][f]};
        cc::ccFrame(settings, magnitudeIn[0][f], magnitudeIn[1][f], out, bins);
    }
}

}  // namespace quorveil
