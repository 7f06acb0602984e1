// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/cli/CommandLine.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <sstream>

#include "host/cli/FloatingPointMode.h"
#include "host/cli/Wording.h"

#ifndef QUORVEIL_VERSION
#define QUORVEIL_VERSION "unknown"
#endif
// Where an installed surround-host finds the library, from its own folder.
#ifndef QUORVEIL_LIBRARY_FROM_PROGRAM
#define QUORVEIL_LIBRARY_FROM_PROGRAM "../lib/quorveil-surround"
#endif

namespace quorveil::cli {

namespace fs = std::filesystem;

namespace {

std::string executablePathOf(const char* argv0) {
    std::error_code error;
    fs::path path = fs::read_symlink("/proc/self/exe", error);
    if (error || path.empty()) {
        path = fs::absolute(argv0 != nullptr ? argv0 : "surround-host", error);
    }
    return path.string();
}

// CLI11 ends some messages with a line feed; ours are one line.
std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

}  // namespace

std::string Context::libraryFile() const {
    if (!libraryPath.empty()) {
        // From the current folder, as any path on a command line; a bare
        // name would otherwise send the loader through its search path.
        std::error_code error;
        const fs::path path = fs::absolute(libraryPath, error);
        if (error || !fs::exists(path, error)) {
            throw host::HostError("library '" + libraryPath + "' does not exist");
        }
        return path.string();
    }
    const fs::path folder = fs::path(executablePath_).parent_path();
    const fs::path beside = folder / host::defaultLibraryFileName();
    const fs::path installed =
        (folder / QUORVEIL_LIBRARY_FROM_PROGRAM / host::defaultLibraryFileName()).lexically_normal();
    std::error_code error;
    return (fs::exists(beside, error) || !fs::exists(installed, error) ? beside : installed).string();
}

const host::PluginLibrary& Context::library() {
    if (!library_) {
        library_ = std::make_unique<host::PluginLibrary>(libraryFile());
    }
    return *library_;
}

std::vector<host::ParameterAssignment> ParameterOptions::parsed() const {
    std::vector<host::ParameterAssignment> assignments;
    for (const std::string& text : texts) {
        assignments.push_back(host::parseAssignment(text));
    }
    return assignments;
}

void addParameterOptions(CLI::App& command, ParameterOptions& options, bool chain) {
    command
        .add_option("-s,--set", options.texts,
                    chain ? "Set a parameter before processing: [MODULE:]NAME=VALUE. NAME goes to "
                            "every module of the chain that has it; MODULE:NAME (such as "
                            "ATF4_6:Mode=Across) to one. Names as 'info' shows them, any letter "
                            "case; a choice by its text or index; switches on/off; repeatable"
                          : "Set a parameter before processing: NAME=VALUE (name as 'info' shows "
                            "it, any letter case; a choice by its text or index; switches "
                            "on/off); repeatable")
        ->allow_extra_args(false)
        ->type_name(chain ? "[MODULE:]NAME=VALUE" : "NAME=VALUE");
    command.add_flag("--force", options.force,
                     "Send real values outside their declared range unchanged");
}

void addTypeOption(CLI::App& command, std::string& type) {
    command
        .add_option("-t,--type", type,
                    "Output format: wav, flac or aiff (default: OUT's extension). Needed when OUT "
                    "is '-', stdout; AIFF cannot be streamed")
        ->type_name("TYPE");
}

void addBitsOption(CLI::App& command, std::string& bits) {
    command.add_option("--bits", bits, "Output samples: 16, 24 or 32f (default 32f; 24 for FLAC)")
        ->type_name("BITS");
}

void reportReplacedSamples(Context& context, int64_t replaced, bool forced) {
    if (replaced <= 0) {
        return;
    }
    context.reporter().warning(
        std::to_string(replaced) +
        (replaced == 1 ? " output sample that was not a number was"
                       : " output samples that were not numbers were") +
        " written as silence: " +
        (forced ? "values outside their declared ranges (--force) made the modules compute them"
                : "a fault in surround-host or a module, please report it"));
    context.outputWasMended();
}

void reportWritten(Context& context, const host::RenderSummary& summary) {
    if (context.reporter().verbosity() == Verbosity::Quiet) {
        return;
    }
    char length[64];
    std::snprintf(length, sizeof length, "%.2f s at %d Hz",
                  summary.sampleRate > 0 ? static_cast<double>(summary.frames) / summary.sampleRate
                                         : 0.0,
                  summary.sampleRate);
    std::fprintf(context.out(), "wrote %s: %s (%s), %s, %s\n", summary.output.c_str(),
                 host::plural(summary.outputChannels, "channel").c_str(),
                 host::joined(summary.outputNames).c_str(), length, summary.format.c_str());
    std::fflush(context.out());
}

std::string formatTable(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (std::size_t c = 0; c < row.size(); ++c) {
            widths[c] = std::max(widths[c], row[c].size());
        }
    }
    std::string text;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size()) {
                line += std::string(widths[c] - row[c].size() + 2, ' ');
            }
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        text += line + "\n";
    }
    return text;
}

