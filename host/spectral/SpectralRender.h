// Any spectral module over a stream of audio, as `render` runs it: the
// module's magnitude inputs take the input channels in order, its frequency
// inputs the first channels in order (or as mapped), and every magnitude
// output becomes one output channel, resynthesised with the phase of the
// input on its side: names starting LF, LS or L take the first channel, RF,
// RS or R the second, anything else (C, ...) the sum of the first two.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/PluginLibrary.h"
#include "host/spectral/HostedModule.h"
#include "host/spectral/SpectralStream.h"

namespace quorveil::spectral {

struct SpectralRenderOptions {
    StftSettings settings;  // sample rate, FFT size, overlap
    int inputChannels = 2;
    std::vector<int> magnitudeMap;        // input channel per magnitude pin; empty: in order
    std::vector<int> frequencyMap;        // input channel per frequency pin; empty: in order
    std::vector<ParameterSetting> parameters;
    std::vector<std::string> phaseFrom;   // OUTPUT=L|R|L+R or a channel number; by pin name
};

// True when the module has spectral pins (and so needs this path).
bool isSpectralModule(const host::PluginLibrary& library, const std::string& module);

// The phase reference of each output pin, by its name, for `inputs` channels.
std::vector<PhaseSource> defaultPhaseSources(const std::vector<std::string>& outputNames,
                                             int inputs);

class SpectralRender : public SpectralGraph {
public:
    using Writer = std::function<void(const float* const* channels, std::size_t frames)>;

    // Throws host::HostError for a module without magnitude outputs, a map
    // that names a missing channel, or a bad setting.
    SpectralRender(const host::PluginLibrary& library, const std::string& module,
                   const SpectralRenderOptions& options);

    const std::vector<std::string>& outputNames() const { return outputNames_; }
    int outputChannels() const { return static_cast<int>(outputNames_.size()); }

    // Runs the whole stream; returns samples per channel (the input's length).
    std::size_t run(const SpectralStream::Reader& read, const Writer& write);

    void processFrames(SpectralStream& stream) override;
    void deliver(const float* const* channels, std::size_t count) override;

private:
    HostedModule module_;
    std::vector<int> magnitudeMap_, frequencyMap_;
    std::vector<std::string> outputNames_;
    std::vector<PhaseSource> phaseSources_;
    StftSettings settings_;
    int inputs_;
    const Writer* writer_ = nullptr;
};

}  // namespace quorveil::spectral
