// surround-host upmix [IN] [OUT]: stereo to 5.1 through the spectral modules;
// without IN, the built-in demo. The work is runUpmix (host/cli/UpmixJob.h).
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>

#include "host/cli/CommandLine.h"
#include "host/cli/UpmixJob.h"

namespace quorveil::cli {

namespace {

struct UpmixCommandOptions {
    UpmixJob job;
    std::string method = "slice";
    ParameterOptions parameters;
};

void addControlOptions(CLI::App& command, spectral::UpmixControls& c) {
    command.add_flag("--atf", c.atf,
                     "Follow the placement with ATF4_6: cross-fades the speakers by the L/R "
                     "frequency difference");
    command.add_option("--width", c.width,
                       "Front image: 1 spans FL-FC-FR, 0.5 half as wide, 0 all in FC")
        ->capture_default_str()
        ->type_name("0..1");
    command.add_option("--ambience", c.ambienceDb,
                       "Level of the ambience (what L and R do not share, mostly behind)")
        ->capture_default_str()
        ->type_name("DB");
    command.add_option("--centre,--center", c.centreDb, "Level of the centre speaker")
        ->capture_default_str()
        ->type_name("DB");
    command.add_option("--rear-delay", c.rearDelayMs, "Delay of BL and BR, 0 to 100 ms")
        ->capture_default_str()
        ->type_name("MS");
    command.add_option("--smooth", c.smoothMs,
                       "Time constant of the per-bin averages that decide direct, ambience and "
                       "placement, 10 to 2000 ms: longer is steadier, shorter follows faster")
        ->capture_default_str()
        ->type_name("MS");
    command.add_option("--lfe-cutoff", c.lfeCutoffHz,
                       "Crossover to the LFE, 20 to 500 Hz: the LFE takes the sound below it, the "
                       "mains keep the rest (default 0: a silent LFE)")
        ->type_name("HZ");
    command.add_option("--gain", c.gainDb, "Output level, -120 to 60 dB")
        ->capture_default_str()
        ->type_name("DB");
}

}  // namespace

std::function<void()> addUpmixCommand(CLI::App& command, Context& context) {
    auto options = std::make_shared<UpmixCommandOptions>();
    UpmixJob& job = options->job;
    command.add_option("IN", job.input,
                       "Stereo input file; without one, the built-in demo goes to " +
                           std::string(kDemoFileName) + " with its level report");
    command.add_option("OUT", job.output,
                       "5.1 file to write, FL FR FC LFE BL BR (default: IN's name + -5.1.wav)");
    command
        .add_option("--method", options->method,
                    "Module that places the direct sound on FL-FC-FR: slice (Slice4_6), arctan "
                    "(ArcTan4_6), cc (CC4_6)")
        ->capture_default_str();
    addControlOptions(command, job.setup.controls);
    addParameterOptions(command, options->parameters);
    command.add_flag("--report", job.report, "Print each channel's level per second of output");
    command.add_option("--fft-size,--fft", job.setup.fftSize, "FFT size: 512 to 16384, a power of two")
        ->capture_default_str();
    command.add_option("--overlap", job.setup.overlap, "FFT overlap: 2, 4, 8 or 16")
        ->capture_default_str();

    return [&context, options] {
        UpmixJob job = options->job;
        job.setup.controls.method = spectral::parseUpmixMethod(options->method);
        for (const std::string& text : options->parameters.texts) {
            job.setup.settings.push_back(host::parseChainAssignment(text));
        }
        job.setup.force = options->parameters.force;
        if (std::string problem = spectral::checkControls(job.setup.controls); !problem.empty()) {
            throw host::HostError(problem);
        }
        const bool demo = job.input.empty();
        job.report = job.report || demo;

        Reporter& reporter = context.reporter();
        std::FILE* out = context.out();
        const UpmixSummary summary =
            runUpmix(job, context.library(), reporter, [out](const std::string& line) {
                std::fprintf(out, "%s\n", line.c_str());
            });
        reporter.endProgress();
        if (reporter.verbosity() != Verbosity::Quiet) {
            std::fprintf(out, "wrote %s: 5.1, %.2f s at %.0f Hz, %s%s\n", summary.output.c_str(),
                         static_cast<double>(summary.frames) / summary.sampleRate,
                         summary.sampleRate, options->method.c_str(),
                         job.setup.controls.atf ? " + atf" : "");
        }
        // Clip4_6 flags overs on the positive side only; the peak catches the
        // negative ones too.
        const float peak = *std::max_element(summary.peak.begin(), summary.peak.end());
        if (summary.clippedSamples > 0 || peak >= 1.0f) {
            const double peakDb = 20.0 * std::log10(static_cast<double>(peak));
            char line[160];
            std::snprintf(line, sizeof line,
                          "the output clips (Clip4_6 flagged %llu sample positions, peak %+.1f "
                          "dBFS); lower --gain by %.1f dB",
                          static_cast<unsigned long long>(summary.clippedSamples), peakDb,
                          peakDb + 0.1);
            reporter.warning(line);
        }
    };
}

}  // namespace quorveil::cli
