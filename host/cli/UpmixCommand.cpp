#include "host/cli/UpmixCommand.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>

namespace quorveil::cli {

void addUpmixCommand(CLI::App& parent, UpmixCommand& command) {
    spectral::UpmixOptions& o = command.options;
    CLI::App* app = parent.add_subcommand(
        "upmix",
        "Upmix a stereo file to 5.1 (FL FR FC LFE BL BR). Without an input, renders the built-in "
        "demo to upmix-demo.wav and prints its level report.");
    app->add_option("IN", o.input, "stereo input file");
    app->add_option("OUT", o.output, "5.1 WAV to write (default: IN's name with -5.1.wav)");
    app->add_option("--method", command.method,
                    "slice: Slice4_6 gives all five speakers; arctan: ArcTan4_6 places each bin "
                    "by its left/right balance; cc: CC4_6 gives centre and rears, the fronts keep "
                    "L and R")
        ->capture_default_str();
    app->add_flag("--atf", o.atf, "cross-fade the five speakers with ATF4_6 by the L/R frequency difference");
    app->add_option("--set", o.settings,
                    "set a module parameter, NAME=VALUE or MODULE:NAME=VALUE (repeatable)");
    app->add_option("--phase-from", o.phaseFrom,
                    "phase reference of a speaker, SPEAKER=L|R|L+R, or L|R|L+R for all "
                    "(default: left side L, right side R, FC and LFE L+R)");
    app->add_option("--lfe-cutoff", o.lfeCutoffHz,
                    "send the bins of L+R up to HZ to the LFE (default: silent LFE)");
    app->add_option("--gain", o.gainDb, "output gain in dB")->capture_default_str();
    app->add_flag("--report", o.report, "print each channel's level per second of output");
    app->add_option("--fft", o.fftSize, "FFT size: 512, 1024, 2048, 4096, 8192 or 16384")
        ->capture_default_str();
    app->add_option("--overlap", o.overlap, "FFT overlap: 2, 4, 8 or 16")->capture_default_str();
    command.app = app;
}

int runUpmixCommand(UpmixCommand& command, const std::string& libraryPath) {
    spectral::UpmixOptions options = command.options;
    options.libraryPath = libraryPath;
    const bool demo = options.input.empty();
    if (demo) options.report = true;
    try {
        options.method = spectral::parseUpmixMethod(command.method);
        const spectral::UpmixSummary summary = spectral::runUpmix(options, std::cout);
        std::printf("wrote %s: 5.1, %.2f s at %.0f Hz, %s%s\n", summary.output.c_str(),
                    static_cast<double>(summary.frames) / summary.sampleRate, summary.sampleRate,
                    command.method.c_str(), options.atf ? " + atf" : "");
        float peak = 0.0f;
        for (float p : summary.peak) peak = std::max(peak, p);
        // Clip4_6 flags overs on the positive side only; the peak catches the
        // negative ones too.
        if (summary.clippedSamples > 0 || peak >= 1.0f) {
            const double peakDb = 20.0 * std::log10(static_cast<double>(peak));
            std::fprintf(stderr,
                         "warning: the output clips (Clip4_6 flagged %zu sample positions, peak "
                         "%+.1f dBFS); lower --gain by %.1f dB\n",
                         summary.clippedSamples, peakDb, peakDb + 0.1);
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "surround-host upmix: %s\n", error.what());
        return 2;
    }
}

}  // namespace quorveil::cli
