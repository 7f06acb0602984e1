// SPDX-License-Identifier: GPL-3.0-or-later
// quorveil-lv2-turtle: writes, at build time, the Turtle files of one of our
// LV2 bundles, or the PipeWire sinks of the upmix plug-ins, from the
// plug-ins' descriptions.
//   quorveil-lv2-turtle panner|upmix BUNDLE_FOLDER
//   quorveil-lv2-turtle --pipewire FOLDER   one filter-chain file per upmix layout
#include <cstdio>
#include <fstream>
#include <string>

#include "host/lv2/Lv2Entry.h"
#include "host/lv2/PannerPlugin.h"
#include "host/lv2/PipeWireSink.h"
#include "host/lv2/Turtle.h"
#include "host/lv2/UpmixPlugin.h"
#include "host/spectral/UpmixEngine.h"

namespace {

using quorveil::lv2::PluginDescription;

// The plug-ins that upmix to a speaker layout: each becomes a PipeWire sink
// of that layout. One row per layout that has a plug-in.
constexpr const char* kPipeWireSinks[] = {"upmix"};

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    return static_cast<bool>(file);
}

// Throws std::invalid_argument for a name that is no plug-in of ours.
PluginDescription describe(const std::string& which, const quorveil::host::PluginLibrary& library) {
    if (which == "panner") return quorveil::lv2::pannerDescription(library);
    if (which == "upmix") {
        // The latency a host reads before the first run(): the engine's at
        // the default settings, whatever the sample rate.
        return quorveil::lv2::upmixDescription(
            quorveil::spectral::UpmixEngine(library, quorveil::spectral::UpmixSetup{}).latency());
    }
    throw std::invalid_argument("unknown plug-in '" + which + "'");
}

void writeOrThrow(const std::string& path, const std::string& text) {
    if (!writeFile(path, text)) throw std::runtime_error("cannot write '" + path + "'");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr,
                     "usage: quorveil-lv2-turtle panner|upmix BUNDLE_FOLDER\n"
                     "       quorveil-lv2-turtle --pipewire FOLDER\n");
        return 2;
    }
    const std::string which = argv[1], folder = argv[2];
    try {
        const quorveil::host::PluginLibrary library(quorveil::lv2::linkedExports(), "linked");
        if (which == "--pipewire") {
            for (const char* name : kPipeWireSinks) {
                const auto sink = quorveil::lv2::pipewireSink(describe(name, library), name);
                writeOrThrow(folder + "/" + sink.fileName, sink.config);
            }
            return 0;
        }
        const PluginDescription plugin = describe(which, library);
        const std::string pluginFile = "quorveil-" + which + ".ttl";
        writeOrThrow(folder + "/manifest.ttl", quorveil::lv2::manifestTurtle(plugin, pluginFile));
        writeOrThrow(folder + "/" + pluginFile, quorveil::lv2::pluginTurtle(plugin));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quorveil-lv2-turtle: %s\n", error.what());
        return 1;
    }
    return 0;
}
