// SPDX-License-Identifier: GPL-3.0-or-later
// Stereo to 5.1 upmix: the spectral graph that turns the L and R magnitude
// streams into five speaker streams through one of the library's spectral
// modules (optionally followed by ATF4_6), adds an optional low-passed LFE,
// resynthesises six channels, applies the output gain and passes them through
// Clip4_6, whose indicator becomes the clipping warning.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "host/hosting/PluginLibrary.h"
#include "host/cli/RenderJob.h"
#include "host/spectral/SpectralStream.h"

namespace quorveil::spectral {

enum class UpmixMethod { Slice, ArcTan, CC };

// "slice", "arctan", "cc"; throws host::HostError for anything else.
UpmixMethod parseUpmixMethod(const std::string& name);

inline constexpr int kUpmixChannels = 6;
// File order of the 5.1 output (WAV channel mask 0x3F).
inline constexpr std::array<const char*, kUpmixChannels> kUpmixChannelNames{"FL", "FR", "FC",
                                                                             "LFE", "BL", "BR"};
inline constexpr const char* kDemoFileName = "upmix-demo.wav";

struct UpmixOptions {
    std::string input;   // empty: the built-in demo
    std::string output;  // empty: kDemoFileName for the demo, else "<input stem>-5.1.wav"
    std::string type;    // "wav", "flac", "aiff": the output's format when not its extension
    UpmixMethod method = UpmixMethod::Slice;
    bool atf = false;
    // In order; a name without a module goes to every module of the chain
    // that has it (parseChainAssignment reads "MODULE:NAME=VALUE").
    std::vector<host::ParameterAssignment> settings;
    bool force = false;                  // Reals outside their range go through
    std::vector<std::string> phaseFrom;  // SPEAKER=L|R|L+R, or L|R|L+R for all
    double lfeCutoffHz = 0.0;            // 0: silent LFE
    double gainDb = 0.0;
    bool report = false;
    int fftSize = kDefaultFftSize;
    int overlap = kDefaultOverlap;
};

struct UpmixSummary {
    std::string output;
    double sampleRate = 0.0;
    std::size_t frames = 0;           // per channel, equal to the input's
    uint64_t clippedSamples = 0;      // sample positions Clip4_6 flagged
    std::array<float, kUpmixChannels> peak{};
    std::array<double, kUpmixChannels> energy{};  // sum of squares per channel
};

// One line of the level report, without its line feed.
using ReportLine = std::function<void(const std::string& line)>;

// Runs the upmix with the modules of `library`. With options.report, hands
// each second's levels to `report` as it goes; `observer` hears the plan,
// what the modules tell the host, and the progress. Throws host::HostError
// for anything the user can mend; the output exists only when this returns.
UpmixSummary runUpmix(const UpmixOptions& options, const host::PluginLibrary& library,
                      host::RenderObserver& observer, const ReportLine& report);

// The built-in demo source: about 12 s of stereo at 44.1 kHz, a plucked
// arpeggio moving from hard right through the centre to hard left over a
// quiet, decorrelated ambience. Reads interleaved stereo frames.
class DemoSignal {
public:
    static constexpr double kSampleRate = 44100.0;
    static constexpr std::size_t kLength = 12 * 44100;
    std::size_t read(float* interleaved, std::size_t frames);

private:
    std::size_t position_ = 0;
    uint32_t noiseState_ = 12345u;
    float ambienceL_ = 0.0f, ambienceR_ = 0.0f;
};

}  // namespace quorveil::spectral
