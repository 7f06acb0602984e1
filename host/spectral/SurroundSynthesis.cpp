// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/SurroundSynthesis.h"

#include <algorithm>

#include "host/hosting/Count.h"
#include "compiler/VectorClones.h"

namespace quorveil::spectral {

namespace {

using host::count;

// Clip4_6 passes six channels.
constexpr int kClipChannels = 6;
// The limiter lets go with this time constant.
constexpr double kReleaseSeconds = 0.08;

bool isSurround(SpeakerId id) {
    return id == SpeakerId::BL || id == SpeakerId::BR || id == SpeakerId::SL || id == SpeakerId::SR;
}

}  // namespace

PlacedHop::PlacedHop(std::size_t bins) : left(bins), right(bins), matrix(matrixBlocks(bins)), inputs(bins) {}

void PlacedHop::silence() {
    std::fill(left.begin(), left.end(), std::complex<float>());
    std::fill(right.begin(), right.end(), std::complex<float>());
}

SurroundSynthesis::SurroundSynthesis(const host::PluginLibrary& library,
                                     const StftSettings& settings, const StftWindows& windows,
                                     const SpeakerLayout& layout, std::size_t longestDelay,
                                     std::size_t lookahead)
    : settings_(settings), hop_(count(settings.hop())), bins_(count(settings.binCount())),
      routing_(layout, settings.binCount()), fft_(settings.fftSize),
      mixed_(static_cast<std::size_t>(layout.count) * bins_), lfeShares_(bins_),
      lineLength_(longestDelay + hop_), preEchoGate_(layout.count, routing_.lfeChannel(), settings.sampleRate, hop_),
      limiter_(layout.count, lookahead, kReleaseSeconds * settings.sampleRate) {
    for (int c = 0; c < layout.count; ++c) {
        synthesizers_.emplace_back(settings, windows, fft_);
        if (isSurround(layout.speakers[static_cast<std::size_t>(c)].id)) surroundChannels_.push_back(c);
    }
    lines_.assign(surroundChannels_.size() * lineLength_, 0.0f);
    fillLfeShares(lfeShares_.data(), bins_, lfeCutoffHz_, settings_.sampleRate, settings_.fftSize);

    for (int first = 0; first < layout.count; first += kClipChannels) {
        clips_.push_back(std::make_unique<GraphModule>(library, library.findModule("Clip4_6"),
                                                       engineInfoFor(settings, 1)));
        GraphModule& clip = *clips_.back();
        host::HostedInstance& instance = clip.session.instance();
        for (const host::ParameterDescription& parameter : clip.session.parameters()) {
            const host::StoredParameter& stored = instance.parameter(parameter.id);
            if (parameter.isIndicator()) clipLights_.push_back(&stored);
        }
        clip.session.takeMessages();
        instance.setServiceLogKept(false);
    }
}

uint64_t SurroundSynthesis::clippedSamples() const {
    uint64_t raised = 0;
    for (const host::StoredParameter* light : clipLights_) raised += light->raised;
    return raised - clipsBefore_;
}

void SurroundSynthesis::reset(float gain) {
    for (ChannelSynthesizer& synthesizer : synthesizers_) synthesizer.reset();
    std::fill(lines_.begin(), lines_.end(), 0.0f);
    lineWrite_ = 0;
    gain_ = gain;
    preEchoGate_.reset();
    limiter_.reset();
    clipsBefore_ = 0;
    for (const host::StoredParameter* light : clipLights_) clipsBefore_ += light->raised;
}

void SurroundSynthesis::followLfeCutoff(double cutoffHz) {
    if (cutoffHz == lfeCutoffHz_) return;
    fillLfeShares(lfeShares_.data(), bins_, cutoffHz, settings_.sampleRate, settings_.fftSize);
    lfeCutoffHz_ = cutoffHz;
}

void SurroundSynthesis::render(const PlacedHop& hop, float* out) {
    followLfeCutoff(hop.lfeCutoffHz);
    const bool lfeSilent = !(hop.lfeCutoffHz > 0.0);
    const int channels = routing_.channels(), lfe = routing_.lfeChannel();
    std::array<std::complex<float>*, kMostSpeakers> spectra{};
    for (int c = 0; c < channels; ++c) {
        spectra[static_cast<std::size_t>(c)] = mixed_.data() + count(c) * bins_;
    }
    mixSpeakers(hop.matrix.data(), hop.left.data(), hop.right.data(), routing_,
                lfeSilent ? nullptr : lfeShares_.data(), hop.lfeMode, hop.scale, spectra, bins_);

    for (int c = 0; c < channels; ++c) {
        float* samples = out + count(c) * hop_;
        if (c == lfe && lfeSilent) {
            synthesizers_[count(c)].synthesiseSilence(samples);
        } else {
            synthesizers_[count(c)].synthesiseBins(spectra[static_cast<std::size_t>(c)], samples);
        }
    }
    // Input sample i leaves the synthesisers as sample i + fftSize (the
    // sample the limiter keeps first is the one that carries input sample 0).
    for (std::size_t i = 0; i < hop.onsets.count; ++i)
        preEchoGate_.expect(hop.onsets.at[i] + static_cast<uint64_t>(settings_.fftSize));
    preEchoGate_.process(out, hop_, hop_);
    delaySurrounds(out, hop.rearDelay);
    gain(out, hop.gain);
    limiter_.countSpan(firstKeptSample(), hop.countedEnd);
    limiter_.process(out, hop_, hop_, hop.limit);
    clip(out);
}

// Each surround passes through its line: the hop is written at lineWrite_
// and read `delay` samples behind. Writing the whole hop before reading gives
// what sample-by-sample would, because a delay never exceeds the line less a
// hop. A new delay cross-fades from the old reading to the new one over the
// hop, so a host that automates it hears no click.
void SurroundSynthesis::delaySurrounds(float* out, std::size_t delay) {
    const std::size_t previous = delay_;
    const std::size_t read = (lineWrite_ + lineLength_ - delay) % lineLength_;
    const std::size_t readBefore = (lineWrite_ + lineLength_ - previous) % lineLength_;
    for (std::size_t s = 0; s < surroundChannels_.size(); ++s) {
        float* line = lines_.data() + s * lineLength_;
        float* samples = out + count(surroundChannels_[s]) * hop_;
        const std::size_t first = std::min(hop_, lineLength_ - lineWrite_);
        std::copy(samples, samples + first, line + lineWrite_);
        std::copy(samples + first, samples + hop_, line);
        if (delay == previous) {
            const std::size_t ahead = std::min(hop_, lineLength_ - read);
            std::copy(line + read, line + read + ahead, samples);
            std::copy(line, line + (hop_ - ahead), samples + ahead);
            continue;
        }
        const float step = 1.0f / static_cast<float>(hop_);
        for (std::size_t i = 0; i < hop_; ++i) {
            const float fade = static_cast<float>(i + 1) * step;
            const float now = line[(read + i) % lineLength_];
            const float before = line[(readBefore + i) % lineLength_];
            samples[i] = before + fade * (now - before);
        }
    }
    lineWrite_ = (lineWrite_ + hop_) % lineLength_;
    delay_ = delay;
}

// The gain glides from its last value to `target` over the hop.
QUORVEIL_VECTOR_CLONES
void SurroundSynthesis::gain(float* out, float target) {
    const float step = (target - gain_) / static_cast<float>(hop_);
    const std::size_t total = count(routing_.channels()) * hop_;
    if (step == 0.0f && gain_ == 1.0f) return;
    for (std::size_t at = 0; at < total; ++at) {
        const std::size_t i = at % hop_;
        out[at] *= gain_ + step * static_cast<float>(i + 1);
    }
    gain_ = target;
}

// Every channel through Clip4_6, six at a time; its outputs are the samples.
void SurroundSynthesis::clip(float* out) {
    const int channels = routing_.channels();
    for (std::size_t group = 0; group < clips_.size(); ++group) {
        host::ProcessBuffers& buffers = clips_[group]->buffers;
        const int first = static_cast<int>(group) * kClipChannels;
        const int here = std::min(kClipChannels, channels - first);
        for (int c = 0; c < kClipChannels; ++c) {
            float* in = buffers.audioIn.pin(c);
            if (c < here) {
                const float* samples = out + count(first + c) * hop_;
                std::copy(samples, samples + hop_, in);
            } else {
                std::fill(in, in + hop_, 0.0f);
            }
        }
        clips_[group]->process();
        for (int c = 0; c < here; ++c) {
            const float* passed = buffers.audioOut.pin(c);
            std::copy(passed, passed + hop_, out + count(first + c) * hop_);
        }
    }
}

}  // namespace quorveil::spectral
