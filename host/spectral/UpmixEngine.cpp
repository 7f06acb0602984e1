// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/UpmixEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "host/hosting/Count.h"

namespace quorveil::spectral {

namespace {

using host::count;

float decibels(double db) { return static_cast<float>(std::pow(10.0, db / 20.0)); }

StftSettings checkedSettings(const UpmixSetup& setup) {
    const StftSettings settings{setup.sampleRate, setup.fftSize, setup.overlap};
    if (std::string problem = checkSettings(settings); !problem.empty()) {
        throw host::HostError(problem);
    }
    if (std::string problem = checkControls(setup.controls); !problem.empty()) {
        throw host::HostError(problem);
    }
    return settings;
}

}  // namespace

UpmixEngine::UpmixEngine(const host::PluginLibrary& library, const UpmixSetup& setup)
    : settings_(checkedSettings(setup)), hop_(count(settings_.hop())),
      bins_(count(settings_.binCount())), controls_(setup.controls), windows_(settings_),
      fft_(settings_.fftSize), split_(settings_.binCount()),
      placement_(library, engineInfoFor(settings_, 1), setup.settings, setup.force, setup.warnings),
      clip_(std::make_unique<GraphModule>(library, library.findModule("Clip4_6"),
                                          engineInfoFor(settings_, 1))),
      input_(2 * hop_), output_(kUpmixChannels * hop_), magnitudes_(2 * bins_),
      frequencies_(2 * bins_), spectra_(2 * bins_), mixed_(kUpmixChannels * bins_),
      lfeShares_(bins_) {
    for (int i = 0; i < 2; ++i) analyzers_.emplace_back(settings_, windows_, fft_);
    for (int c = 0; c < kUpmixChannels; ++c) synthesizers_.emplace_back(settings_, windows_, fft_);

    host::HostedInstance& clip = clip_->session.instance();
    for (const host::ParameterDescription& parameter : clip_->session.parameters()) {
        const host::StoredParameter& stored = clip.parameter(parameter.id);
        if (parameter.isIndicator()) clipLight_ = &stored;
    }
    clip_->session.takeMessages();
    clip.setServiceLogKept(false);

    lineLength_ =
        static_cast<std::size_t>(std::ceil(controlEntry(&UpmixControls::rearDelayMs).maximum *
                                           settings_.sampleRate / 1000.0)) +
        hop_;
    rearLines_.assign(2 * lineLength_, 0.0f);
    configure(controls_, true);
    gain_ = targetGain_;
}

UpmixEngine::~UpmixEngine() = default;

std::vector<host::HostMessage> UpmixEngine::takeSetupMessages() { return placement_.takeMessages(); }

uint64_t UpmixEngine::clippedSamples() const {
    return clipLight_ != nullptr ? clipLight_->raised - clipsBefore_ : 0;
}

void UpmixEngine::setControls(const UpmixControls& wanted) { configure(wanted, false); }

void UpmixEngine::configure(const UpmixControls& wanted, bool first) {
    const UpmixControls c = clampedControls(wanted);

    // Only what changed is derived again: the averages' weight and floor,
    // and the LFE shares, cost a pass over the window or the bins.
    if (first || c.smoothMs != controls_.smoothMs) {
        const float weight =
            smoothingWeight(c.smoothMs / 1000.0, settings_.hop(), settings_.sampleRate);
        split_.setSmoothing(weight, coherenceFloor(windows_.analysis, settings_.hop(), weight));
    }
    if (first || c.lfeCutoffHz != controls_.lfeCutoffHz) {
        fillLfeShares(lfeShares_.data(), bins_, c.lfeCutoffHz, settings_.sampleRate,
                      settings_.fftSize);
        lfeSilent_ = !(c.lfeCutoffHz > 0.0);
    }
    controls_ = c;
    levels_ = {static_cast<float>(c.width), decibels(c.centreDb), decibels(c.ambienceDb),
               windows_.magnitudeScale};
    rearDelay_ = static_cast<std::size_t>(std::lround(c.rearDelayMs * settings_.sampleRate / 1000.0));
    targetGain_ = decibels(c.gainDb);
}

void UpmixEngine::reset() {
    for (ChannelAnalyzer& analyzer : analyzers_) analyzer.reset();
    for (ChannelSynthesizer& synthesizer : synthesizers_) synthesizer.reset();
    split_.reset();
    std::fill(input_.begin(), input_.end(), 0.0f);
    std::fill(output_.begin(), output_.end(), 0.0f);
    std::fill(rearLines_.begin(), rearLines_.end(), 0.0f);
    position_ = 0;
    lineWrite_ = 0;
    gain_ = targetGain_;
    clipsBefore_ = clipLight_ != nullptr ? clipLight_->raised : 0;
}

void UpmixEngine::process(const float* left, const float* right,
                          float* const out[kUpmixChannels], std::size_t frames) {
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t n = std::min(frames - done, hop_ - position_);
        // Inputs first: an output may be the same memory.
        std::copy(left + done, left + done + n, input_.begin() + static_cast<std::ptrdiff_t>(position_));
        std::copy(right + done, right + done + n,
                  input_.begin() + static_cast<std::ptrdiff_t>(hop_ + position_));
        for (std::size_t c = 0; c < kUpmixChannels; ++c) {
            const float* block = output_.data() + c * hop_ + position_;
            std::copy(block, block + n, out[c] + done);
        }
        position_ += n;
        done += n;
        if (position_ == hop_) {
            processHop();
            position_ = 0;
        }
    }
}

