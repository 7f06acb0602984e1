// SPDX-License-Identifier: GPL-3.0-or-later
// surround-host render MODULE IN OUT: one sound file through one module.
#include <CLI/CLI.hpp>

#include "host/cli/CommandLine.h"
#include "host/spectral/Stft.h"

namespace quorveil::cli {

namespace {

struct RenderOptions {
    std::string module, input, output;
    ParameterOptions parameters;
    int64_t blockSize = 512;
    std::string bits, type;
    int64_t fftSize = spectral::kDefaultFftSize;
    int64_t overlap = spectral::kDefaultOverlap;
    std::vector<std::string> pinMaps, phaseFrom;
};

int32_t checkedCount(int64_t value, int64_t largest, const std::string& what) {
    if (value < 1 || value > largest) {
        throw host::HostError(what + " must be 1 to " + std::to_string(largest) + ", not " +
                              std::to_string(value));
    }
    return static_cast<int32_t>(value);
}

// The FFT size and overlap any host can have, whatever the module: Clip4_6
// reports the FFT delay of these settings, the spectral modules run on them.
void checkFftSettings(int64_t fftSize, int64_t overlap) {
    const auto clamp = [](int64_t value) {
        return static_cast<int>(std::clamp<int64_t>(value, -1, 1 << 30));
    };
    if (std::string problem = spectral::checkSettings({48000.0, clamp(fftSize), clamp(overlap)});
        !problem.empty()) {
        throw host::HostError(problem);
    }
}

}  // namespace

std::function<void()> addRenderCommand(CLI::App& command, Context& context) {
    auto options = std::make_shared<RenderOptions>();
    command.add_option("MODULE", options->module,
                       "Class name, display name or unique id (any letter case)")
        ->required();
    command.add_option("IN", options->input,
                       "Input sound file, or '-' for stdin: one channel per audio input pin")
        ->required();
    command
        .add_option("OUT", options->output,
                    "Output sound file (.wav, .flac, .aiff), or '-' for stdout with --type: one "
                    "channel per audio output pin")
        ->required();
    addParameterOptions(command, options->parameters);
    command.add_option("--block", options->blockSize,
                       "Audio modules: samples per process call (1 to 65536)")
        ->capture_default_str();
    addBitsOption(command, options->bits);
    addTypeOption(command, options->type);
    command
        .add_option("--fft-size", options->fftSize,
                    "The engine's FFT size: 512, 1024, 2048, 4096, 8192 or 16384 (the spectral "
                    "modules run on it; Clip4_6 reports its FFT delay)")
        ->capture_default_str();
    command.add_option("--overlap", options->overlap, "The engine's FFT overlap: 2, 4, 8 or 16")
        ->capture_default_str();
    command
        .add_option("--map", options->pinMaps,
                    "Spectral modules: input channels (from 1) for the magnitude or frequency "
                    "pins, e.g. magnitude=1,2,1,2,1 or frequency=2,1 (default: in order)")
        ->allow_extra_args(false)
        ->type_name("FAMILY=LIST");
    command
        .add_option("--phase-from", options->phaseFrom,
                    "Spectral modules: the phase an output is resynthesised with, OUTPUT=L|R|L+R|N "
                    "or one for all (default: by the output's side, centre L+R)")
        ->allow_extra_args(false)
        ->type_name("[OUTPUT=]REF");

    return [&context, &command, options] {
        host::RenderJob job;
        job.blockSize = checkedCount(options->blockSize, host::kLargestBlock, "--block");
        checkFftSettings(options->fftSize, options->overlap);
        job.fftSize = static_cast<int32_t>(options->fftSize);
        job.overlap = static_cast<int32_t>(options->overlap);
        job.settings = options->parameters.parsed();
        job.force = options->parameters.force;
        job.bits = options->bits;
        job.type = options->type;
        job.input = options->input;
        job.output = options->output;
        job.pinMaps = options->pinMaps;
        job.phaseFrom = options->phaseFrom;
        for (const char* name : {"--block", "--fft-size", "--overlap", "--map", "--phase-from"}) {
            if (command.count(name) > 0) {
                job.givenOptions.emplace_back(name);
            }
        }
        job.library = &context.library();
        job.module = job.library->findModule(options->module);

        const host::PinCounts pins = host::probePins(*job.library, job.module);
        for (const RenderPath& path : renderPaths()) {
            if (path.accepts(pins)) {
                const host::RenderSummary summary = path.render(job, context.reporter());
                context.reporter().endProgress();
                context.reporter().report(summary);
                reportReplacedSamples(context, summary.replacedSamples, summary.forced);
                reportWritten(context, summary);
                return;
            }
        }
        throw host::HostError(job.module.name + " has no output pins to render");
    };
}

}  // namespace quorveil::cli
