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
    const int fftSize = setup.fftSize > 0 ? setup.fftSize : upmixFftSizeFor(setup.sampleRate);
    const StftSettings settings{setup.sampleRate, fftSize, setup.overlap};
    if (std::string problem = checkSettings(settings); !problem.empty()) {
        throw host::HostError(problem);
    }
    if (std::string problem = checkControls(setup.controls); !problem.empty()) {
        throw host::HostError(problem);
    }
    return settings;
}

// How diffuse each bin is (the ambience's share) is judged over this many
// times the user's time constant: it changes slowly in music, and its
// estimate, noisy over short spans, would make a steady sound warble.
constexpr double kDiffuseTimeFactor = 4.0;

// A quarter hop: 2.9 ms at the default 44.1 kHz settings, as many samples
// at 48 kHz, so that the latency is one number at both rates.
std::size_t limiterLookahead(const StftSettings& settings) {
    return static_cast<std::size_t>(settings.hop() / 4);
}

// The longest rear delay the controls allow, in samples.
std::size_t longestRearDelay(const StftSettings& settings) {
    return static_cast<std::size_t>(std::ceil(
        controlEntry(&UpmixControls::rearDelayMs).maximum * settings.sampleRate / 1000.0));
}

}  // namespace

int upmixFftSizeFor(double sampleRate) {
    if (!(sampleRate > 0.0) || !std::isfinite(sampleRate)) return kDefaultFftSize;
    const double octaves = std::round(std::log2(sampleRate / 44100.0));
    const double size = kDefaultFftSize * std::exp2(std::clamp(octaves, -2.0, 3.0));
    return static_cast<int>(size);
}

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
      bins_(count(settings_.binCount())), channels_(count(setup.layout->count)),
      controls_(setup.controls), windows_(settings_), fft_(settings_.fftSize),
      onsets_(settings_.binCount(), settings_.fftSize, settings_.hop(), settings_.overlap,
              settings_.sampleRate),
      inputOnsets_(settings_.sampleRate),
      split_(settings_.binCount(), settings_.fftSize, settings_.sampleRate, onsets_.bandCount()),
      description_(bins_),
      placement_(library, engineInfoFor(settings_, 1), setup.settings, setup.force,
                 setup.warnings),
      synthesis_(library, settings_, windows_, *setup.layout, longestRearDelay(settings_),
                 limiterLookahead(settings_)),
      input_(2 * hop_), magnitudes_(2 * bins_), frequencies_(2 * 2 * bins_) {
    for (int i = 0; i < 2; ++i) analyzers_.emplace_back(settings_, windows_, fft_);
    for (std::vector<float>& w : steadyWeights_) w.assign(bins_, 0.0f);
    const std::size_t slots = setup.threads >= 2 ? kHopSlots : 2;
    for (std::size_t i = 0; i < slots; ++i) hops_.push_back(std::make_unique<PlacedHop>(bins_));
    outputs_.assign((setup.threads >= 2 ? kHopSlots : 1) * channels_ * hop_, 0.0f);
    configure(controls_, true);
    synthesis_.setGain(targetGain_);
    emitting_ = outputBlock(0);
    if (setup.threads >= 2) {
        worker_ = std::make_unique<WorkerThread>(
            [this](uint32_t n) {
                PlacedHop& hop = *hops_[n % kHopSlots];
                placeAndBuild(hop.inputs.frame(), hop.inputs.leftHz(), hop.inputs.rightHz(), hop);
                synthesis_.render(hop, outputBlock(n % kHopSlots));
            },
            kWorkerWakeAfter);
    }
}

UpmixEngine::~UpmixEngine() = default;

std::vector<host::HostMessage> UpmixEngine::takeSetupMessages() { return placement_.takeMessages(); }

uint64_t UpmixEngine::clippedSamples() const {
    if (worker_) worker_->waitForAll();
    return synthesis_.clippedSamples();
}

LimiterActivity UpmixEngine::limiterActivity() const {
    if (worker_) worker_->waitForAll();
    return synthesis_.limiterActivity();
}