void UpmixEngine::processHop() {
    std::complex<float>* left = spectra_.data();
    std::complex<float>* right = spectra_.data() + bins_;
    float* leftHz = frequencies_.data();
    float* rightHz = frequencies_.data() + bins_;
    analyzers_[0].analyse(input_.data(), magnitudes_.data(), leftHz, left);
    analyzers_[1].analyse(input_.data() + hop_, magnitudes_.data() + bins_, rightHz, right);

    split_.split(left, right);
    placement_.place(controls_.method, controls_.atf, split_.directLeftLevel(),
                     split_.directRightLevel(), leftHz, rightHz);

    std::array<std::complex<float>*, kUpmixChannels> spectra{};
    for (std::size_t c = 0; c < kUpmixChannels; ++c) spectra[c] = mixed_.data() + c * bins_;
    const MixInputs in{left,
                       right,
                       split_.direct(),
                       split_.ambientLeft(),
                       split_.ambientRight(),
                       {placement_.weight(MainFL), placement_.weight(MainFR),
                        placement_.weight(MainFC), placement_.weight(MainBL),
                        placement_.weight(MainBR)},
                       lfeSilent_ ? nullptr : lfeShares_.data()};
    mixSpeakers(in, levels_, spectra, bins_);

    for (std::size_t c = 0; c < kUpmixChannels; ++c) {
        float* samples = output_.data() + c * hop_;
        if (c == LFE && lfeSilent_) {
            synthesizers_[c].synthesiseSilence(samples);
        } else {
            synthesizers_[c].synthesiseBins(spectra[c], samples);
        }
    }
    delayRears();
    clipAndGain();
}

// Each rear passes through its line: written at lineWrite_, read rearDelay_
// samples behind.
void UpmixEngine::delayRears() {
    const std::size_t rears[2] = {BL, BR};
    for (std::size_t r = 0; r < 2; ++r) {
        float* line = rearLines_.data() + r * lineLength_;
        float* samples = output_.data() + rears[r] * hop_;
        std::size_t write = lineWrite_;
        std::size_t read = (lineWrite_ + lineLength_ - rearDelay_) % lineLength_;
        for (std::size_t i = 0; i < hop_; ++i) {
            line[write] = samples[i];
            samples[i] = line[read];
            write = write + 1 == lineLength_ ? 0 : write + 1;
            read = read + 1 == lineLength_ ? 0 : read + 1;
        }
    }
    lineWrite_ = (lineWrite_ + hop_) % lineLength_;
}

// The gain glides from its last value to the new one over a hop, then the
// six channels pass through Clip4_6 and come back from its outputs.
void UpmixEngine::clipAndGain() {
    host::ProcessBuffers& buffers = clip_->buffers;
    const float step = (targetGain_ - gain_) / static_cast<float>(hop_);
    for (int c = 0; c < kUpmixChannels; ++c) {
        const float* samples = output_.data() + count(c) * hop_;
        float* in = buffers.audioIn.pin(c);
        for (std::size_t i = 0; i < hop_; ++i) {
            in[i] = samples[i] * (gain_ + step * static_cast<float>(i + 1));
        }
    }
    gain_ = targetGain_;
    clip_->process();
    for (int c = 0; c < kUpmixChannels; ++c) {
        const float* passed = buffers.audioOut.pin(c);
        std::copy(passed, passed + hop_, output_.begin() + static_cast<std::ptrdiff_t>(count(c) * hop_));
    }
}

}  // namespace quorveil::spectral
