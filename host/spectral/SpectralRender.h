// SPDX-License-Identifier: GPL-3.0-or-later
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

#include "host/hosting/PluginLibrary.h"
#include "host/hosting/ModuleSession.h"
#include "host/spectral/SpectralStream.h"

namespace quorveil::spectral {

// Input channel (from 0) per pin; empty: the channels in order.
struct PinMaps {
    std::vector<int> magnitude, frequency;
};

// Reads `--map` texts: "magnitude=1,2,1,2,1" or "frequency=2,1" (channels
// counted from 1; "mag" and "freq" will do). Throws host::HostError.
PinMaps parsePinMaps(const std::vector<std::string>& texts);

struct SpectralRenderOptions {
    StftSettings settings;  // sample rate, FFT size, overlap
    int inputChannels = 2;
    PinMaps maps;
    std::vector<host::ParameterAssignment> parameters;
    bool force = false;                  // Reals outside their range go through
    std::vector<std::string> phaseFrom;  // OUTPUT=L|R|L+R or a channel number; by pin name
};

// Spectral pins on either side: the module needs this path.
bool isSpectralModule(const host::PinCounts& pins);

// "L", "R", "L+R" (any letter case) or an input channel from 1; throws
// host::HostError naming the choices.
PhaseSource parsePhaseSource(const std::string& text, int inputs);

// Applies `--phase-from` items to `sources`: "OUTPUT=REFERENCE" for the one
// output `outputNamed` finds (it throws for an unknown name), "REFERENCE"
// alone for every output.
void applyPhaseFrom(const std::vector<std::string>& items, int inputs,
                    std::vector<PhaseSource>& sources,
                    const std::function<int(const std::string&)>& outputNamed);

// The phase reference of each output pin, by its name, for `inputs` channels.
std::vector<PhaseSource> defaultPhaseSources(const std::vector<std::string>& outputNames,
                                             int inputs);

class SpectralRender : public SpectralGraph {
public:
    using Writer = std::function<void(const float* const* channels, std::size_t frames)>;

    // Throws host::HostError for a module without magnitude outputs, a map
    // that names a missing channel, or a bad setting.
    SpectralRender(const host::PluginLibrary& library, const host::ModuleRow& module,
                   const SpectralRenderOptions& options);

    host::ModuleSession& session() { return module_.session; }
    const std::vector<std::string>& outputNames() const { return outputNames_; }
    int outputChannels() const { return static_cast<int>(outputNames_.size()); }
    // Input channels (from 0) that feed a pin or give an output its phase.
    std::vector<int> usedInputChannels() const;

    // Runs the whole stream; returns samples per channel (the input's length).
    // The observer, if any, hears what the module tells the host.
    std::size_t run(const SpectralStream::Reader& read, const Writer& write,
                    host::HostMessageListener* observer = nullptr);

    void processFrames(SpectralStream& stream) override;
    void deliver(const float* const* channels, std::size_t count) override;

private:
    GraphModule module_;
    std::vector<int> magnitudeMap_, frequencyMap_;
    std::vector<std::string> outputNames_;
    std::vector<PhaseSource> phaseSources_;
    StftSettings settings_;
    int inputs_;
    const Writer* writer_ = nullptr;
    host::HostMessageListener* observer_ = nullptr;
};

}  // namespace quorveil::spectral
