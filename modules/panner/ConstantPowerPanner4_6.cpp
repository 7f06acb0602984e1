// SPDX-License-Identifier: MIT
#include "modules/panner/ConstantPowerPanner4_6.h"

#include <array>

#include "frame/ParameterTable.h"
#include "modules/common/LoopCount.h"

namespace quorveil {

using namespace plogue::biduleSDK;
using Panner = ConstantPowerPanner4_6;

namespace {

constexpr int32_t kRealFormat = 2;

// The speaker angles fill positions 1 to 5, their heading follows them.
constexpr std::array kParameters{
    realParameter(Panner::kPanAngleId, "Pan Angle", 0.0, -180.0, 180.0, "degrees", kRealFormat),
    realParameter(Panner::kLfSpeakerAngleId, "LF Speaker Angle", 45.0, 0.0, 360.0, "degrees",
                  kRealFormat),
    realParameter(Panner::kRfSpeakerAngleId, "RF Speaker Angle", 315.0, 0.0, 360.0, "degrees",
                  kRealFormat),
    realParameter(Panner::kCSpeakerAngleId, "C Speaker Angle", 0.0, 0.0, 360.0, "degrees",
                  kRealFormat),
    realParameter(Panner::kLsSpeakerAngleId, "LS Speaker Angle", 120.0, 0.0, 360.0, "degrees",
                  kRealFormat),
    realParameter(Panner::kRsSpeakerAngleId, "RS Speaker Angle", 240.0, 0.0, 360.0, "degrees",
                  kRealFormat),
    textItem(Panner::kSpeakerAnglesHeadingId, "Speaker Angles:"),
    textItem(Panner::kVersionId, "\nVersion:"),
};

constexpr const char* kInputNames[] = {"audio in"};
constexpr const char* kOutputNames[] = {"LF", "RF", "C", "LS", "RS"};
constexpr PinTable kPins{.audioIn = {1, kInputNames},
                         .audioOut = {static_cast<int32_t>(panner::kSpeakers), kOutputNames}};

}  // namespace

ConstantPowerPanner4_6::ConstantPowerPanner4_6(HostRecord* host)
    : BidulePlugin(host, kPins, kParameters) {}

bool ConstantPowerPanner4_6::start() {
    setTextValue(kVersionId, informationText.text);
    return true;
}

void ConstantPowerPanner4_6::parameterChanged(int32_t id) {
    // Nothing is derived here: the gains follow the angles at the next block.
    switch (id) {
    case kPanAngleId: angles.pan = getRealValue(id); break;
    case kLfSpeakerAngleId: angles.lf = getRealValue(id); break;
    case kRfSpeakerAngleId: angles.rf = getRealValue(id); break;
    case kCSpeakerAngleId: angles.c = getRealValue(id); break;
    case kLsSpeakerAngleId: angles.ls = getRealValue(id); break;
    case kRsSpeakerAngleId: angles.rs = getRealValue(id); break;
    default: break;
    }
}

void ConstantPowerPanner4_6::process(const BlockBuffers& buffers) {
    const AudioPins audioIn = buffers.audioIn;
    const AudioPins audioOut = buffers.audioOut;
    // Once per block, even an empty one: the gains jump at block boundaries.
    panner::updateGains(angles, working, gains);
    if (audioIn == nullptr || audioOut == nullptr) {
        return;
    }
    panner::applyGains(gains, audioIn[0], audioOut, loopCount(engineInfo.blockSize));
}

}  // namespace quorveil
