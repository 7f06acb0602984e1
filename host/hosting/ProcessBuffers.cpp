// SPDX-License-Identifier: MIT
#include "host/hosting/ProcessBuffers.h"

#include <algorithm>

#include "host/hosting/Count.h"

namespace quorveil::host {

AudioPinBuffers::AudioPinBuffers(int32_t pins, int32_t blockSize)
    : blockSize_(blockSize), samples_(count(pins) * count(blockSize)), pointers_(count(pins)) {
    for (std::size_t p = 0; p < pointers_.size(); ++p) {
        pointers_[p] = samples_.data() + p * count(blockSize);
    }
}

void AudioPinBuffers::fill(float value) { std::fill(samples_.begin(), samples_.end(), value); }

SpectralPinBuffers::SpectralPinBuffers(int32_t pins, int32_t frames, int32_t bins)
    : frameCount_(frames), binCount_(bins), values_(count(pins) * count(frames) * count(bins)),
      frames_(count(pins) * count(frames)), pins_(count(pins)) {
    for (std::size_t f = 0; f < frames_.size(); ++f) {
        frames_[f] = values_.data() + f * count(bins);
    }
    for (std::size_t p = 0; p < pins_.size(); ++p) {
        pins_[p] = frames_.data() + p * count(frames);
    }
}

void SpectralPinBuffers::fill(float value) { std::fill(values_.begin(), values_.end(), value); }

ProcessBuffers::ProcessBuffers(const PinCounts& counts, const plogue::biduleSDK::EngineInfo& engine)
    : audioIn(counts.audioIn, engine.blockSize),
      audioOut(counts.audioOut, engine.blockSize),
      frequencyIn(counts.frequencyIn, engine.frameCount, engine.binCount),
      frequencyOut(counts.frequencyOut, engine.frameCount, engine.binCount),
      magnitudeIn(counts.magnitudeIn, engine.frameCount, engine.binCount),
      magnitudeOut(counts.magnitudeOut, engine.frameCount, engine.binCount) {}

plogue::biduleSDK::EngineInfo makeEngineInfo(double sampleRate, int32_t blockSize,
                                             int32_t fftSize, int32_t overlap,
                                             int32_t frameCount) {
    plogue::biduleSDK::EngineInfo engine{};
    engine.sampleRate = sampleRate;
    engine.blockSize = blockSize;
    engine.fftSize = fftSize;
    engine.binCount = fftSize / 2 + 1;
    engine.overlap = overlap;
    engine.frameCount = frameCount;
    return engine;
}

}  // namespace quorveil::host
