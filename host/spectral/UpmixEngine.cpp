// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/UpmixEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "host/hosting/Count.h"
#include "host/spectral/WorkerThread.h"

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

// The longest rear delay the controls allow, in samples.
std::size_t longestRearDelay(const StftSettings& settings) {
    return static_cast<std::size_t>(std::ceil(
        controlEntry(&UpmixControls::rearDelayMs).maximum * settings.sampleRate / 1000.0));
}

}  // namespace

// A sample that is not a number, or beyond kLoudestInput, enters as silence:
// squared in a bin it would overflow the averages, which would then hold an
// infinity (and inf - inf, a NaN) for as long as they remember. Every other
// sample passes unchanged. Returns how many were replaced.
std::size_t gatherSafely(const float* from, float* into, std::size_t n) {
    std::size_t replaced = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const float sample = from[i];
        const bool usable = std::fabs(sample) <= kLoudestInput;
        into[i] = usable ? sample : 0.0f;
        replaced += usable ? 0 : 1;
    }
    return replaced;
}

UpmixEngine::UpmixEngine(const host::PluginLibrary& library, const UpmixSetup& setup)
    : settings_(checkedSettings(setup)), hop_(count(settings_.hop())),
      bins_(count(settings_.binCount())), controls_(setup.controls), windows_(settings_),
      fft_(settings_.fftSize), split_(settings_.binCount()),
      placement_(library, engineInfoFor(settings_, 1), setup.settings, setup.force,
                 setup.warnings),
      synthesis_(library, settings_, windows_, longestRearDelay(settings_)), input_(2 * hop_),
      magnitudes_(2 * bins_), frequencies_(2 * bins_) {
    for (int i = 0; i < 2; ++i) analyzers_.emplace_back(settings_, windows_, fft_);
    const std::size_t slots = setup.threads >= 2 ? kHopSlots : 1;
    for (std::size_t i = 0; i < slots; ++i) hops_.push_back(std::make_unique<PlacedHop>(bins_));
    outputs_.assign(slots * kUpmixChannels * hop_, 0.0f);
    configure(controls_, true);
    synthesis_.setGain(targetGain_);
    emitting_ = outputBlock(0);
    if (setup.threads >= 2) {
        worker_ = std::make_unique<WorkerThread>(
            [this](uint32_t n) { synthesis_.render(*hops_[n % kHopSlots], outputBlock(n % kHopSlots)); },
            kWorkerWakeAfter);
    }
}

UpmixEngine::~UpmixEngine() = default;

std::vector<host::HostMessage> UpmixEngine::takeSetupMessages() { return placement_.takeMessages(); }

uint64_t UpmixEngine::clippedSamples() const {
    if (worker_) worker_->waitForAll();
    return synthesis_.clippedSamples();
}

void UpmixEngine::setControls(const UpmixControls& wanted) { configure(wanted, false); }

// What the second half needs of the controls travels with each hop
// (PlacedHop), so that a change reaches it in hop order on either thread.
void UpmixEngine::configure(const UpmixControls& wanted, bool first) {
    const UpmixControls c = clampedControls(wanted);

    // Only what changed is derived again: the averages' weight and floor
    // cost a pass over the window.
    if (first || c.smoothMs != controls_.smoothMs) {
        const float weight =
            smoothingWeight(c.smoothMs / 1000.0, settings_.hop(), settings_.sampleRate);
        split_.setSmoothing(weight, coherenceFloor(windows_.analysis, settings_.hop(), weight));
    }
    controls_ = c;
    levels_ = {static_cast<float>(c.width), decibels(c.centreDb), decibels(c.ambienceDb),
               windows_.magnitudeScale};
    rearDelay_ = static_cast<std::size_t>(std::lround(c.rearDelayMs * settings_.sampleRate / 1000.0));
    targetGain_ = decibels(c.gainDb);
}

void UpmixEngine::reset() {
    if (worker_) worker_->waitForAll();
    for (ChannelAnalyzer& analyzer : analyzers_) analyzer.reset();
    split_.reset();
    synthesis_.reset(targetGain_);
    std::fill(input_.begin(), input_.end(), 0.0f);
    std::fill(outputs_.begin(), outputs_.end(), 0.0f);
    position_ = 0;
    silencedInput_ = 0;
}

void UpmixEngine::process(const float* left, const float* right,
                          float* const out[kUpmixChannels], std::size_t frames) {
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t n = std::min(frames - done, hop_ - position_);
        // Inputs first: an output may be the same memory.
        silencedInput_ += gatherSafely(left + done, input_.data() + position_, n);
        silencedInput_ += gatherSafely(right + done, input_.data() + hop_ + position_, n);
        for (std::size_t c = 0; c < kUpmixChannels; ++c) {
            const float* block = emitting_ + c * hop_ + position_;
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

void UpmixEngine::analyseAndPlace(PlacedHop& hop) {
    std::complex<float>* left = hop.left.data();
    std::complex<float>* right = hop.right.data();
    float* leftHz = frequencies_.data();
    float* rightHz = frequencies_.data() + bins_;
    analyzers_[0].analyse(input_.data(), magnitudes_.data(), leftHz, left);
    analyzers_[1].analyse(input_.data() + hop_, magnitudes_.data() + bins_, rightHz, right);

    split_.split(left, right);
    placement_.place(controls_.method, controls_.atf, split_.directLeftLevel(),
                     split_.directRightLevel(), leftHz, rightHz);

    hop.mix.direct = split_.direct();
    hop.mix.ambientLeft = split_.ambientLeft();
    hop.mix.ambientRight = split_.ambientRight();
    for (int s = 0; s < kMainSpeakers; ++s) {
        hop.mix.weights[static_cast<std::size_t>(s)] = placement_.weight(s);
    }
    hop.levels = levels_;
    hop.lfeCutoffHz = controls_.lfeCutoffHz;
    hop.rearDelay = rearDelay_;
    hop.gain = targetGain_;
}

void UpmixEngine::processHop() {
    if (!worker_) {
        analyseAndPlace(*hops_[0]);
        synthesis_.render(*hops_[0], outputBlock(0));
        return;
    }
    // Hop n goes to the worker, and the caller hands out hop n - lag while
    // it gathers hop n + 1: the worker may fall that far behind before the
    // caller waits. Slot and block n % slots are the worker's from the hand
    // until the hop is handed out; below hop 0 the block is still silent
    // (the wrapped count lands on a block no hop has reached yet).
    static_assert((uint64_t{1} << 32) % kHopSlots == 0, "hop counts wrap onto the same slots");
    const uint32_t n = worker_->handed();
    PlacedHop& hop = *hops_[n % kHopSlots];
    analyseAndPlace(hop);
    hop.keep();
    worker_->hand();
    const uint32_t emitted = n - kWorkerLag;
    worker_->waitUntilFinished(emitted + 1, n);  // once waiting, until one hop is left
    emitting_ = outputBlock(emitted % kHopSlots);
}

}  // namespace quorveil::spectral
