#include "host/spectral/SpectralStream.h"

#include <algorithm>

namespace quorveil::spectral {

namespace {

std::size_t count(int n) { return static_cast<std::size_t>(n); }

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
      mixedReference_(count(settings.binCount())),
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
    }
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

const std::complex<float>* SpectralStream::reference(int output, int frame) {
    const std::vector<float>& weights = phaseSources_[count(output)].weights;
    int only = -1;
    int used = 0;
    for (int i = 0; i < inputs_; ++i) {
        if (weights[count(i)] != 0.0f) {
            only = i;
            ++used;
        }
    }
    if (used == 1 && weights[count(only)] > 0.0f) {
        return spectrum(only, frame);  // a positive weight leaves the phase as it is
    }
    std::fill(mixedReference_.begin(), mixedReference_.end(), std::complex<float>());
    for (int i = 0; i < inputs_; ++i) {
        const float w = weights[count(i)];
        if (w == 0.0f) continue;
        const std::complex<float>* bins = spectrum(i, frame);
        for (std::size_t k = 0; k < mixedReference_.size(); ++k) {
            mixedReference_[k] += bins[k] * w;
        }
    }
    return mixedReference_.data();
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
    const int hop = settings_.hop();
    for (int o = 0; o < outputCount(); ++o) {
        float* samples = outputBlock_.data() + count(o) * block;
        if (silent(phaseSources_[count(o)])) {
            std::fill(samples, samples + block, 0.0f);
            continue;
        }
        for (int f = 0; f < frameCount_; ++f) {
            synthesizers_[count(o)].synthesise(outputs_.frame(o, f), reference(o, f),
                                               samples + count(f * hop));
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
