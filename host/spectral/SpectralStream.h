// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a spectral graph over a stream of audio: analyses every input channel
// into magnitude and frequency frames, lets the graph turn them into output
// magnitude frames one process call at a time, resynthesises every output
// with the phase of its reference, and hands on the finished samples.
//
// The stream hides its own latency: output sample i lines up with input
// sample i, and exactly as many samples come out as went in. Memory does not
// grow with the length of the stream.
#pragma once

#include <algorithm>
#include <complex>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "host/hosting/ModuleSession.h"
#include "host/hosting/ProcessBuffers.h"
#include "host/spectral/Stft.h"

namespace quorveil::spectral {

// Which inputs give an output its phase: the weighted sum of their complex
// bins (L+R is {1, 1}). An output whose weights are all zero is silent and
// costs nothing.
struct PhaseSource {
    std::vector<float> weights;
};

class SpectralStream;

// One module of a spectral graph: its instance's life and its buffers,
// shaped for the stream's engine.
struct GraphModule {
    GraphModule(const host::PluginLibrary& library, const host::ModuleRow& row,
                const plogue::biduleSDK::EngineInfo& engine)
        : session(library, row, engine), buffers(session.makeBuffers()) {}
    void process() { session.process(buffers); }

    host::ModuleSession session;
    host::ProcessBuffers buffers;
};

// Every frame of one pin into another pin; both shaped by the same engine.
inline void copyPin(const host::SpectralPinBuffers& from, int fromPin,
                    host::SpectralPinBuffers& to, int toPin) {
    const auto bins = static_cast<std::size_t>(from.binCount());
    for (int f = 0; f < from.frameCount(); ++f) {
        const float* source = from.frame(fromPin, f);
        std::copy(source, source + bins, to.frame(toPin, f));
    }
}

class SpectralGraph {
public:
    virtual ~SpectralGraph() = default;
    // Once per process call, after analysis: fill stream.outputs() from
    // stream.magnitudes() and stream.frequencies().
    virtual void processFrames(SpectralStream& stream) = 0;
    // Finished output samples, one array per output, `count` of each.
    virtual void deliver(const float* const* channels, std::size_t count) = 0;
};

class SpectralStream {
public:
    // Reads up to `frames` interleaved frames of all inputs; 0 at the end.
    using Reader = std::function<std::size_t(float* interleaved, std::size_t frames)>;

    // frameCount 0: framesPerCall(settings).
    SpectralStream(const StftSettings& settings, int inputs, std::vector<PhaseSource> outputs,
                   int frameCount = 0);
    ~SpectralStream();

    const StftSettings& settings() const { return settings_; }
    const plogue::biduleSDK::EngineInfo& engine() const { return engine_; }
    // Magnitude of a bin per unit of |X|: a sine of amplitude A shows A.
    float magnitudeScale() const { return windows_.magnitudeScale; }
    int inputCount() const { return inputs_; }
    int outputCount() const { return static_cast<int>(phaseSources_.size()); }

    // Per input pin, frameCount frames of binCount values.
    host::SpectralPinBuffers& magnitudes() { return magnitudes_; }
    host::SpectralPinBuffers& frequencies() { return frequencies_; }
    // Per output pin; the graph writes them.
    host::SpectralPinBuffers& outputs() { return outputs_; }
    // The complex bins behind magnitudes().frame(input, frame).
    const std::complex<float>* spectrum(int input, int frame) const;

    // Runs the whole stream; returns the number of samples per channel.
    std::size_t run(const Reader& read, SpectralGraph& graph);

private:
    std::complex<float>* spectrumAt(int input, int frame);
    void analyseBlock();
    void synthesiseBlock();
    void referencePhasors(int source, int frame, std::complex<float>* phasors);

    StftSettings settings_;
    int inputs_;
    std::vector<PhaseSource> phaseSources_;
    int frameCount_;
    plogue::biduleSDK::EngineInfo engine_;
    StftWindows windows_;
    RealFft fft_;
    std::vector<ChannelAnalyzer> analyzers_;
    std::vector<ChannelSynthesizer> synthesizers_;
    host::SpectralPinBuffers magnitudes_, frequencies_, outputs_;
    std::vector<std::complex<float>> spectra_;  // input, frame, bin
    std::vector<std::vector<float>> sources_;  // distinct phase sources
    std::vector<int> sourceOf_;                // per output; -1: silent
    std::vector<std::complex<float>> phasors_; // source, bin
    std::vector<std::complex<float>> mixed_;
    std::vector<float> interleaved_;
    std::vector<float> inputBlock_;   // input, sample
    std::vector<float> outputBlock_;  // output, sample
};

}  // namespace quorveil::spectral
