// SPDX-License-Identifier: GPL-3.0-or-later
// An upmix plug-in as a PipeWire sink: the filter-chain configuration that
// makes PipeWire load the plug-in by its URI and offer a stereo sink whose
// sound leaves through the plug-in's outputs, in the speaker layout of its
// output group. Written at build time from the same description as the
// Turtle (lv2_turtle_main.cpp), so ports, channel positions and the controls
// listed in it cannot drift from the plug-in.
//
// A user links the file into ~/.config/pipewire/pipewire.conf.d/ and
// restarts PipeWire; the sink then appears as "<plug-in name>".
#pragma once

#include <string>

#include "host/lv2/PluginDescription.h"

namespace quorveil::lv2 {

struct PipeWireSink {
    std::string layout;    // "5.1": speakers "." LFE channels of the output group
    std::string nodeName;  // "quorveil_upmix_5_1": the sink's node.name
    std::string fileName;  // "quorveil-upmix-5.1.conf"
    std::string config;    // the configuration text
};

// [main thread; allocates] Throws std::invalid_argument for a plug-in whose
// audio ports carry no speaker designation PipeWire knows.
PipeWireSink pipewireSink(const PluginDescription& plugin, const std::string& name);

}  // namespace quorveil::lv2
