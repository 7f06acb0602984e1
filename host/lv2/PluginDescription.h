// SPDX-License-Identifier: GPL-3.0-or-later
// What an LV2 host learns of one of our plug-ins from its Turtle files: the
// URI, the ports in index order with their ranges, units and groups, and the
// port groups that let a host map stereo and 5.1 channels itself.
//
// The plug-in binaries and the Turtle generator (lv2_turtle_main.cpp) build
// these descriptions from the same sources the command line reads, the
// module's parameter descriptions (op 12) and the upmix's control table, so
// names, ranges and defaults cannot drift between the tool, the Turtle and
// what run() clamps to.
//
// Built on the main thread at instantiate() (it allocates); only read in run().
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quorveil::lv2 {

inline constexpr const char* kVendorUri = "https://quorveil.audio/lv2/";

enum class PortKind { AudioInput, AudioOutput, ControlInput, ControlOutput };

// How a control port is shown and read.
enum class ControlKind {
    Real,         // a number in [minimum, maximum]
    Toggle,       // 0 or 1
    Enumeration,  // an index into scalePoints
    Latency,      // output: the plug-in's latency in samples (lv2:reportsLatency)
};

struct PortDescription {
    PortKind kind = PortKind::ControlInput;
    std::string symbol;  // lv2:symbol: a C identifier, stable across versions
    std::string name;    // lv2:name, as a host shows it
    // Audio ports: the group they belong to and their role in it (the last
    // part of a port-groups designation: "left", "center", "rearLeft" ...).
    std::string group;
    std::string designation;
    // Control ports.
    ControlKind control = ControlKind::Real;
    double minimum = 0.0, maximum = 0.0, defaultValue = 0.0;
    std::string unit;                      // an LV2 units: name ("degree", "db", "ms", "hz")
    std::vector<std::string> scalePoints;  // Enumeration: label of value 0, 1, ...
    // A host may leave the port unconnected (lv2:connectionOptional); the
    // plug-in then runs with the default. Controls added after a release are
    // optional, so a host that saved a session with the earlier ports still
    // runs it.
    bool connectionOptional = false;

    // A value a host wrote into the port, made safe: NaN gives the default,
    // anything else is clamped into the range (toggles and enumerations are
    // also rounded to a whole value).
    double clamp(double value) const;
};

// One audio channel of a plug-in: its port's symbol and name, and its role in
// its group ("" for none).
struct AudioChannel {
    const char* symbol;
    const char* name;
    const char* designation;
};

struct PortGroupDescription {
    std::string symbol;  // also the last part of the group's URI
    std::string name;
    std::string type;    // port-groups class: "StereoGroup", "FivePointOneGroup"
    bool input = true;
};

// The version hosts compare when two bundles offer the same URI
// (lv2:minorVersion, lv2:microVersion): the minor and patch numbers of the
// project's version, so an installed release and a newer build are told
// apart. An even minor number is a release, as LV2 counts.
struct PluginVersion {
    int minor = 0, micro = 0;
};
PluginVersion pluginVersion();  // of QUORVEIL_VERSION, "1.2.3": minor 2, micro 3

struct PluginDescription {
    std::string uri;
    std::string name;
    std::string binary;   // the shared object's file name in the bundle
    std::string license;  // a licence URI
    std::vector<PortGroupDescription> groups;
    std::vector<PortDescription> ports;  // lv2:index is the position

    // Appends one audio port of `kind` per channel, in order, all in `group`
    // ("" for none).
    void addAudioPorts(PortKind kind, std::span<const AudioChannel> channels,
                       const std::string& group);
    uint32_t portIndex(const std::string& symbol) const;  // throws std::out_of_range
};

}  // namespace quorveil::lv2
