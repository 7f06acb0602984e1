// SPDX-License-Identifier: GPL-3.0-or-later
// One `render` as the command line hands it to a render path: which module,
// which files, the user's settings, and an observer that hears how it goes.
// A render path (the audio path in host/cli/AudioRender, the spectral path
// beside it) reads the input, lives one ModuleSession through, writes the
// output with a SoundFileWriter and commits it only when all went well.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "host/hosting/ModuleSession.h"
#include "host/hosting/ParameterText.h"
#include "host/hosting/PluginLibrary.h"
#include "host/hosting/ProcessBuffers.h"
#include "host/hosting/WarningListener.h"
#include "host/soundfiles/SoundFile.h"

namespace quorveil::host {

struct RenderJob {
    const PluginLibrary* library = nullptr;
    ModuleRow module;
    std::string input;
    std::string output;
    std::vector<ParameterAssignment> settings;  // applied in order after the defaults
    bool force = false;                         // let Reals outside their range through
    int32_t blockSize = 512;                    // samples per process call, 1..65536
    std::string bits;                           // "16", "24", "32f" or "" for the default
    std::string type;                           // "wav", "flac", "aiff" or "" for OUT's extension
    int32_t fftSize = 2048;                     // the engine's spectral settings
    int32_t overlap = 4;
    // Spectral modules only: which input channel feeds which pin
    // ("magnitude=1,2,1"), and the phase each output is resynthesised with
    // ("LF=L", "C=L+R", or one reference for all).
    std::vector<std::string> pinMaps;
    std::vector<std::string> phaseFrom;
    // The engine and pin options the user gave ("--block", "--fft-size",
    // "--overlap", "--map", "--phase-from"): a render path warns of those
    // that do nothing for its modules.
    std::vector<std::string> givenOptions;
};

inline constexpr int32_t kLargestBlock = 65536;

struct RenderSummary {
    std::string output;  // as the user named it
    int64_t frames = 0;
    int32_t sampleRate = 0;
    int32_t outputChannels = 0;
    std::string format;                      // e.g. "WAV, 32-bit float"
    OutputFormat written;
    std::vector<std::string> outputNames;    // one per channel, the module's pin names
    std::vector<ChannelLevel> levels;        // one per channel
    std::vector<IndicatorTally> indicators;  // e.g. the clip light
    // Output samples that were not numbers, written as silence by the
    // writer's last guard; `forced`: the job sent values outside their
    // ranges (--force), which is how modules come to compute them.
    int64_t replacedSamples = 0;
    bool forced = false;
};

// What a render path tells the command line while it works. Every call comes
// from the rendering thread; the defaults ignore everything.
class RenderObserver : public HostMessageListener, public WarningListener {
public:
    void warning(const std::string& line) override { (void)line; }
    // Once the instance is up and the files are open, before the first block.
    virtual void starting(ModuleSession& session, const std::string& plan) {
        (void)session;
        (void)plan;
    }
    // After each block; `total` is -1 when the input does not tell its length.
    virtual void progress(int64_t done, int64_t total, int32_t sampleRate) {
        (void)done;
        (void)total;
        (void)sampleRate;
    }
};

// The engine settings a render runs with: the file's rate, the user's block,
// FFT size and overlap, and as many spectral frames as hops fit in a block.
// The speakers a module's output pins name, by the first word of each name:
// LF, RF, C, LFE, LS, RS (the modules' names for FL FR FC LFE BL BR); any
// other output ("FFT Delay", ArcTan4_6's position outputs) is no speaker.
std::vector<Speaker> speakersNamedBy(const std::vector<std::string>& pinNames);

// Whether an output pin carries sound for a speaker (by its name as above);
// the others carry values such as a delay or an angle.
bool carriesSound(const std::string& pinName);
// What such an output carries, in words ("the FFT delay in samples"); "a
// value" for one not known here.
std::string valueCarriedBy(const std::string& pinName);

inline plogue::biduleSDK::EngineInfo engineFor(const RenderJob& job, int32_t sampleRate) {
    const int32_t hop = std::max(1, job.fftSize / std::max(1, job.overlap));
    return makeEngineInfo(static_cast<double>(sampleRate), job.blockSize, job.fftSize,
                          job.overlap, std::max(1, job.blockSize / hop));
}

}  // namespace quorveil::host
