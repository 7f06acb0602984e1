#include "modules/clip/Clip4_6.h"

#include <array>

#include "frame/ParameterTable.h"
#include "modules/common/LoopCount.h"
#include "modules/clip/ClipKernel.h"

namespace quorveil {

using namespace plogue::biduleSDK;

namespace {

constexpr std::array kParameters{
    indicatorParameter(Clip4_6::kClipIndicatorId, "Clip4_6"),
    textItem(Clip4_6::kVersionId, "\nVersion:"),
};

}  // namespace

Clip4_6::Clip4_6(HostRecord* host) : BidulePlugin(host) {
    numAudioIn = clip::kChannels;
    numAudioOut = clip::kChannels + 1;
    numParameters = static_cast<int32_t>(kParameters.size());
}

bool Clip4_6::start() {
    setTextValue(kVersionId, informationText.text);
    return true;
}

void Clip4_6::parameterChanged(int32_t) {}

void Clip4_6::fillParameterInfo(ParameterInfo* infos) { writeParameterTable(infos, kParameters); }

void Clip4_6::process(AudioPins audioIn, AudioPins audioOut, void*, void*, SpectralPins,
                      SpectralPins, SpectralPins, SpectralPins, void*, void*) {
    if (audioIn == nullptr || audioOut == nullptr) {
        return;
    }
    const float delay = clip::fftDelay(engineInfo.fftSize, engineInfo.overlap);
    clip::passBlock(audioIn, audioOut, delay, loopCount(engineInfo.blockSize), [this] {
        // Pulse the indicator, off then on, so the host sees every clip even
        // while it is still lit from the last one.
        setIntValue(kClipIndicatorId, 0);
        setIntValue(kClipIndicatorId, 1);
    });
}

void Clip4_6::getAudioInNames(TextList& names) {
    names.insert(names.end(), {"LF in", "RF in", "C in", "LFE in", "LS in", "RS in"});
}

void Clip4_6::getAudioOutNames(TextList& names) {
    names.insert(names.end(),
                 {"LF out", "RF out", "C out", "LFE out", "LS out", "RS out", "FFT Delay"});
}

}  // namespace quorveil
