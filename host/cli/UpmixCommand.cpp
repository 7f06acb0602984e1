// SPDX-License-Identifier: GPL-3.0-or-later
// surround-host upmix [IN] [OUT]: stereo or mono to a speaker layout of
// host/spectral/SpeakerLayout.h (5.1 by default) through the spectral
// modules; without IN, the built-in demo. The work is runUpmix
// (host/cli/UpmixJob.h).
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <thread>

#include "host/cli/CommandLine.h"
#include "host/cli/UpmixJob.h"
#include "host/cli/Wording.h"

namespace quorveil::cli {

namespace {

struct UpmixCommandOptions {
    UpmixJob job;
    std::string method = "slice";
    std::string layout = spectral::defaultLayout().name;
    std::string lfeMode = spectral::lfeModeName(spectral::UpmixControls{}.lfeMode);
    std::string limiter = spectral::UpmixControls{}.limiter ? "on" : "off";
    bool noLimiter = false;
    CLI::Option* lfeModeOption = nullptr;  // to tell whether --lfe-mode was given
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

bool parseLimiter(const std::string& text) {
    const std::string word = host::foldCase(host::trimmed(text));
    if (word == "on") return true;
    if (word == "off") return false;
    throw host::HostError("--limiter takes on or off, not '" + text + "'");
}

// --layout's help: every layout of the table with its channels in file order.
std::string layoutHelp() {
    std::string help = "Speaker layout of OUT, its channels in file order: ";
    const auto layouts = spectral::speakerLayouts();
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        const spectral::SpeakerLayout& layout = layouts[i];
        help += (i == 0 ? "" : "; ") + layoutText(layout) + ": " + layout.description;
        if (&spectral::findLayout("quad") == &layout) help += " ('quad' names it too)";
    }
    return help + ". A mono IN goes to FC, or to FL and FR where there is none";
}

// Warnings for LFE options that cannot act: a layout without an LFE, or a
// mode without a cutoff.
void warnAboutIdleLfeOptions(const spectral::SpeakerLayout& layout,
                             const spectral::UpmixControls& controls, bool modeGiven,
                             Reporter& reporter) {
    const bool cutoff = controls.lfeCutoffHz > 0.0;
    if (!layout.has(spectral::SpeakerId::LFE) && (cutoff || modeGiven)) {
        reporter.warning(std::string(layout.name) + " has no LFE: " +
                         (cutoff ? "--lfe-cutoff" : "--lfe-mode") +
                         " does nothing, and the mains keep the bass");
    } else if (modeGiven && !cutoff) {
        reporter.warning("--lfe-mode does nothing without --lfe-cutoff (the LFE is silent)");
    }
}

// "1,234,567".
std::string grouped(uint64_t n) {
    std::string digits = std::to_string(n);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}

// "the limiter lowered 1,234 samples (0.3% of the output), by at most 3.8 dB"
// (two decimals below 0.1 dB). The engine counts only the samples the file
// keeps (UpmixEngine::endOfInput); the bound is a guard.
std::string limiterLine(const spectral::LimiterActivity& activity, std::size_t frames) {
    const uint64_t samples = std::min<uint64_t>(activity.samples, frames);
    const double share =
        frames > 0 ? 100.0 * static_cast<double>(samples) / static_cast<double>(frames) : 0.0;
    const double depthDb = -20.0 * std::log10(static_cast<double>(activity.deepestGain));
    char text[160];
    std::snprintf(text, sizeof text,
                  "the limiter lowered %s sample%s (%.*f%% of the output), by at most %.*f dB",
                  grouped(samples).c_str(), samples == 1 ? "" : "s",
                  share >= 0.1 ? 1 : share >= 0.001 ? 3 : 5, share, depthDb >= 0.1 ? 1 : 2, depthDb);
    return text;
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
                       "Stereo or mono input file; without one, the built-in demo goes to " +
                           std::string(kDemoFileName) + " with its level report");
    command.add_option("OUT", job.output,
                       "Surround file to write, in --layout's channel order, its speakers named "
                       "in the file (default: IN's name + -5.1.wav, -7.1.wav ... after the "
                       "layout)");
    command.add_option("--layout", options->layout, layoutHelp())
        ->capture_default_str()
        ->type_name("NAME");
    std::string methods;
    for (const spectral::UpmixMethodEntry& entry : spectral::upmixMethodTable()) {
        methods += (methods.empty() ? "" : "; ") + std::string(entry.name) + " (" + entry.module + "), " +
                   entry.character;
    }
    command
        .add_option("--method", options->method,
                    "How the direct sound is placed: " + methods)
        ->capture_default_str();
    addControlOptions(command, job.setup.controls);
    options->lfeModeOption = command
        .add_option("--lfe-mode", options->lfeMode,
                    "What --lfe-cutoff does with the bass. copy: a low-passed copy goes to the "
                    "LFE, 10 dB down since playback raises the LFE channel by 10 dB, and the "
                    "mains stay full range, so a player's bass management and a stereo "
                    "fold-down (which drops the LFE) both keep the bass. crossover: the bass "
                    "leaves the mains for the LFE, for systems that play every channel full "
                    "range; a fold-down then loses it")
        ->capture_default_str()
        ->type_name("copy|crossover");
    char ceiling[16];
    std::snprintf(ceiling, sizeof ceiling, "%.1f",
                  20.0 * std::log10(static_cast<double>(spectral::kLimiterCeiling)));
    auto* limiter =
        command
            .add_option("--limiter", options->limiter,
                        std::string("Peak limiter on the output: a look-ahead limiter on all "
                                    "channels together (so the image holds) that keeps every "
                                    "sample under ") +
                            ceiling +
                            " dBFS and acts only on peaks near full scale; the job says how "
                            "often it acted and by how much. off: for mastering afterwards; "
                            "overs then stay in a float file, are clipped in 16 and 24 bits, "
                            "and get a warning")
            ->capture_default_str()
            ->type_name("on|off");
    command.add_flag("--no-limiter", options->noLimiter, "The same as --limiter off")
        ->excludes(limiter);
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
                    "1: one thread; 2: placement, matrix, mix and resynthesis on a second thread, the same output "
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
        job.setup.layout = &spectral::findLayout(options->layout);
        job.setup.controls.lfeMode = spectral::parseLfeMode(options->lfeMode);
        job.setup.controls.limiter = !options->noLimiter && parseLimiter(options->limiter);
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
        warnAboutIdleLfeOptions(*job.setup.layout, job.setup.controls,
                                options->lfeModeOption->count() > 0, reporter);
        std::FILE* out = context.out();
        const UpmixSummary summary =
            runUpmix(job, context.library(), reporter, [out](const std::string& line) {
                std::fprintf(out, "%s\n", line.c_str());
            });
        reporter.endProgress();
        reportReplacedSamples(context, summary.replacedSamples, job.setup.force);
        if (reporter.verbosity() != Verbosity::Quiet) {
            std::fprintf(out, "wrote %s: %s, %.2f s at %.0f Hz, %s%s\n", summary.output.c_str(),
                         layoutText(*job.setup.layout).c_str(),
                         static_cast<double>(summary.frames) / summary.sampleRate,
                         summary.sampleRate, spectral::methodName(job.setup.controls.method),
                         job.setup.controls.atf ? " + atf" : "");
            if (summary.monoInput) {
                std::fprintf(out, "mono input: upmixed to %s\n",
                             monoDestination(*job.setup.layout).c_str());
            }
            if (summary.limiter.samples > 0) {
                std::fprintf(out, "%s\n", limiterLine(summary.limiter, summary.frames).c_str());
            }
        }
        if (!summary.speakersStated) {
            reporter.warning("a FLAC in a pipe cannot name its speakers: readers take its " +
                             host::plural(summary.channels, "channel") + " for FLAC's default " +
                             "layout, not " + layoutText(*job.setup.layout) +
                             "; write it to a file, or as WAV");
        }
        // Clip4_6 flags overs on the positive side only; the peak catches the
        // negative ones too.
        const float peak = *std::max_element(summary.peak.begin(), summary.peak.end());
        if (summary.clippedSamples > 0 || peak >= 1.0f) {
            const double peakDb = 20.0 * std::log10(static_cast<double>(peak));
            char line[160];
            std::snprintf(line, sizeof line,
                          "the output clips (Clip4_6 flagged %llu sample positions, peak %+.1f "
                          "dBFS); lower --gain by %.1f dB, or leave the limiter on",
                          static_cast<unsigned long long>(summary.clippedSamples), peakDb,
                          peakDb + 0.1);
            reporter.warning(line);
        }
    };
}

}  // namespace quorveil::cli
