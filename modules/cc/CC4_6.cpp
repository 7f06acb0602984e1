#include "modules/cc/CC4_6.h"

#include <array>

#include "frame/ParameterTable.h"
#include "modules/cc/CCKernel.h"
#include "modules/common/LoopCount.h"

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

}  // namespace

CC4_6::CC4_6(HostRecord* host) : BidulePlugin(host) {
    numMagnitudeIn = 2;
    numMagnitudeOut = static_cast<int32_t>(cc::kOutputs);
    numParameters = static_cast<int32_t>(kParameters.size());
}

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

void CC4_6::fillParameterInfo(ParameterInfo* infos) { writeParameterTable(infos, kParameters); }

void CC4_6::process(AudioPins, AudioPins, void*, void*, SpectralPins, SpectralPins,
                    SpectralPins magnitudeIn, SpectralPins magnitudeOut, void*, void*) {
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

// Only the magnitude family has pins. The host takes the first names of the
// concatenated lists, audio first, so the audio names are the ones it shows
// on the magnitude pins; the names after them never reach it.
void CC4_6::getAudioInNames(TextList& names) { names.insert(names.end(), {"L", "R"}); }
void CC4_6::getAudioOutNames(TextList& names) { names.insert(names.end(), {"C", "LS", "RS"}); }
void CC4_6::getMidiInNames(TextList& names) { names.emplace_back("Passthrough MIDI in"); }
void CC4_6::getMidiOutNames(TextList& names) { names.emplace_back("Passthrough MIDI out"); }
void CC4_6::getFrequencyInNames(TextList& names) { names.emplace_back("Passthrough frequency in"); }
void CC4_6::getFrequencyOutNames(TextList& names) {
    names.emplace_back("Passthrough frequency out");
}
void CC4_6::getMagnitudeInNames(TextList& names) { names.insert(names.end(), {"L", "R"}); }
void CC4_6::getMagnitudeOutNames(TextList& names) {
    names.insert(names.end(), {"C", "LS", "RS"});
}

}  // namespace quorveil
