// SPDX-License-Identifier: GPL-3.0-or-later
// surround-host's command line: parsing and reporting only; the work is done
// by the host layer (ModuleSession, the render paths, the sound files).
//
// How a subcommand is added:
//   1. Write `std::function<void()> addFooCommand(CLI::App& command, Context&)`
//      in host/cli/FooCommand.cpp: it declares its positionals and options on
//      `command` (already created, named and described) and returns the action
//      to run once parsing succeeded.
//   2. Add one row {"foo", "what it does", &addFooCommand} to commandTable()
//      in host/cli/CommandTable.cpp.
// Inside the action:
//   - context.library() loads the library (beside the executable or
//     --library) on first use; context.library().findModule(text) finds a
//     module by class name, display name or unique id, any letter case.
//   - host::ModuleSession runs the instance's life (create, engine, pins,
//     parameters, start, defaults); session.setAll(settings, force) applies
//     parsed `--set NAME=VALUE` assignments (addParameterOptions declares
//     --set and --force the same way for every command).
//   - host::SoundFileReader / SoundFileWriter stream sound files; the writer
//     writes beside its target and renames on commit() only.
//   - context.reporter() is the RenderObserver to hand a render path; it
//     prints host messages with -v, progress on a terminal, warnings (also
//     with -q), and report(summary) turns indicator tallies and overs into
//     warnings. context.out() takes tables and the success line: stdout, or
//     stderr when the command's OUT is `-` and stdout carries the sound.
//   - Throw host::HostError with one line for anything the user can mend:
//     run() prints "surround-host: <line>" on stderr and exits with 2.
//   - An output that was written but had to be mended (reportReplacedSamples)
//     makes run() exit with 1.
//
// How `render` picks a render path: renderPaths() in CommandTable.cpp, first
// row whose `accepts` takes the module's pin counts wins. A path is
// `host::RenderSummary render(const host::RenderJob&, host::RenderObserver&)`.
#pragma once

#include <cstdint>
#include <cstdio>
#include <chrono>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "host/hosting/ModuleSession.h"
#include "host/hosting/PluginLibrary.h"
#include "host/cli/RenderJob.h"

namespace CLI {
class App;
}

namespace quorveil::cli {

enum class Verbosity { Quiet, Normal, Verbose };

// Everything surround-host says on stderr. Lines start "surround-host: ".
class Reporter final : public host::RenderObserver {
public:
    Reporter(std::FILE* err, bool terminal) : err_(err), terminal_(terminal) {}

    void setVerbosity(Verbosity verbosity) { verbosity_ = verbosity; }
    Verbosity verbosity() const { return verbosity_; }

    // Once a line cannot be written (a closed pipe) none is tried again.
    void error(const std::string& line);              // always
    void warning(const std::string& line) override;   // always
    void note(const std::string& line);               // unless -q
    void verbose(const std::string& line);            // only with -v

    // Warnings for what the module signalled while rendering (clipping) and
    // for samples beyond full scale in the channels that carry sound; a note
    // naming the channels that carry values instead of sound.
    void report(const host::RenderSummary& summary);
    // Clears the progress line, if one was drawn.
    void endProgress();

    void starting(host::ModuleSession& session, const std::string& plan) override;
    void hostMessages(const std::vector<host::HostMessage>& messages) override;
    void progress(int64_t done, int64_t total, int32_t sampleRate) override;

private:
    void line(const std::string& text);

    std::FILE* err_;
    bool terminal_;
    Verbosity verbosity_ = Verbosity::Normal;
    std::chrono::steady_clock::time_point started_, lastDrawn_;
    bool drawn_ = false;
};

class Context {
public:
    Context(std::string executablePath, std::FILE* out, std::FILE* err, Reporter& reporter)
        : executablePath_(std::move(executablePath)), out_(out), err_(err), reporter_(reporter) {}

    std::string libraryPath;  // --library; empty means the one installed with surround-host

    // The library's path: --library taken from the current folder, or the
    // one beside the executable, or the one installed with it.
    std::string libraryFile() const;
    // Loads the library on first use; throws HostError.
    const host::PluginLibrary& library();
    Reporter& reporter() { return reporter_; }
    // Listings, tables and what a command wrote: stdout, unless stdout
    // carries the sound.
    std::FILE* out() { return soundOnStdout_ ? err_ : out_; }
    void soundGoesToStdout() { soundOnStdout_ = true; }
    // The exit status of a command that did not throw: 0, or 1 once an
    // output had to be mended.
    int exitStatus() const { return exitStatus_; }
    void outputWasMended() { exitStatus_ = 1; }

private:
    std::string executablePath_;
    std::FILE* out_;
    std::FILE* err_ = stderr;
    bool soundOnStdout_ = false;
    int exitStatus_ = 0;
    Reporter& reporter_;
    std::unique_ptr<host::PluginLibrary> library_;
};

using AddCommand = std::function<void()> (*)(CLI::App& command, Context& context);

struct Command {
    const char* name;
    const char* summary;
    AddCommand add;
};

struct RenderPath {
    const char* name;
    bool (*accepts)(const host::PinCounts& pins);
    host::RenderSummary (*render)(const host::RenderJob& job, host::RenderObserver& observer);
};

std::span<const Command> commandTable();
std::span<const RenderPath> renderPaths();

// The subcommands of surround-host.
std::function<void()> addListCommand(CLI::App& command, Context& context);
std::function<void()> addInfoCommand(CLI::App& command, Context& context);
std::function<void()> addRenderCommand(CLI::App& command, Context& context);
std::function<void()> addUpmixCommand(CLI::App& command, Context& context);

// `--set NAME=VALUE` (repeatable) and `--force` for any command that runs a
// module; in the action, parsed() turns the raw texts into assignments.
struct ParameterOptions {
    std::vector<std::string> texts;
    bool force = false;
    std::vector<host::ParameterAssignment> parsed() const;
};
// `chain`: the command runs a chain of modules, and NAME may be MODULE:NAME.
void addParameterOptions(CLI::App& command, ParameterOptions& options, bool chain = false);

// `-t,--type wav|flac|aiff` for any command that writes sound.
void addTypeOption(CLI::App& command, std::string& type);
// --bits 16|24|32f: the output's sample format.
void addBitsOption(CLI::App& command, std::string& bits);

// The warning for output samples the writer's last guard wrote as silence,
// and exit status 1: after --force, out-of-range values made a module
// compute them; without it, surround-host or a module is at fault.
void reportReplacedSamples(Context& context, int64_t replaced, bool forced);

// "wrote out.wav: 5 channels (LF, RF, C, LS, RS), 2.00 s at 48000 Hz, WAV,
// 32-bit float", unless -q.
void reportWritten(Context& context, const host::RenderSummary& summary);

// Columns padded to their widest cell, two blanks apart, trailing blanks cut.
std::string formatTable(const std::vector<std::vector<std::string>>& rows);

// "Spectral\tMagnitude\tArcTan 4.6" -> "Spectral > Magnitude > ArcTan 4.6".
std::string menuPath(const std::string& categoryPath);

// The whole program: parses, runs one subcommand, reports; the exit status.
int run(int argc, char** argv, std::FILE* out = stdout, std::FILE* err = stderr);

}  // namespace quorveil::cli
