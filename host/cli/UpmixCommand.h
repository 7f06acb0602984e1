// The `upmix` subcommand: parses its options into UpmixOptions and reports
// the result. The work itself is runUpmix (host/spectral/Upmix.h).
#pragma once

#include <CLI/CLI.hpp>

#include <string>

#include "host/spectral/Upmix.h"

namespace quorveil::cli {

struct UpmixCommand {
    spectral::UpmixOptions options;
    std::string method = "slice";
    CLI::App* app = nullptr;
};

// Adds `upmix` to `parent`; `command` receives the parsed options.
void addUpmixCommand(CLI::App& parent, UpmixCommand& command);

// Runs a parsed `upmix` with the plug-in library at `libraryPath`; returns
// the exit code (0, or 2 after one line on stderr).
int runUpmixCommand(UpmixCommand& command, const std::string& libraryPath);

}  // namespace quorveil::cli
