// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a plug-in's description as the Turtle files of its LV2 bundle:
// manifest.ttl (what hosts read first: the URI, the binary and where the rest
// is) and <name>.ttl (ports, ranges, units, groups, features).
#pragma once

#include <string>
#include <vector>

#include "host/lv2/PluginDescription.h"

namespace quorveil::lv2 {

// A bundle's manifest: each plug-in with its Turtle file (one bundle may
// carry several plug-ins in one binary).
struct BundlePlugin {
    PluginDescription plugin;
    std::string file;
};
std::string manifestTurtle(const std::vector<BundlePlugin>& plugins);
std::string manifestTurtle(const PluginDescription& plugin, const std::string& pluginFile);
std::string pluginTurtle(const PluginDescription& plugin);

}  // namespace quorveil::lv2
