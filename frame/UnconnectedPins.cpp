// SPDX-License-Identifier: MIT
#include "frame/UnconnectedPins.h"

#include <algorithm>

#include "frame/BidulePlugin.h"

namespace plogue::biduleSDK {

namespace {

std::size_t countOf(int32_t count) { return count > 0 ? static_cast<std::size_t>(count) : 0; }

}  // namespace

void UnconnectedPins::prepare(const PinTable& pins, const EngineInfo& engine) noexcept {
    // The buffers keep their memory: settings no larger than the largest
    // seen before (a host announcing a shorter block) allocate nothing.
    ready_ = false;
    audioIn_.pins = countOf(pins.audioIn.count);
    audioOut_.pins = countOf(pins.audioOut.count);
    frequencyIn_.pins = countOf(pins.frequencyIn.count);
    frequencyOut_.pins = countOf(pins.frequencyOut.count);
    magnitudeIn_.pins = countOf(pins.magnitudeIn.count);
    magnitudeOut_.pins = countOf(pins.magnitudeOut.count);
    blockSize_ = countOf(engine.blockSize);
    binCount_ = countOf(engine.binCount);
    frameCount_ = countOf(engine.frameCount);
    if (blockSize_ > kMostFloatsPerPin || binCount_ > kMostFloatsPerPin ||
        frameCount_ > kMostFrames) {
        return;
    }
    try {
        build();
        ready_ = true;
    } catch (...) {
        clear();
    }
}

void UnconnectedPins::build() {
    // At least one float each, so that no stand-in is ever a null pointer.
    silence_.assign(std::max({blockSize_, binCount_, std::size_t{1}}), 0.0f);
    const std::size_t audioRun = std::max(blockSize_, std::size_t{1});
    const std::size_t spectralRun = std::max(binCount_, std::size_t{1});
    scratch_.assign(audioOut_.pins * audioRun +
                        (frequencyOut_.pins + magnitudeOut_.pins) * spectralRun,
                    0.0f);
    float* scratch = scratch_.data();
    audioOut_.scratch = scratch;
    frequencyOut_.scratch = scratch + audioOut_.pins * audioRun;
    magnitudeOut_.scratch = frequencyOut_.scratch + frequencyOut_.pins * spectralRun;

    for (AudioFamily* family : {&audioIn_, &audioOut_}) {
        family->table.assign(family->pins, nullptr);
    }
    const std::size_t framesPerPin = std::max(frameCount_, std::size_t{1});
    for (SpectralFamily* family : {&frequencyIn_, &frequencyOut_, &magnitudeIn_, &magnitudeOut_}) {
        family->frames.assign(family->pins * framesPerPin, nullptr);
        family->table.assign(family->pins, nullptr);
        for (std::size_t p = 0; p < family->pins; ++p) {
            family->table[p] = family->frames.data() + p * framesPerPin;
        }
    }
}

// Frees every stand-in; the pin counts stay, so that a null entry is still
// found (and its family withheld) while there are no stand-ins.
void UnconnectedPins::clear() noexcept {
    ready_ = false;
    silence_ = {};
    scratch_ = {};
    for (AudioFamily* family : {&audioIn_, &audioOut_}) {
        family->table = {};
        family->scratch = nullptr;
    }
    for (SpectralFamily* family : {&frequencyIn_, &frequencyOut_, &magnitudeIn_, &magnitudeOut_}) {
        family->frames = {};
        family->table = {};
        family->scratch = nullptr;
    }
}

float* UnconnectedPins::standIn(float* scratch, std::size_t run, std::size_t pin) {
    return scratch != nullptr ? scratch + pin * run : silence_.data();
}

AudioPins UnconnectedPins::connectAudio(AudioPins host, AudioFamily& family) {
    if (host == nullptr) {
        return host;
    }
    bool unconnected = false;
    for (std::size_t p = 0; p < family.pins; ++p) {
        unconnected |= host[p] == nullptr;
    }
    if (!unconnected) {
        return host;
    }
    if (!ready_) {
        return nullptr;
    }
    const std::size_t run = std::max(blockSize_, std::size_t{1});
    for (std::size_t p = 0; p < family.pins; ++p) {
        family.table[p] = host[p] != nullptr ? host[p] : standIn(family.scratch, run, p);
    }
    return family.table.data();
}

SpectralPins UnconnectedPins::connectSpectral(SpectralPins host, SpectralFamily& family) {
    if (host == nullptr) {
        return host;
    }
    bool unconnected = false;
    for (std::size_t p = 0; p < family.pins && !unconnected; ++p) {
        float** frames = host[p];
        unconnected = frames == nullptr;
        for (std::size_t f = 0; f < frameCount_ && !unconnected; ++f) {
            unconnected = frames[f] == nullptr;
        }
    }
    if (!unconnected) {
        return host;
    }
    if (!ready_) {
        return nullptr;
    }
    const std::size_t run = std::max(binCount_, std::size_t{1});
    for (std::size_t p = 0; p < family.pins; ++p) {
        float* const pinStandIn = standIn(family.scratch, run, p);
        float** frames = family.table[p];
        for (std::size_t f = 0; f < frameCount_; ++f) {
            float* hostFrame = host[p] != nullptr ? host[p][f] : nullptr;
            frames[f] = hostFrame != nullptr ? hostFrame : pinStandIn;
        }
    }
    return family.table.data();
}

BlockBuffers UnconnectedPins::connect(const BlockBuffers& host) {
    BlockBuffers buffers = host;
    buffers.audioIn = connectAudio(host.audioIn, audioIn_);
    buffers.audioOut = connectAudio(host.audioOut, audioOut_);
    buffers.frequencyIn = connectSpectral(host.frequencyIn, frequencyIn_);
    buffers.frequencyOut = connectSpectral(host.frequencyOut, frequencyOut_);
    buffers.magnitudeIn = connectSpectral(host.magnitudeIn, magnitudeIn_);
    buffers.magnitudeOut = connectSpectral(host.magnitudeOut, magnitudeOut_);
    return buffers;
}

}  // namespace plogue::biduleSDK
