#include "host/cli/CommandLine.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <sstream>

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

const host::PluginLibrary& Context::library() {
    if (!library_) {
        const std::string path =
            libraryPath.empty()
                ? (fs::path(executablePath_).parent_path() / host::defaultLibraryFileName()).string()
                : libraryPath;
        library_ = std::make_unique<host::PluginLibrary>(path);
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

void addParameterOptions(CLI::App& command, ParameterOptions& options) {
    command
        .add_option("-s,--set", options.texts,
                    "Set a parameter before processing: NAME=VALUE (name as 'info' shows it, any "
                    "letter case; a choice by its text or index; switches on/off); repeatable")
        ->allow_extra_args(false)
        ->type_name("NAME=VALUE");
    command.add_flag("--force", options.force,
                     "Send real values outside their declared range unchanged");
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

int run(int argc, char** argv, std::FILE* out, std::FILE* err) {
    Reporter reporter(err, ::isatty(::fileno(err)) != 0);
    Context context(executablePathOf(argc > 0 ? argv[0] : nullptr), out, reporter);

    CLI::App app{"Lists, inspects and renders the modules of the Quorveil Surround library, and "
                 "upmixes stereo to 5.1 with them.",
                 "surround-host"};
    app.require_subcommand(1);
    app.fallthrough();  // global options may also follow the subcommand
    app.add_option("--library", context.libraryPath,
                   "Plug-in library to load (default: the one beside surround-host)")
        ->type_name("PATH");
    bool verbose = false, quiet = false;
    auto* verboseFlag =
        app.add_flag("-v,--verbose", verbose, "Also show what the module tells the host");
    app.add_flag("-q,--quiet", quiet, "Show nothing but errors")->excludes(verboseFlag);

    std::vector<std::pair<CLI::App*, std::function<void()>>> actions;
    for (const Command& command : commandTable()) {
        CLI::App* sub = app.add_subcommand(command.name, command.summary);
        actions.emplace_back(sub, command.add(*sub, context));
    }

    if (argc <= 1) {
        std::fputs(app.help().c_str(), err);
        return 2;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        std::ostringstream text, errors;
        app.exit(help, text, errors);
        std::fputs(text.str().c_str(), out);
        return 0;
    } catch (const CLI::CallForAllHelp& help) {
        std::ostringstream text, errors;
        app.exit(help, text, errors);
        std::fputs(text.str().c_str(), out);
        return 0;
    } catch (const CLI::ParseError& error) {
        reporter.error(oneLine(error.what()) + " (see 'surround-host --help')");
        return 2;
    }
    reporter.setVerbosity(quiet ? Verbosity::Quiet : verbose ? Verbosity::Verbose : Verbosity::Normal);

    try {
        for (auto& [sub, action] : actions) {
            if (sub->parsed()) {
                action();
            }
        }
        reporter.endProgress();
        return 0;
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
