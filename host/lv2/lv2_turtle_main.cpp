// SPDX-License-Identifier: GPL-3.0-or-later
// quorveil-lv2-turtle: writes, at build time, the Turtle files of one of our
// LV2 bundles, or the PipeWire sinks of the upmix plug-ins, from the
// plug-ins' descriptions.
//   quorveil-lv2-turtle panner|upmix BUNDLE_FOLDER
//   quorveil-lv2-turtle --pipewire FOLDER   one filter-chain file per upmix layout
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "host/lv2/Lv2Entry.h"
#include "host/lv2/PannerPlugin.h"
#include "host/lv2/PipeWireSink.h"
#include "host/lv2/Turtle.h"
#include "host/lv2/UpmixPlugin.h"
#include "host/spectral/UpmixEngine.h"

namespace {

using quorveil::lv2::PluginDescription;

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    return static_cast<bool>(file);
}

// The latency a host reads before the first run(): the engine's at the
// default settings, whatever the sample rate.
int defaultUpmixLatency(const quorveil::host::PluginLibrary& library) {
    return quorveil::spectral::UpmixEngine(library, quorveil::spectral::UpmixSetup{}).latency();
}

// A bundle's plug-ins with their Turtle files: the panner, or the upmix to
// every layout. Throws std::invalid_argument for a name that is no bundle of
// ours.
std::vector<quorveil::lv2::BundlePlugin> describe(const std::string& which,
                                                 const quorveil::host::PluginLibrary& library) {
    if (which == "panner") return {{quorveil::lv2::pannerDescription(library), "quorveil-panner.ttl"}};
    if (which == "upmix") {
        std::vector<quorveil::lv2::BundlePlugin> plugins;
        const int latency = defaultUpmixLatency(library);
        for (const quorveil::spectral::SpeakerLayout& layout : quorveil::spectral::speakerLayouts()) {
            const bool first = &layout == &quorveil::spectral::defaultLayout();
            plugins.push_back({quorveil::lv2::upmixDescription(latency, layout),
                               first ? std::string("quorveil-upmix.ttl")
                                     : "quorveil-upmix-" + std::string(layout.name) + ".ttl"});
        }
        return plugins;
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
            // One sink per upmix layout.
            for (const quorveil::lv2::BundlePlugin& entry : describe("upmix", library)) {
                const auto sink = quorveil::lv2::pipewireSink(entry.plugin, "upmix");
                writeOrThrow(folder + "/" + sink.fileName, sink.config);
            }
            return 0;
        }
        const std::vector<quorveil::lv2::BundlePlugin> plugins = describe(which, library);
        writeOrThrow(folder + "/manifest.ttl", quorveil::lv2::manifestTurtle(plugins));
        for (const quorveil::lv2::BundlePlugin& entry : plugins) {
            writeOrThrow(folder + "/" + entry.file, quorveil::lv2::pluginTurtle(entry.plugin));
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quorveil-lv2-turtle: %s\n", error.what());
        return 1;
    }
    return 0;
}
