// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/SurroundSynthesis.h"

#include <algorithm>

#include "host/hosting/Count.h"
#include "compiler/VectorClones.h"

namespace quorveil::spectral {

namespace {

using host::count;

template <typename T>
const T* keptCopy(const T* from, std::vector<T>& into) {
    std::copy(from, from + into.size(), into.begin());
    return into.data();
}

}  // namespace

PlacedHop::PlacedHop(std::size_t bins)
    : left(bins), right(bins), direct_(bins), ambientLeft_(bins), ambientRight_(bins) {
    for (std::vector<float>& weight : weights_) weight.assign(bins, 0.0f);
    mix.left = left.data();
    mix.right = right.data();
}

void PlacedHop::keep() {
    mix.direct = keptCopy(mix.direct, direct_);
    mix.ambientLeft = keptCopy(mix.ambientLeft, ambientLeft_);
    mix.ambientRight = keptCopy(mix.ambientRight, ambientRight_);
    for (std::size_t s = 0; s < kMainSpeakers; ++s) {
        mix.weights[s] = keptCopy(mix.weights[s], weights_[s]);
    }
}

SurroundSynthesis::SurroundSynthesis(const host::PluginLibrary& library,
                                     const StftSettings& settings, const StftWindows& windows,
                                     std::size_t longestDelay)
    : settings_(settings), hop_(count(settings.hop())), bins_(count(settings.binCount())),
      fft_(settings.fftSize), mixed_(kUpmixChannels * bins_), lfeShares_(bins_),
      lineLength_(longestDelay + hop_), clip_(std::make_unique<GraphModule>(
                                            library, library.findModule("Clip4_6"),
                                            engineInfoFor(settings, 1))) {
    for (int c = 0; c < kUpmixChannels; ++c) synthesizers_.emplace_back(settings, windows, fft_);
    rearLines_.assign(2 * lineLength_, 0.0f);
    fillLfeShares(lfeShares_.data(), bins_, lfeCutoffHz_, settings_.sampleRate, settings_.fftSize);

    host::HostedInstance& clip = clip_->session.instance();
    for (const host::ParameterDescription& parameter : clip_->session.parameters()) {
        const host::StoredParameter& stored = clip.parameter(parameter.id);
        if (parameter.isIndicator()) clipLight_ = &stored;
    }
    clip_->session.takeMessages();
    clip.setServiceLogKept(false);
}

uint64_t SurroundSynthesis::clippedSamples() const {
    return clipLight_ != nullptr ? clipLight_->raised - clipsBefore_ : 0;
}

void SurroundSynthesis::reset(float gain) {
    for (ChannelSynthesizer& synthesizer : synthesizers_) synthesizer.reset();
    std::fill(rearLines_.begin(), rearLines_.end(), 0.0f);
    lineWrite_ = 0;
    gain_ = gain;
    clipsBefore_ = clipLight_ != nullptr ? clipLight_->raised : 0;
}

void SurroundSynthesis::followLfeCutoff(double cutoffHz) {
    if (cutoffHz == lfeCutoffHz_) return;
    fillLfeShares(lfeShares_.data(), bins_, cutoffHz, settings_.sampleRate, settings_.fftSize);
    lfeCutoffHz_ = cutoffHz;
}

void SurroundSynthesis::render(const PlacedHop& hop, float* out) {
    followLfeCutoff(hop.lfeCutoffHz);
    const bool lfeSilent = !(hop.lfeCutoffHz > 0.0);
    MixInputs in = hop.mix;
    in.lfeShare = lfeSilent ? nullptr : lfeShares_.data();
    std::array<std::complex<float>*, kUpmixChannels> spectra{};
    for (std::size_t c = 0; c < kUpmixChannels; ++c) spectra[c] = mixed_.data() + c * bins_;
    mixSpeakers(in, hop.levels, spectra, bins_);

    for (std::size_t c = 0; c < kUpmixChannels; ++c) {
        float* samples = out + c * hop_;
        if (c == LFE && lfeSilent) {
            synthesizers_[c].synthesiseSilence(samples);
        } else {
            synthesizers_[c].synthesiseBins(spectra[c], samples);
        }
    }
    delayRears(out, hop.rearDelay);
    gainAndClip(out, hop.gain);
}

// Each rear passes through its line: the hop is written at lineWrite_ and
// read `delay` samples behind. Writing the whole hop before reading gives
// what sample-by-sample would, because a delay never exceeds the line less a
// hop: no read can reach a place this hop writes later.
void SurroundSynthesis::delayRears(float* out, std::size_t delay) {
    const std::size_t rears[2] = {BL, BR};
    const std::size_t read = (lineWrite_ + lineLength_ - delay) % lineLength_;
    for (std::size_t r = 0; r < 2; ++r) {
        float* line = rearLines_.data() + r * lineLength_;
        float* samples = out + rears[r] * hop_;
        const std::size_t first = std::min(hop_, lineLength_ - lineWrite_);
        std::copy(samples, samples + first, line + lineWrite_);
        std::copy(samples + first, samples + hop_, line);
        const std::size_t ahead = std::min(hop_, lineLength_ - read);
        std::copy(line + read, line + read + ahead, samples);
        std::copy(line, line + (hop_ - ahead), samples + ahead);
    }
    lineWrite_ = (lineWrite_ + hop_) % lineLength_;
}

// The gain glides from its last value to `target` over the hop, then the
// six channels pass through Clip4_6 and come back from its outputs.
QUORVEIL_VECTOR_CLONES
void SurroundSynthesis::gainAndClip(float* out, float target) {
    host::ProcessBuffers& buffers = clip_->buffers;
    const float step = (target - gain_) / static_cast<float>(hop_);
    for (int c = 0; c < kUpmixChannels; ++c) {
        const float* samples = out + count(c) * hop_;
        float* in = buffers.audioIn.pin(c);
        for (std::size_t i = 0; i < hop_; ++i) {
            in[i] = samples[i] * (gain_ + step * static_cast<float>(i + 1));
        }
    }
    gain_ = target;
    clip_->process();
    for (int c = 0; c < kUpmixChannels; ++c) {
        const float* passed = buffers.audioOut.pin(c);
        std::copy(passed, passed + hop_, out + count(c) * hop_);
    }
}

}  // namespace quorveil::spectral