void UpmixEngine::setControls(const UpmixControls& wanted) { configure(wanted, false); }

// Output sample j carries the limiter's output sample j − (1 + lag) hops
// (the hop gathered while a rendered one is handed out, and the worker's
// lag), so the first kept one, latency(), is the limiter's
// firstKeptSample() on one thread and two alike, and the last frames − 1
// later.
void UpmixEngine::endOfInput(uint64_t frames) { countedEnd_ = synthesis_.firstKeptSample() + frames; }

// What the second half needs of the controls travels with each hop
// (PlacedHop), so that a change reaches it in hop order on either thread.
void UpmixEngine::configure(const UpmixControls& wanted, bool first) {
    const UpmixControls c = clampedControls(wanted);

    // Only what changed is derived again: the averages' weight and floor
    // cost a pass over the window.
    if (first || c.smoothMs != controls_.smoothMs) {
        const float weight =
            smoothingWeight(c.smoothMs / 1000.0, settings_.hop(), settings_.sampleRate);
        const float slowWeight = smoothingWeight(kDiffuseTimeFactor * c.smoothMs / 1000.0,
                                                 settings_.hop(), settings_.sampleRate);
        onsets_.setSteadyWeights(weight, slowWeight);
        split_.setTimeFloors(coherenceFloor(windows_.analysis, settings_.hop(), weight),
                             coherenceFloor(windows_.analysis, settings_.hop(), slowWeight), weight, slowWeight);
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
    onsets_.reset();
    inputOnsets_.reset();
    foundOnsets_ = HopOnsets{};
    gathered_ = 0;
    split_.reset();
    description_.reset();
    for (std::vector<float>& w : steadyWeights_) std::fill(w.begin(), w.end(), 0.0f);
    synthesis_.reset(targetGain_);
    std::fill(input_.begin(), input_.end(), 0.0f);
    std::fill(outputs_.begin(), outputs_.end(), 0.0f);
    std::fill(frequencies_.begin(), frequencies_.end(), 0.0f);
    for (const std::unique_ptr<PlacedHop>& hop : hops_) hop->silence();
    analysed_ = 0;
    position_ = 0;
    silencedInput_ = 0;
    countedEnd_ = UINT64_MAX;
}

void UpmixEngine::process(const float* left, const float* right, float* const* out,
                          std::size_t frames) {
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t n = std::min(frames - done, hop_ - position_);
        // Inputs first: an output may be the same memory.
        silencedInput_ += gatherSafely(left + done, input_.data() + position_, n);
        silencedInput_ += gatherSafely(right + done, input_.data() + hop_ + position_, n);
        for (std::size_t c = 0; c < channels_; ++c) {
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

// The newest frame: its bins and frequencies into its slot, and what begins
// in it into the onset bands.
void UpmixEngine::analyse(PlacedHop& frame, float* hz) {
    std::complex<float>* left = frame.left.data();
    std::complex<float>* right = frame.right.data();
    analyzers_[0].analyse(input_.data(), magnitudes_.data(), hz, left);
    analyzers_[1].analyse(input_.data() + hop_, magnitudes_.data() + bins_, hz + bins_, right);
    onsets_.update(left, right);
}

// The frame before the newest: its scene (knowing what begins in the next),
// then, on this thread or the worker's, its placement and its matrix.
void UpmixEngine::place(PlacedHop& hop, const float* hz, const PlacedHop& next) {
    split_.split(hop.left.data(), hop.right.data(), next.left.data(), next.right.data(), onsets_);
    hop.levels = levels_;
    hop.method = controls_.method;
    hop.atf = controls_.atf;
    hop.scale = levels_.scale;
    hop.lfeCutoffHz = controls_.lfeCutoffHz;
    hop.lfeMode = controls_.lfeMode;
    hop.rearDelay = rearDelay_;
    hop.gain = targetGain_;
    hop.limit = controls_.limiter;
    hop.countedEnd = countedEnd_;
    hop.onsets = foundOnsets_;
    foundOnsets_ = HopOnsets{};
    const float* leftHz = hz;
    const float* rightHz = hz + bins_;
    // With a worker, the rest is done there, from copies: the split's arrays
    // belong to the next frame by then.
    if (worker_) {
        hop.inputs.copy(split_.frame(), leftHz, rightHz);
        return;
    }
    placeAndBuild(split_.frame(), leftHz, rightHz, hop);
}

// The frame's description, its placement, the background's followed over
// time, and the hop's matrix, with the controls the hop carries.
void UpmixEngine::placeAndBuild(const SplitFrame& frame, const float* leftHz, const float* rightHz, PlacedHop& hop) {
    description_.describe(frame.statistics);
    placement_.place(hop.method, hop.atf, description_.directLeftLevel(), description_.directRightLevel(), leftHz,
                     rightHz);
    PlacementWeights background{}, events{};
    steadyPlacement(frame.statistics.weight);
    for (std::size_t s = 0; s < steadyWeights_.size(); ++s) background[s] = steadyWeights_[s].data();
    if (frame.anyEvent) {
        placement_.placeEvents(hop.method, frame.eventLeftLevel, frame.eventRightLevel, leftHz);
        for (int s = 0; s < kMainSpeakers; ++s) events[static_cast<std::size_t>(s)] = placement_.eventWeight(s);
    }
    buildMatrix(description_.scene(frame), background, frame.anyEvent ? &events : nullptr, hop.levels,
                synthesis_.routing(), hop.matrix.data(), bins_);
}

// The background's placement follows the averages it is computed from, and
// once more with their weight per bin: the weights then vary as slowly as a
// steady sound's own statistics, so that a steady sound is not modulated by
// the scatter of its estimates (the gains are smoothed, not only the
// statistics). The weights are followed as the modules give them, before
// they are normalised: a bin's direction is right from its first frame. While an event holds a band its weight is 0 and the
// placement holds too; hits are placed by their own weights.
void UpmixEngine::steadyPlacement(const float* binWeights) {
    for (std::size_t s = 0; s < steadyWeights_.size(); ++s) {
        const float* now = placement_.weight(static_cast<int>(s));
        float* steady = steadyWeights_[s].data();
        for (std::size_t k = 0; k < bins_; ++k) {
            const float w = std::isfinite(now[k]) ? now[k] : 0.0f;
            steady[k] += binWeights[k] * (w - steady[k]);
        }
    }
}

// Frame f is analysed into slot f, and frame f − 1 is placed and rendered:
// one hop late, so that it knows what begins in frame f. Frame 0 is the
// silence before the first (the slots start silent).
void UpmixEngine::processHop() {
    inputOnsets_.find(input_.data(), input_.data() + hop_, hop_, gathered_, foundOnsets_);
    gathered_ += hop_;
    if (!worker_) {
        const uint32_t f = ++analysed_;
        analyse(*hops_[f % 2], frequencyFrame(f));
        place(*hops_[(f - 1) % 2], frequencyFrame(f - 1), *hops_[f % 2]);
        synthesis_.render(*hops_[(f - 1) % 2], outputBlock(0));
        return;
    }
    // Hop n goes to the worker, and the caller hands out hop n - lag while
    // it gathers hop n + 1: the worker may fall that far behind before the
    // caller waits. Slot and block n % slots are the worker's from the hand
    // until the hop is handed out; below hop 0 the block is still silent
    // (the wrapped count lands on a block no hop has reached yet). Slot
    // n + 1 takes the newest frame: its last hop, n + 1 − slots, is done.
    static_assert((uint64_t{1} << 32) % kHopSlots == 0, "hop counts wrap onto the same slots");
    const uint32_t n = worker_->handed();
    analyse(*hops_[(n + 1) % kHopSlots], frequencyFrame(n + 1));
    place(*hops_[n % kHopSlots], frequencyFrame(n), *hops_[(n + 1) % kHopSlots]);
    worker_->hand();
    const uint32_t emitted = n - kWorkerLag;
    worker_->waitUntilFinished(emitted + 1, n);  // once waiting, until one hop is left
    emitting_ = outputBlock(emitted % kHopSlots);
}

}  // namespace quorveil::spectral
