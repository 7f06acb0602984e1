// SPDX-License-Identifier: GPL-3.0-or-later
// surround-host upmix [IN] [OUT]: stereo to 5.1 through the spectral modules;
// without IN, the built-in demo. The work is runUpmix (host/cli/UpmixJob.h).
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <thread>

#include "host/cli/CommandLine.h"
#include "host/cli/UpmixJob.h"

namespace quorveil::cli {

namespace {

struct UpmixCommandOptions {
    UpmixJob job;
    std::string method = "slice";
    std::string threads;
    ParameterOptions parameters;
    // Options of `render` that have no place here, taken only to say so.
    std::vector<std::string> renderOnly[3];
};

// What `render` takes and `upmix` does not, and why not.
constexpr struct {
    const char* option;
    const char* why;
} kRenderOnlyOptions[] = {
    {"--block", "its block is the FFT hop"},
    {"--map", "its input is the stereo pair, L and R"},
    {"--phase-from", "every speaker is resynthesised with the phase of what it plays"},
};

int parseThreads(const std::string& text) {
    if (text == "1" || text == "2") return text[0] - '0';
    throw host::HostError("--threads takes 1 or 2, not '" + text + "'");
}

// What --help shows for the value: the unit in capitals (DB, MS, HZ), X for
// a plain number.
std::string valueName(const char* unit) {
    std::string name = *unit != '\0' ? unit : "x";
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

// --atf, then one option per row of the control table.
void addControlOptions(CLI::App& command, spectral::UpmixControls& c) {
    command.add_flag("--atf", c.atf,
                     "Follow the placement with ATF4_6: cross-fades the speakers by the L/R "
                     "frequency difference");
    for (const spectral::UpmixControlEntry& entry : spectral::upmixControlTable()) {
        std::string names = std::string("--") + entry.symbol;
        if (entry.alias != nullptr) names += std::string(",--") + entry.alias;
        char range[96];
        std::snprintf(range, sizeof range, " (%g to %g%s%s%s%s)", entry.minimum, entry.maximum,
                      *entry.unit != '\0' ? " " : "", entry.unit,
                      entry.offText != nullptr ? ", or " : "",
                      entry.offText != nullptr ? entry.offText : "");
        const std::string help = entry.help + std::string(range);
        command.add_option(names, c.*entry.field, help)
            ->capture_default_str()
            ->type_name(valueName(entry.unit));
    }
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
    std::string methods;
    for (const spectral::UpmixMethodEntry& entry : spectral::upmixMethodTable()) {
        methods += (methods.empty() ? "" : ", ") + std::string(entry.name) + " (" + entry.module + ")";
    }
    command
        .add_option("--method", options->method,
                    "Module that places the direct sound on FL-FC-FR: " + methods)
        ->capture_default_str();
    addControlOptions(command, job.setup.controls);
    addParameterOptions(command, options->parameters, true);
    addTypeOption(command, job.type);
    addBitsOption(command, job.bits);
    command.add_flag("--report", job.report, "Print each channel's level per second of output");
    command.add_option("--fft-size,--fft", job.setup.fftSize, "FFT size: 512 to 16384, a power of two")
        ->capture_default_str();
    command.add_option("--overlap", job.setup.overlap, "FFT overlap: 2, 4, 8 or 16")
        ->capture_default_str();
    // The output is the same samples either way; two threads pipeline each
    // hop's mix and resynthesis beside the next hop's analysis.
    options->threads = std::thread::hardware_concurrency() >= 2 ? "2" : "1";
    command
        .add_option("--threads", options->threads,
                    "1: one thread; 2: mix and resynthesis on a second thread, the same output "
                    "(1 or 2, default " + options->threads + " here)")
        ->type_name("N");
    for (std::size_t i = 0; i < std::size(kRenderOnlyOptions); ++i) {
        command.add_option(kRenderOnlyOptions[i].option, options->renderOnly[i])
            ->allow_extra_args(false)
            ->group("");
    }

    return [&context, options] {
        for (std::size_t i = 0; i < std::size(kRenderOnlyOptions); ++i) {
            if (!options->renderOnly[i].empty()) {
                throw host::HostError(std::string("upmix takes no ") + kRenderOnlyOptions[i].option +
                                      " (" + kRenderOnlyOptions[i].why + ")");
            }
        }
        UpmixJob job = options->job;
        job.setup.threads = parseThreads(options->threads);
        if (host::isStandardStream(job.input) && job.output.empty()) {
            // No name to derive one from: the sound goes where a stream's
            // goes, unless that is a terminal.
            if (::isatty(STDOUT_FILENO) != 0) {
                throw host::HostError("the input is stdin, so name OUT: a file, or '-' for "
                                      "stdout (redirected or piped)");
            }
            job.output = "-";
            if (job.type.empty()) job.type = "wav";
            context.soundGoesToStdout();
        }
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
        reportReplacedSamples(context, summary.replacedSamples, job.setup.force);
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
