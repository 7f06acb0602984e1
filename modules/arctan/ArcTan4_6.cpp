// SPDX-License-Identifier: MIT
#include "modules/arctan/ArcTan4_6.h"

#include <array>

#include "frame/ParameterTable.h"
#include "modules/common/LoopCount.h"
#include "modules/common/SpeakerRingParameters.h"

namespace quorveil {

using namespace plogue::biduleSDK;

namespace {

constexpr const char* kFreqModeChoices[] = {"HFTC", "HFTS", "HFTL", "HFTR", "Disabled"};
constexpr const char* kModeChoices[] = {"Sum", "Across", "Diagonal"};

// In the order the host lays out the panel; the speaker angles sit before
// their heading there, though their ids follow it.
constexpr auto kParameters = joinParameterRows(
    std::array{realParameter(ArcTan4_6::kMagFreqRatioId, "Mag/Freq Ratio", 1.0, 0.0, 1.0,
                             "Image Portion", 1)},
    speakerAngleRows({ArcTan4_6::kLfAngleId, ArcTan4_6::kRfAngleId, ArcTan4_6::kCAngleId,
                      ArcTan4_6::kLsAngleId, ArcTan4_6::kRsAngleId,
                      ArcTan4_6::kSpeakerAnglesLabelId}),
    std::array{choiceParameter(ArcTan4_6::kModeId, "Mode", 0, kModeChoices)},
    imageWidthRows({ArcTan4_6::kCenterWidthId, ArcTan4_6::kFrontWidthId, ArcTan4_6::kRearWidthId}),
    std::array{textItem(ArcTan4_6::kVersionId, "\nVersion:"),
               choiceParameter(ArcTan4_6::kFreqModeId, "Freq. Mode", 0, kFreqModeChoices),
               realParameter(ArcTan4_6::kTotalImageWidthId, "Total Image Width", 360.0, 0.0,
                             360.0, "degrees", 1)});

constexpr const char* kFrequencyInputNames[] = {"L frequency in", "R frequency in"};
constexpr const char* kMagnitudeInputNames[] = {"Left magnitude in", "Right magnitude in"};
// Ten speaker levels, then the position and the ring angle of each bin.
constexpr const char* kMagnitudeOutputNames[] = {
    "LF dominant out", "RF dominant out", "C dominant out", "LS dominant out", "RS dominant out",
    "LF lesser out",   "RF lesser out",   "C lesser out",   "LS lesser out",   "RS lesser out",
    "1",               "2"};
constexpr PinTable kPins{.frequencyIn = {2, kFrequencyInputNames},
                         .magnitudeIn = {2, kMagnitudeInputNames},
                         .magnitudeOut = {arctan::kOutputPins, kMagnitudeOutputNames}};

}  // namespace

ArcTan4_6::ArcTan4_6(HostRecord* host) : BidulePlugin(host, kPins, kParameters) {}

bool ArcTan4_6::start() {
    setTextValue(kVersionId, informationText.text);
    // The rear width follows from the centre and front widths: shown, not set.
    setParameterEnabled(kRearWidthId, false);
    placement.fillGainTables();
    return true;
}

void ArcTan4_6::parameterChanged(int32_t id) {
    switch (id) {
    case kMagFreqRatioId: values.ratio = getRealValue(id); break;
    case kFreqModeId: values.freqMode = getIntValue(id); break;
    case kTotalImageWidthId: values.totalWidth = getRealValue(id); break;
    case kCenterWidthId: values.centerWidth = getRealValue(id); break;
    case kFrontWidthId: values.frontWidth = getRealValue(id); break;
    case kModeId: values.mode = getIntValue(id); break;
    case kLfAngleId: values.speakerAngle[arctan::LF] = getRealValue(id); break;
    case kRfAngleId: values.speakerAngle[arctan::RF] = getRealValue(id); break;
    case kCAngleId: values.speakerAngle[arctan::C] = getRealValue(id); break;
    case kLsAngleId: values.speakerAngle[arctan::LS] = getRealValue(id); break;
    case kRsAngleId: values.speakerAngle[arctan::RS] = getRealValue(id); break;
    default: break;  // the rear width, the two text items, unknown ids
    }
    // Whatever changed, the whole state is derived anew from the latest
    // values, and the host is shown the rear width they leave.
    values.rearWidth = arctan::rearWidthFor(values.centerWidth, values.frontWidth);
    setRealValue(kRearWidthId, values.rearWidth);
    placement.updatePlacement(values);
}

void ArcTan4_6::process(const BlockBuffers& buffers) {
    const SpectralPins frequencyIn = buffers.frequencyIn;
    const SpectralPins magnitudeIn = buffers.magnitudeIn;
    const SpectralPins magnitudeOut = buffers.magnitudeOut;
    if (frequencyIn == nullptr || magnitudeIn == nullptr || magnitudeOut == nullptr) {
        return;
    }
    placement.processBlock(frequencyIn, magnitudeIn, magnitudeOut,
                           loopCount(engineInfo.frameCount),
                           loopCount(engineInfo.binCount));
}

}  // namespace quorveil
