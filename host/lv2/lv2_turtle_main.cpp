// SPDX-License-Identifier: GPL-3.0-or-later
// quorveil-lv2-turtle: writes the Turtle files of one of our LV2 bundles from
// the plug-in's description, at build time.
//   quorveil-lv2-turtle panner|upmix BUNDLE_FOLDER
#include <cstdio>
#include <fstream>
#include <string>

#include "host/lv2/Lv2Entry.h"
#include "host/lv2/PannerPlugin.h"
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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: quorveil-lv2-turtle panner|upmix BUNDLE_FOLDER\n");
        return 2;
    }
    const std::string which = argv[1], folder = argv[2];
    try {
        const quorveil::host::PluginLibrary library(quorveil::lv2::linkedExports(), "linked");
        PluginDescription plugin;
        if (which == "panner") {
            plugin = quorveil::lv2::pannerDescription(library);
        } else if (which == "upmix") {
            // The latency a host reads before the first run(): the engine's
            // at the default settings, whatever the sample rate.
            plugin = quorveil::lv2::upmixDescription(quorveil::spectral::UpmixEngine(
                library, quorveil::spectral::UpmixSetup{}).latency());
        } else {
            std::fprintf(stderr, "quorveil-lv2-turtle: unknown plug-in '%s'\n", which.c_str());
            return 2;
        }
        const std::string pluginFile = "quorveil-" + which + ".ttl";
        if (!writeFile(folder + "/manifest.ttl", quorveil::lv2::manifestTurtle(plugin, pluginFile)) ||
            !writeFile(folder + "/" + pluginFile, quorveil::lv2::pluginTurtle(plugin))) {
            std::fprintf(stderr, "quorveil-lv2-turtle: cannot write into '%s'\n", folder.c_str());
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quorveil-lv2-turtle: %s\n", error.what());
        return 1;
    }
    return 0;
}
