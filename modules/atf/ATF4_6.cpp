// SPDX-License-Identifier: MIT
#include "modules/atf/ATF4_6.h"

#include <array>

#include "frame/ParameterTable.h"
#include "modules/common/LoopCount.h"
#include "modules/common/SpeakerRingParameters.h"

namespace quorveil {

using namespace plogue::biduleSDK;

namespace {

constexpr std::array<const char*, 2> kModeChoices{"Across", "Diagonal"};

// In the order the host lays out the panel: depth, the speaker angles under
// their heading, then mode and the three widths. Ids are not positions.
constexpr auto kParameters = joinParameterRows(
    std::array{realParameter(ATF4_6::kDepthId, "Depth", 0.0, 0.0, 180.0, "degrees", 1)},
    speakerAngleRows({ATF4_6::kLfSpeakerAngleId, ATF4_6::kRfSpeakerAngleId,
                      ATF4_6::kCSpeakerAngleId, ATF4_6::kLsSpeakerAngleId,
                      ATF4_6::kRsSpeakerAngleId, ATF4_6::kSpeakerAnglesLabelId}),
    std::array{choiceParameter(ATF4_6::kModeId, "Mode", 0, kModeChoices)},
    imageWidthRows({ATF4_6::kCenterWidthId, ATF4_6::kFrontWidthId, ATF4_6::kRearWidthId}));

constexpr const char* kFrequencyInputNames[] = {"L", "R"};
constexpr const char* kMagnitudeInputNames[] = {"LF", "RF", "C", "LS", "RS"};
constexpr const char* kMagnitudeOutputNames[] = {"LF magnitude out", "RF magnitude out",
                                                 "C magnitude out", "LS magnitude out",
                                                 "RS magnitude out"};
constexpr PinTable kPins{.frequencyIn = {2, kFrequencyInputNames},
                         .magnitudeIn = {atf::kChannels, kMagnitudeInputNames},
                         .magnitudeOut = {atf::kChannels, kMagnitudeOutputNames}};

}  // namespace

ATF4_6::ATF4_6(HostRecord* host) : BidulePlugin(host, kPins, kParameters) {}

bool ATF4_6::start() {
    // "Rear Width" shows a gain the module computes; the user does not set it.
    setParameterEnabled(kRearWidthId, false);
    binScale = atf::binScale(engineInfo.sampleRate, engineInfo.fftSize, engineInfo.overlap);
    tables.fill();
    return true;
}

void ATF4_6::parameterChanged(int32_t id) {
    switch (id) {
    case kDepthId: depth = getRealValue(id); break;
    case kCenterWidthId: centerWidth = getRealValue(id); break;
    case kFrontWidthId: frontWidth = getRealValue(id); break;
    case kLfSpeakerAngleId: lfSpeakerAngle = getRealValue(id); break;
    case kRfSpeakerAngleId: rfSpeakerAngle = getRealValue(id); break;
    case kCSpeakerAngleId: cSpeakerAngle = getRealValue(id); break;
    case kLsSpeakerAngleId: lsSpeakerAngle = getRealValue(id); break;
    case kRsSpeakerAngleId: rsSpeakerAngle = getRealValue(id); break;
    case kModeId: mode = getIntValue(id); break;
    default: break;  // the gain display, the heading and unknown ids
    }
    depthFactor = atf::depthFactor(depth);
}

// Only "Mode" is a choice, and a host asks only for a choice's list.
void ATF4_6::fillChoiceList(int32_t, TextList& choices) {
    choices.insert(choices.end(), kModeChoices.begin(), kModeChoices.end());
}

void ATF4_6::process(const BlockBuffers& buffers) {
    const SpectralPins frequencyIn = buffers.frequencyIn;
    const SpectralPins magnitudeIn = buffers.magnitudeIn;
    const SpectralPins magnitudeOut = buffers.magnitudeOut;
    if (frequencyIn == nullptr || magnitudeIn == nullptr || magnitudeOut == nullptr) {
        return;
    }
    const atf::CrossFadeSettings settings{binScale, depthFactor, atf::modeFromChoice(mode)};
    const auto frameCount = loopCount(engineInfo.frameCount);
    const auto binCount = loopCount(engineInfo.binCount);
    float lastCosine = static_cast<float>(lastCosineGain);
    for (uint32_t j = 0; j < frameCount; ++j) {
        atf::FramePins pins{frequencyIn[0][j], frequencyIn[1][j], {}, {}};
        for (int k = 0; k < atf::kChannels; ++k) {
            pins.magnitudeIn[k] = magnitudeIn[k][j];
            pins.magnitudeOut[k] = magnitudeOut[k][j];
        }
        lastCosine = atf::crossFadeFrame(pins, binCount, settings, tables, lastCosine);
    }
    if (frameCount != 0 && binCount != 0) {
        lastCosineGain = static_cast<double>(lastCosine);
    }
}

void ATF4_6::onHostEvent20() { setRealValue(kRearWidthId, lastCosineGain); }

}  // namespace quorveil
