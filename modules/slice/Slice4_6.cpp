#include "modules/slice/Slice4_6.h"

#include <array>

#include "frame/ParameterTable.h"
#include "modules/common/LoopCount.h"
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

}  // namespace

Slice4_6::Slice4_6(HostRecord* host) : BidulePlugin(host) {
    numMagnitudeIn = 2;
    numMagnitudeOut = static_cast<int32_t>(slice::kOutputs);
    numParameters = static_cast<int32_t>(kParameters.size());
}

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

void Slice4_6::fillParameterInfo(ParameterInfo* infos) { writeParameterTable(infos, kParameters); }

void Slice4_6::process(AudioPins, AudioPins, void*, void*, SpectralPins, SpectralPins,
                       SpectralPins magnitudeIn, SpectralPins magnitudeOut, void*, void*) {
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

// Only the magnitude family has pins. The host takes the first names of the
// concatenated lists, audio first, so the audio names are the ones it shows
// on the magnitude pins; the names after them never reach it.
void Slice4_6::getAudioInNames(TextList& names) { names.insert(names.end(), {"L", "R"}); }
void Slice4_6::getAudioOutNames(TextList& names) {
    names.insert(names.end(), {"LF", "RF", "C", "LS", "RS"});
}
void Slice4_6::getMidiInNames(TextList& names) { names.emplace_back("Passthrough MIDI in"); }
void Slice4_6::getMidiOutNames(TextList& names) { names.emplace_back("Passthrough MIDI out"); }
void Slice4_6::getFrequencyInNames(TextList& names) {
    names.emplace_back("Passthrough frequency in");
}
void Slice4_6::getFrequencyOutNames(TextList& names) {
    names.emplace_back("Passthrough frequency out");
}
void Slice4_6::getMagnitudeInNames(TextList& names) { names.insert(names.end(), {"L", "R"}); }
void Slice4_6::getMagnitudeOutNames(TextList& names) {
    names.insert(names.end(), {"LF", "RF", "C", "LS", "RS"});
}

}  // namespace quorveil