std::string menuPath(const std::string& categoryPath) {
    std::string path;
    for (char c : categoryPath) {
        path += c == '\t' ? std::string(" > ") : std::string(1, c);
    }
    return path;
}

namespace {

// The subcommand the arguments name: the first word that is neither an
// option nor the value of --library. Empty when there is none.
std::string commandWord(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--library") {
            ++i;
        } else if (arg == "-" || arg.empty() || arg[0] != '-') {
            return arg;
        }
    }
    return {};
}

std::string commandNames() {
    std::string names;
    for (const Command& command : commandTable()) {
        names += (names.empty() ? "" : ", ") + std::string(command.name);
    }
    return names;
}

// The options every command takes, on the program and on each command, so
// that they may stand before or after the command and show in its help.
struct SharedOptions {
    std::string* libraryPath;
    bool* verbose;
    bool* quiet;

    void addTo(CLI::App& app) const {
        app.add_option("--library", *libraryPath,
                       "Plug-in library to load, a path from the current folder (default: the "
                       "one installed with surround-host)")
            ->type_name("PATH");
        auto* verboseFlag =
            app.add_flag("-v,--verbose", *verbose, "Also show what the module tells the host");
        app.add_flag("-q,--quiet", *quiet, "Show nothing but errors and warnings")
            ->excludes(verboseFlag);
    }
};

std::string versionText(Context& context) {
    std::string text = "surround-host " QUORVEIL_VERSION "\n";
    std::error_code error;
    const std::string library = context.libraryFile();
    const fs::path canonical = fs::canonical(library, error);
    return text + "library " + (error ? library : canonical.string()) + "\n";
}

}  // namespace

int run(int argc, char** argv, std::FILE* out, std::FILE* err) {
    Reporter reporter(err, ::isatty(::fileno(err)) != 0);
    Context context(executablePathOf(argc > 0 ? argv[0] : nullptr), out, err, reporter);

    CLI::App app{"Lists, inspects and renders the modules of the Quorveil Surround library, and "
                 "upmixes stereo or mono to surround (3.0 to 7.1) with them. Version " QUORVEIL_VERSION ".",
                 "surround-host"};
    app.require_subcommand(0, 1);
    app.fallthrough();  // global options may also follow the subcommand
    bool verbose = false, quiet = false, version = false;
    const SharedOptions shared{&context.libraryPath, &verbose, &quiet};
    shared.addTo(app);
    app.add_flag("--version", version, "Print the version and the library's path");

    std::vector<std::pair<CLI::App*, std::function<void()>>> actions;
    for (const Command& command : commandTable()) {
        CLI::App* sub = app.add_subcommand(command.name, command.summary);
        shared.addTo(*sub);
        actions.emplace_back(sub, command.add(*sub, context));
    }

    if (argc <= 1) {
        std::fputs(app.help().c_str(), err);
        return 2;
    }
    const std::string word = commandWord(argc, argv);
    const bool known = std::any_of(commandTable().begin(), commandTable().end(),
                                   [&](const Command& command) { return word == command.name; });
    const std::string help =
        known ? "(see 'surround-host " + word + " --help')" : "(see 'surround-host --help')";
    try {
        if (!word.empty() && !known) {
            throw host::HostError("unknown command '" + word + "' (" + commandNames() + ")");
        }
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& call) {
        std::ostringstream text, errors;
        app.exit(call, text, errors);
        std::fputs(text.str().c_str(), out);
        return 0;
    } catch (const CLI::CallForAllHelp& call) {
        std::ostringstream text, errors;
        app.exit(call, text, errors);
        std::fputs(text.str().c_str(), out);
        return 0;
    } catch (const CLI::ParseError& error) {
        reporter.error(oneLine(error.what()) + " " + help);
        return 2;
    } catch (const host::HostError& error) {
        reporter.error(oneLine(error.what()));
        return 2;
    }
    reporter.setVerbosity(quiet ? Verbosity::Quiet : verbose ? Verbosity::Verbose : Verbosity::Normal);

    try {
        if (version) {
            std::fputs(versionText(context).c_str(), out);
            return 0;
        }
        if (word.empty()) {
            throw host::HostError("no command given (" + commandNames() +
                                  "; see 'surround-host --help')");
        }
        // surround-host owns the thread that renders: subnormal samples are
        // flushed to zero in its processing, as an audio host does.
        const DenormalsOff denormalsOff;
        for (auto& [sub, action] : actions) {
            if (!sub->parsed()) {
                continue;
            }
            const CLI::Option* output = sub->get_option_no_throw("OUT");
            if (output != nullptr && output->count() > 0 &&
                host::isStandardStream(output->as<std::string>())) {
                context.soundGoesToStdout();
            }
            action();
        }
        reporter.endProgress();
        return context.exitStatus();
    } catch (const host::HostError& error) {
        reporter.endProgress();
        reporter.error(oneLine(error.what()));
        return 2;
    } catch (const std::exception& error) {
        reporter.endProgress();
        reporter.error(std::string("internal error: ") + oneLine(error.what()));
        return 1;
    }
}

}  // namespace quorveil::cli
