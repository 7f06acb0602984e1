// SPDX-License-Identifier: GPL-3.0-or-later
// surround-host upmix [IN] [OUT]: stereo to 5.1 through the spectral modules;
// without IN, the built-in demo. The work is runUpmix (host/spectral/Upmix.h).
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>

#include "host/cli/CommandLine.h"
#include "host/cli/Upmix.h"

namespace quorveil::cli {

namespace {

struct UpmixCommandOptions {
    spectral::UpmixOptions upmix;
    std::string method = "slice";
    ParameterOptions parameters;
};

}  // namespace

std::function<void()> addUpmixCommand(CLI::App& command, Context& context) {
    auto options = std::make_shared<UpmixCommandOptions>();
    spectral::UpmixOptions& o = options->upmix;
    command.add_option("IN", o.input,
                       "Stereo input file; without one, the built-in demo goes to " +
                           std::string(spectral::kDemoFileName) + " with its level report");
    command.add_option("OUT", o.output,
                       "5.1 file to write, FL FR FC LFE BL BR (default: IN's name + -5.1.wav)");
    command
        .add_option("--method", options->method,
                    "slice: Slice4_6 gives all five speakers; arctan: ArcTan4_6 places each bin "
                    "by its left/right balance; cc: CC4_6 gives centre and rears, the fronts keep "
                    "L and R")
        ->capture_default_str();
    command.add_flag("--atf", o.atf,
                     "Follow with ATF4_6: cross-fades the speakers by the L/R frequency difference");
    addParameterOptions(command, options->parameters, true);
    addTypeOption(command, o.type);
    command.add_option("--lfe-cutoff", o.lfeCutoffHz,
                       "Send the bins of L+R up to HZ to the LFE (default: a silent LFE)")
        ->type_name("HZ");
    command.add_option("--gain", o.gainDb, "Output level in dB")->capture_default_str()->type_name("DB");
    command.add_flag("--report", o.report, "Print each channel's level per second of output");
    command.add_option("--fft-size,--fft", o.fftSize, "FFT size: 512 to 16384, a power of two")
        ->capture_default_str();
    command.add_option("--overlap", o.overlap, "FFT overlap: 2, 4, 8 or 16")->capture_default_str();
    command.add_option("--phase-from", o.phaseFrom,
                       "Phase a speaker is resynthesised with: SPEAKER=L|R|L+R, or L|R|L+R for "
                       "all (default: left side L, right side R, FC and LFE L+R); repeatable")
        ->allow_extra_args(false);

    return [&context, options] {
        spectral::UpmixOptions upmix = options->upmix;
        upmix.method = spectral::parseUpmixMethod(options->method);
        for (const std::string& text : options->parameters.texts) {
            upmix.settings.push_back(host::parseChainAssignment(text));
        }
        upmix.force = options->parameters.force;
        const bool demo = upmix.input.empty();
        upmix.report = upmix.report || demo;

        Reporter& reporter = context.reporter();
        std::FILE* out = context.out();
        const spectral::UpmixSummary summary =
            spectral::runUpmix(upmix, context.library(), reporter, [out](const std::string& line) {
                std::fprintf(out, "%s\n", line.c_str());
            });
        reporter.endProgress();
        if (reporter.verbosity() != Verbosity::Quiet) {
            std::fprintf(out, "wrote %s: 5.1, %.2f s at %.0f Hz, %s%s\n", summary.output.c_str(),
                         static_cast<double>(summary.frames) / summary.sampleRate,
                         summary.sampleRate, options->method.c_str(), upmix.atf ? " + atf" : "");
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
