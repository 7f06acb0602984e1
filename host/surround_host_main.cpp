// surround-host: a command-line host for the Quorveil Surround library.
#include <CLI/CLI.hpp>

#include <filesystem>

#include "host/PluginLibrary.h"
#include "host/cli/UpmixCommand.h"

namespace {

std::string libraryBeside(const char* argv0) {
    return (std::filesystem::absolute(argv0).parent_path() /
            quorveil::host::defaultLibraryFileName())
        .string();
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("surround-host: runs Quorveil Surround modules over sound files");
    std::string library = libraryBeside(argv[0]);
    app.add_option("--library", library, "the plug-in library to load");
    quorveil::cli::UpmixCommand upmix;
    quorveil::cli::addUpmixCommand(app, upmix);
    app.require_subcommand(1);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : 2;
    }
    if (upmix.app->parsed()) return quorveil::cli::runUpmixCommand(upmix, library);
    return 2;
}
