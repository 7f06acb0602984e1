// SPDX-License-Identifier: MIT
// Host-shaped buffers for the process entry: per audio pin one array of
// blockSize floats; per spectral pin a table of frameCount frames of binCount
// floats. A family without pins is passed as a null table.
#pragma once

#include <cstddef>
#include <vector>

#include "frame/HostRecords.h"

namespace quorveil::host {

struct PinCounts {
    int32_t audioIn = 0, audioOut = 0, midiIn = 0, midiOut = 0;
    int32_t frequencyIn = 0, frequencyOut = 0, magnitudeIn = 0, magnitudeOut = 0;
};

class AudioPinBuffers {
public:
    AudioPinBuffers(int32_t pins, int32_t blockSize);
    float* pin(int32_t index) { return pointers_[static_cast<std::size_t>(index)]; }
    const float* pin(int32_t index) const { return pointers_[static_cast<std::size_t>(index)]; }
    int32_t pinCount() const { return static_cast<int32_t>(pointers_.size()); }
    int32_t blockSize() const { return blockSize_; }
    plogue::biduleSDK::AudioPins table() { return pointers_.empty() ? nullptr : pointers_.data(); }
    void fill(float value);

private:
    int32_t blockSize_;
    std::vector<float> samples_;
    std::vector<float*> pointers_;
};

class SpectralPinBuffers {
public:
    SpectralPinBuffers(int32_t pins, int32_t frames, int32_t bins);
    float* frame(int32_t pin, int32_t frameIndex) {
        return frames_[static_cast<std::size_t>(pin * frameCount_ + frameIndex)];
    }
    const float* frame(int32_t pin, int32_t frameIndex) const {
        return frames_[static_cast<std::size_t>(pin * frameCount_ + frameIndex)];
    }
    int32_t pinCount() const { return static_cast<int32_t>(pins_.size()); }
    int32_t frameCount() const { return frameCount_; }
    int32_t binCount() const { return binCount_; }
    plogue::biduleSDK::SpectralPins table() { return pins_.empty() ? nullptr : pins_.data(); }
    void fill(float value);

private:
    int32_t frameCount_;
    int32_t binCount_;
    std::vector<float> values_;
    std::vector<float*> frames_;
    std::vector<float**> pins_;
};

struct ProcessBuffers {
    ProcessBuffers(const PinCounts& counts, const plogue::biduleSDK::EngineInfo& engine);

    AudioPinBuffers audioIn, audioOut;
    SpectralPinBuffers frequencyIn, frequencyOut, magnitudeIn, magnitudeOut;
};

// Engine settings as our hosts set them: binCount follows the FFT size.
plogue::biduleSDK::EngineInfo makeEngineInfo(double sampleRate, int32_t blockSize,
                                             int32_t fftSize, int32_t overlap,
                                             int32_t frameCount);

}  // namespace quorveil::host
