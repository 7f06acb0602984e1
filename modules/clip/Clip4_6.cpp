// SPDX-License-Identifier: MIT
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

constexpr const char* kInputNames[] = {"LF in", "RF in", "C in", "LFE in", "LS in", "RS in"};
constexpr const char* kOutputNames[] = {"LF out",  "RF out", "C out",    "LFE out",
                                        "LS out",  "RS out", "FFT Delay"};
constexpr PinTable kPins{.audioIn = {clip::kChannels, kInputNames},
                         .audioOut = {clip::kChannels + 1, kOutputNames}};

}  // namespace

Clip4_6::Clip4_6(HostRecord* host) : BidulePlugin(host, kPins, kParameters) {}

bool Clip4_6::start() {
    setTextValue(kVersionId, informationText.text);
    return true;
}

void Clip4_6::parameterChanged(int32_t) {}

void Clip4_6::process(const BlockBuffers& buffers) {
    const AudioPins audioIn = buffers.audioIn;
    const AudioPins audioOut = buffers.audioOut;
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

}  // namespace quorveil
