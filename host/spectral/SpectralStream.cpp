// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/SpectralStream.h"

#include <algorithm>

#include "host/hosting/Count.h"

namespace quorveil::spectral {

namespace {

using host::count;

bool silent(const PhaseSource& source) {
    return std::all_of(source.weights.begin(), source.weights.end(),
                       [](float w) { return w == 0.0f; });
}

}  // namespace

SpectralStream::SpectralStream(const StftSettings& settings, int inputs,
                               std::vector<PhaseSource> outputs, int frameCount)
    : settings_(settings), inputs_(inputs), phaseSources_(std::move(outputs)),
      frameCount_(frameCount > 0 ? frameCount : framesPerCall(settings)),
      engine_(engineInfoFor(settings, frameCount_)), windows_(settings), fft_(settings.fftSize),
      magnitudes_(inputs, frameCount_, settings.binCount()),
      frequencies_(inputs, frameCount_, settings.binCount()),
      outputs_(static_cast<int>(phaseSources_.size()), frameCount_, settings.binCount()),
      spectra_(count(inputs) * count(frameCount_) * count(settings.binCount())),
      mixed_(count(settings.binCount())),
      interleaved_(count(inputs) * count(engine_.blockSize)),
      inputBlock_(count(inputs) * count(engine_.blockSize)),
      outputBlock_(phaseSources_.size() * count(engine_.blockSize)) {
    analyzers_.reserve(count(inputs));
    for (int i = 0; i < inputs; ++i) {
        analyzers_.emplace_back(settings_, windows_, fft_);
    }
    synthesizers_.reserve(phaseSources_.size());
    for (PhaseSource& source : phaseSources_) {
        source.weights.resize(count(inputs), 0.0f);
        synthesizers_.emplace_back(settings_, windows_, fft_);
        if (silent(source)) {
            sourceOf_.push_back(-1);
            continue;
        }
        const auto known = std::find(sources_.begin(), sources_.end(), source.weights);
        sourceOf_.push_back(static_cast<int>(known - sources_.begin()));
        if (known == sources_.end()) sources_.push_back(source.weights);
    }
    phasors_.resize(sources_.size() * count(settings.binCount()));
}

SpectralStream::~SpectralStream() = default;

const std::complex<float>* SpectralStream::spectrum(int input, int frame) const {
    return spectra_.data() +
           (count(input) * count(frameCount_) + count(frame)) * count(settings_.binCount());
}

std::complex<float>* SpectralStream::spectrumAt(int input, int frame) {
    return spectra_.data() +
           (count(input) * count(frameCount_) + count(frame)) * count(settings_.binCount());
}

void SpectralStream::referencePhasors(int source, int frame, std::complex<float>* phasors) {
    const std::vector<float>& weights = sources_[count(source)];
    const int bins = settings_.binCount();
    int only = -1, used = 0;
    for (int i = 0; i < inputs_; ++i) {
        if (weights[count(i)] != 0.0f) {
            only = i;
            ++used;
        }
    }
    if (used == 1 && weights[count(only)] > 0.0f) {
        unitPhasors(spectrum(only, frame), phasors, bins);  // a positive weight keeps the phase
        return;
    }
    std::fill(mixed_.begin(), mixed_.end(), std::complex<float>());
    for (int i = 0; i < inputs_; ++i) {
        const float w = weights[count(i)];
        if (w == 0.0f) continue;
        const std::complex<float>* x = spectrum(i, frame);
        for (std::size_t k = 0; k < mixed_.size(); ++k) mixed_[k] += x[k] * w;
    }
    unitPhasors(mixed_.data(), phasors, bins);
}

void SpectralStream::analyseBlock() {
    const std::size_t block = count(engine_.blockSize);
    const int hop = settings_.hop();
    for (int i = 0; i < inputs_; ++i) {
        const float* samples = inputBlock_.data() + count(i) * block;
        for (int f = 0; f < frameCount_; ++f) {
            analyzers_[count(i)].analyse(samples + count(f * hop), magnitudes_.frame(i, f),
                                         frequencies_.frame(i, f),
                                         spectrumAt(i, f));
        }
    }
}

void SpectralStream::synthesiseBlock() {
    const std::size_t block = count(engine_.blockSize);
    const std::size_t bins = count(settings_.binCount());
    const int hop = settings_.hop();
    for (int f = 0; f < frameCount_; ++f) {
        // Outputs that share a reference share its phasors.
        for (std::size_t source = 0; source < sources_.size(); ++source) {
            referencePhasors(static_cast<int>(source), f, phasors_.data() + source * bins);
        }
        for (std::size_t o = 0; o < sourceOf_.size(); ++o) {
            float* samples = outputBlock_.data() + o * block + count(f * hop);
            if (sourceOf_[o] < 0) {
                std::fill(samples, samples + hop, 0.0f);
                continue;
            }
            synthesizers_[o].synthesise(outputs_.frame(static_cast<int>(o), f),
                                        phasors_.data() + count(sourceOf_[o]) * bins, samples);
        }
    }
}

std::size_t SpectralStream::run(const Reader& read, SpectralGraph& graph) {
    const std::size_t block = count(engine_.blockSize);
    const std::size_t latency = count(settings_.latency());
    const std::size_t inputs = count(inputs_);
    std::vector<const float*> delivered(phaseSources_.size());

    std::size_t taken = 0;     // input samples per channel read so far
    std::size_t produced = 0;  // output positions synthesised so far
    bool ended = false;
    while (true) {
        std::size_t got = 0;
        while (!ended && got < block) {
            const std::size_t n = read(interleaved_.data() + got * inputs, block - got);
            if (n == 0) ended = true;
            got += n;
        }
        taken += got;
        for (std::size_t i = 0; i < inputs; ++i) {
            float* channel = inputBlock_.data() + i * block;
            for (std::size_t t = 0; t < got; ++t) channel[t] = interleaved_[t * inputs + i];
            std::fill(channel + got, channel + block, 0.0f);
        }
        analyseBlock();
        graph.processFrames(*this);
        synthesiseBlock();

        // Input sample t comes out at position t + latency.
        const std::size_t begin = produced;
        produced += block;
        const std::size_t from = std::max(begin, latency);
        const std::size_t to = std::min(produced, latency + taken);
        if (to > from) {
            for (std::size_t o = 0; o < delivered.size(); ++o) {
                delivered[o] = outputBlock_.data() + o * block + (from - begin);
            }
            graph.deliver(delivered.data(), to - from);
        }
        if (ended && produced >= latency + taken) break;
    }
    return taken;
}

}  // namespace quorveil::spectral
