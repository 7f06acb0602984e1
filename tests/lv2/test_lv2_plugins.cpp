// SPDX-License-Identifier: GPL-3.0-or-later
// The LV2 plug-ins as real LV2 hosts see them: lv2ls and lv2info list them
// with every port at the index the first release gave it, sord_validate
// checks their Turtle against LV2's own schemas, lv2apply
// renders through them, and a small host of our own drives run() with odd
// block sizes, hostile control values, an interposed allocator and two
// threads, measures the latency it reports and restarts it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <sstream>
#include <thread>

#include "host/lv2/Turtle.h"
#include "host/lv2/UpmixPlugin.h"
#include "tests/lv2/AllocationCounter.h"
#include "tests/lv2/Lv2TestHost.h"
#include "tests/tools/ToolSupport.h"

namespace quorveil::testing {
namespace {

// What the tests need to know of each plug-in: where it is, its ports, and
// a control to move during a run.
struct PluginCase {
    const char* uri;
    const char* bundle;  // folder name under build/lv2
    const char* binary;
    // The symbol of every port by index, as the first release numbered them:
    // hosts save sessions by port index, so none of these may move.
    std::vector<std::string> symbols;
    std::vector<bool> audio;                  // per port: an audio port?
    std::vector<uint32_t> inputs, outputs;    // audio ports
    std::vector<std::pair<uint32_t, float>> controls;  // control port, an in-range value
    std::vector<std::string> infoLines;       // what lv2info must show
};

std::vector<PluginCase> pluginCases() {
    return {
        {"https://quorveil.audio/lv2/panner",
         "quorveil-panner.lv2",
         "quorveil_panner.so",
         {"in", "lf", "rf", "c", "ls", "rs", "pan_angle", "lf_angle", "rf_angle", "c_angle",
          "ls_angle", "rs_angle"},
         {true, true, true, true, true, true},
         {0},
         {1, 2, 3, 4, 5},
         {{6, -90.0f}, {7, 40.0f}, {8, 300.0f}, {9, 5.0f}, {10, 110.0f}, {11, 250.0f}},
         {"Symbol:      pan_angle", "Minimum:     -180.000000", "Maximum:     180.000000",
          "Symbol:      ls_angle", "Default:     120.000000",
          "Designation: http://lv2plug.in/ns/ext/port-groups#rearLeft",
          "Group:       https://quorveil.audio/lv2/panner#speakers"}},
        {"https://quorveil.audio/lv2/upmix",
         "quorveil-upmix.lv2",
         "quorveil_upmix.so",
         {"in_left", "in_right", "fl", "fr", "fc", "lfe", "bl", "br", "method", "atf", "width",
          "centre", "ambience", "rear_delay", "smooth", "lfe_cutoff", "gain", "latency",
          "lfe_mode", "limiter"},
         {true, true, true, true, true, true, true, true},
         {0, 1},
         {2, 3, 4, 5, 6, 7},
         {{8, 1.0f}, {9, 1.0f}, {10, 0.5f}, {11, -6.0f}, {12, -3.0f}, {13, 20.0f}, {14, 200.0f},
          {15, 120.0f}, {16, -6.0f}, {18, 1.0f}, {19, 0.0f}},
         {"Has latency:       yes, reported by port 17", "Symbol:      lfe_cutoff",
          "Designation: http://lv2plug.in/ns/ext/port-groups#lowFrequencyEffects",
          "Group:       https://quorveil.audio/lv2/upmix#surround_out",
          "Group:       https://quorveil.audio/lv2/upmix#stereo_in", "1.0 = \"arctan\"",
          "Symbol:      rear_delay", "Maximum:     100.000000", "lv2core#toggled",
          "1.0 = \"crossover\""}},
        // 7.1: the same controls after eight outputs, a group of its own.
        {"https://quorveil.audio/lv2/upmix-7.1",
         "quorveil-upmix.lv2",
         "quorveil_upmix.so",
         {"in_left", "in_right", "fl", "fr", "fc", "lfe", "bl", "br", "sl", "sr", "method", "atf",
          "width", "centre", "ambience", "rear_delay", "smooth", "lfe_cutoff", "gain", "latency",
          "lfe_mode", "limiter"},
         {true, true, true, true, true, true, true, true, true, true},
         {0, 1},
         {2, 3, 4, 5, 6, 7, 8, 9},
         {{10, 2.0f}, {11, 1.0f}, {12, 0.5f}, {13, -6.0f}, {14, -3.0f}, {15, 20.0f}, {16, 200.0f},
          {17, 120.0f}, {18, -6.0f}, {20, 1.0f}, {21, 0.0f}},
         {"Has latency:       yes, reported by port 19",
          "Designation: http://lv2plug.in/ns/ext/port-groups#sideLeft",
          "Designation: http://lv2plug.in/ns/ext/port-groups#rearRight",
          "Group:       https://quorveil.audio/lv2/upmix-7.1#surround_out",
          "Name:              Quorveil Upmix 2.0 to 7.1"}},
    };
}

uint32_t portCount(const PluginCase& plugin) { return static_cast<uint32_t>(plugin.symbols.size()); }

// The index of the latency port, or -1 for a plug-in without latency.
int latencyPort(const PluginCase& plugin) {
    for (std::size_t p = 0; p < plugin.symbols.size(); ++p) {
        if (plugin.symbols[p] == "latency") return static_cast<int>(p);
    }
    return -1;
}

std::string bundleFolder(const PluginCase& plugin) {
    return std::string(QUORVEIL_LV2_DIR) + "/" + plugin.bundle;
}

std::string binaryPath(const PluginCase& plugin) {
    return bundleFolder(plugin) + "/" + plugin.binary;
}

#ifndef QUORVEIL_PRELOAD_FOR_HOSTS
#define QUORVEIL_PRELOAD_FOR_HOSTS ""
#endif

// An LV2 tool run on our bundles (in a sanitizer build, with the sanitizer's
// runtime loaded first, since the tools themselves are not instrumented).
std::string withLv2Path(const std::string& command) {
    return std::string(QUORVEIL_PRELOAD_FOR_HOSTS) + "LV2_PATH='" + std::string(QUORVEIL_LV2_DIR) +
           "' " + command + " 2>&1";
}

// Noise in [-0.5, 0.5), the same for the same seed.
std::vector<float> noise(std::size_t samples, uint32_t seed) {
    std::vector<float> out(samples);
    for (float& s : out) {
        seed = seed * 1664525u + 1013904223u;
        s = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
    }
    return out;
}

// What feeds an audio input: sample `frame` (counted from activation) of
// input `input`.
using Source = std::function<float(std::size_t frame, std::size_t input)>;

// Noise in [-0.5, 0.5), the same for the same frame, input and seed.
Source noiseSource(uint32_t seed) {
    return [seed](std::size_t frame, std::size_t input) {
        uint32_t x = static_cast<uint32_t>(frame * 2 + input) * 2654435761u ^ seed * 40503u;
        x ^= x >> 15;
        x *= 2246822519u;
        x ^= x >> 13;
        return static_cast<float>(x >> 8) / 16777216.0f - 0.5f;
    };
}

// Runs `blocks` through an activated instance, the inputs fed from `source`
// and each block's outputs appended, channel by channel, to the result.
// `before` may move controls before a block.
std::vector<std::vector<float>> feed(Lv2Instance& instance, const PluginCase& plugin,
                                     const std::vector<uint32_t>& blocks, const Source& source,
                                     const std::function<void(Lv2Instance&, std::size_t)>& before) {
    std::vector<std::vector<float>> out(plugin.outputs.size());
    std::size_t fed = 0;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        if (before) before(instance, b);
        for (std::size_t i = 0; i < plugin.inputs.size(); ++i) {
            float* in = instance.audio(plugin.inputs[i]);
            for (uint32_t k = 0; k < blocks[b]; ++k) in[k] = source(fed + k, i);
        }
        instance.run(blocks[b]);
        for (std::size_t o = 0; o < plugin.outputs.size(); ++o) {
            const float* samples = instance.audio(plugin.outputs[o]);
            out[o].insert(out[o].end(), samples, samples + blocks[b]);
        }
        fed += blocks[b];
    }
    return out;
}

// The same through a fresh instance, from activation to deactivation.
std::vector<std::vector<float>> render(const PluginCase& plugin,
                                       const std::vector<uint32_t>& blocks,
                                       const std::function<void(Lv2Instance&, std::size_t)>& before,
                                       double sampleRate = 48000.0) {
    Lv2Binary binary(binaryPath(plugin));
    Lv2Instance instance(binary.descriptor(plugin.uri), sampleRate, portCount(plugin), plugin.audio,
                         4096);
    EXPECT_TRUE(instance.valid());
    instance.activate();
    auto out = feed(instance, plugin, blocks, noiseSource(7), before);
    instance.deactivate();
    return out;
}

// The port symbols lv2info lists, by index.
std::vector<std::string> listedSymbols(const std::string& info) {
    std::vector<std::string> symbols;
    std::istringstream lines(info);
    for (std::string line; std::getline(lines, line);) {
        const auto at = line.find("Symbol:");
        if (at != std::string::npos) {
            std::istringstream rest(line.substr(at + 7));
            std::string symbol;
            rest >> symbol;
            symbols.push_back(symbol);
        }
    }
    return symbols;
}

// The Turtle files of LV2 itself (lv2core, units, port-groups ... and the
// RDF schemas they use): the bundles whose manifest describes LV2's own
// vocabularies (a subject <http://lv2plug.in/ns/...>) or an ontology.
// Other plug-ins a machine has installed are not ours to validate.
std::vector<std::string> lv2SchemaFiles() {
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    for (const char* root : {"/usr/lib/lv2", "/usr/local/lib/lv2"}) {
        std::error_code missing;
        for (const auto& bundle : fs::directory_iterator(root, missing)) {
            std::ifstream manifest(bundle.path() / "manifest.ttl");
            const std::string text((std::istreambuf_iterator<char>(manifest)), {});
            const bool schema = text.find("\n<http://lv2plug.in/ns/") != std::string::npos ||
                                text.find("owl:Ontology") != std::string::npos;
            if (!schema) continue;
            for (const auto& file : fs::directory_iterator(bundle.path())) {
                if (file.path().extension() == ".ttl") files.push_back(file.path().string());
            }
        }
    }
    return files;
}

TEST(Lv2Hosts, Lv2lsListsEveryPlugin) {
    int status = 0;
    const std::string listed = runCommand(withLv2Path("lv2ls"), &status);
    ASSERT_EQ(status, 0) << listed;
    for (const PluginCase& plugin : pluginCases()) {
        EXPECT_NE(listed.find(plugin.uri), std::string::npos) << listed;
    }
}

TEST(Lv2Hosts, Lv2infoShowsEveryPortWithItsRangeDefaultAndGroup) {
    for (const PluginCase& plugin : pluginCases()) {
        SCOPED_TRACE(plugin.uri);
        int status = 0;
        const std::string info = runCommand(withLv2Path("lv2info " + std::string(plugin.uri)), &status);
        ASSERT_EQ(status, 0) << info;
        for (uint32_t p = 0; p < portCount(plugin); ++p) {
            EXPECT_NE(info.find("Port " + std::to_string(p) + ":"), std::string::npos) << p;
        }
        for (const std::string& line : plugin.infoLines) {
            EXPECT_NE(info.find(line), std::string::npos) << line << "\n" << info;
        }
    }
}

TEST(Lv2Hosts, TurtleValidatesAgainstTheLv2Schemas) {
    const auto schemas = lv2SchemaFiles();
    std::string all;
    for (const std::string& file : schemas) all += " '" + file + "'";
    // Without the core, units and port-groups schemas nothing would be checked.
    for (const char* needed : {"/lv2core.ttl", "/units.ttl", "/port-groups.ttl", "/rdfs.ttl"}) {
        ASSERT_NE(all.find(needed), std::string::npos) << needed << " not among" << all;
    }
    for (const PluginCase& plugin : pluginCases()) {
        SCOPED_TRACE(plugin.uri);
        int status = 0;
        const std::string report =
            runCommand("sord_validate" + all + " '" + bundleFolder(plugin) + "'/*.ttl", &status);
        EXPECT_EQ(status, 0) << report;
        EXPECT_NE(report.find("Found 0 errors"), std::string::npos) << report;
    }
}

// Hosts address ports by index in saved sessions, and compare versions when
// two bundles offer one URI: every index keeps its port, the Turtle says the
// version, and a control added to the upmix comes after the latency port,
// optional to connect, moving nothing.
TEST(Lv2Hosts, PortIndicesStayAsReleasedAndNewControlsComeAfterTheLatency) {
    const std::string version = QUORVEIL_VERSION;
    const std::string minor = version.substr(version.find('.') + 1, version.rfind('.') - version.find('.') - 1);
    const std::string micro = version.substr(version.rfind('.') + 1);
    for (const PluginCase& plugin : pluginCases()) {
        SCOPED_TRACE(plugin.uri);
        int status = 0;
        const std::string info = runCommand(withLv2Path("lv2info " + std::string(plugin.uri)), &status);
        ASSERT_EQ(status, 0) << info;
        EXPECT_EQ(listedSymbols(info), plugin.symbols);
        // Optional to connect: exactly the ports after the latency's.
        const int latency = latencyPort(plugin);
        for (uint32_t p = 0; p < portCount(plugin); ++p) {
            const auto from = info.find("\tPort " + std::to_string(p) + ":");
            const auto to = info.find("\tPort " + std::to_string(p + 1) + ":");
            ASSERT_NE(from, std::string::npos) << p;
            const bool optional = info.substr(from, to - from).find("connectionOptional") != std::string::npos;
            EXPECT_EQ(optional, latency >= 0 && static_cast<int>(p) > latency) << plugin.symbols[p];
        }
        std::string pluginFile = plugin.bundle;
        pluginFile.replace(pluginFile.rfind(".lv2"), 4, ".ttl");
        for (const std::string& file : {std::string("manifest.ttl"), pluginFile}) {
            const std::string path = bundleFolder(plugin) + "/" + file;
            std::ifstream turtle(path);
            const std::string text((std::istreambuf_iterator<char>(turtle)), {});
            EXPECT_NE(text.find("lv2:minorVersion " + minor + " ;"), std::string::npos) << path;
            EXPECT_NE(text.find("lv2:microVersion " + micro + " ;"), std::string::npos) << path;
        }
    }

    auto table = std::vector(spectral::upmixControlTable().begin(), spectral::upmixControlTable().end());
    table.insert(table.begin(), table.back());  // a new control, anywhere in the table
    table.front().symbol = "presence";
    const lv2::PluginDescription grown = lv2::upmixDescription(2048, spectral::defaultLayout(), table);
    const std::vector<std::string> released = pluginCases()[1].symbols;
    ASSERT_EQ(grown.ports.size(), released.size() + 1);
    for (std::size_t p = 0; p < released.size(); ++p) {
        EXPECT_EQ(grown.ports[p].symbol, released[p]) << p;
        EXPECT_EQ(grown.ports[p].connectionOptional, static_cast<int>(p) > latencyPort(pluginCases()[1])) << p;
    }
    EXPECT_EQ(grown.ports.back().symbol, "presence");
    EXPECT_TRUE(grown.ports.back().connectionOptional);
    EXPECT_NE(lv2::pluginTurtle(grown).find("lv2:portProperty lv2:connectionOptional"), std::string::npos);
    // A control of the release that went missing would renumber the ports.
    table.erase(table.begin() + 1);
    EXPECT_THROW(lv2::upmixDescription(2048, spectral::defaultLayout(), table), std::logic_error);
}

TEST(Lv2Hosts, PannerThroughLv2applyEqualsSurroundHostBitForBit) {
    ScratchFolder folder;
    const std::string in = folder.file("mono.wav");
    Sound mono{1, 48000, noise(48000, 3)};
    writeSound(in, mono);
    for (const char* pan : {"-90", "0", "33.5", "180"}) {
        SCOPED_TRACE(pan);
        const std::string viaLv2 = folder.file("lv2.wav"), viaHost = folder.file("host.wav");
        int status = 0;
        const std::string log = runCommand(withLv2Path("lv2apply -i '" + in + "' -o '" + viaLv2 +
                                                       "' -c pan_angle " + pan +
                                                       " https://quorveil.audio/lv2/panner"),
                                           &status);
        ASSERT_EQ(status, 0) << log;
        const HostRun run = runHost({"render", "ConstantPowerPanner4_6", in, viaHost, "--set",
                                     std::string("Pan Angle=") + pan});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const Sound a = readSound(viaLv2), b = readSound(viaHost);
        ASSERT_EQ(a.channels, 5);
        ASSERT_EQ(a.samples.size(), b.samples.size());
        EXPECT_EQ(a.samples, b.samples);
    }
}

// lv2apply feeds the plug-in and reads its latency port; the file it writes
// starts with that latency, so the command line's upmix of the same file to
// the same layout is the plug-in's output shifted by it, sample for sample,
// with every switch and level.
TEST(Lv2Hosts, UpmixThroughLv2applyEqualsSurroundHostShiftedByItsLatency) {
    ScratchFolder folder;
    const std::string in = folder.file("stereo.wav");
    Sound stereo{2, 48000, noise(2 * 72000, 5)};
    for (std::size_t i = 0; i < stereo.frames(); ++i) {
        stereo.samples[2 * i + 1] = 0.5f * stereo.samples[2 * i + 1] + 0.5f * stereo.samples[2 * i];
    }
    writeSound(in, stereo);
    struct Settings {
        const char* layout;
        std::string ports, options;
    };
    const Settings settings[] = {
        {"5.1", "", ""},
        {"5.1", "-c method 1 -c atf 1 -c lfe_cutoff 120", "--method arctan --atf --lfe-cutoff 120"},
        {"5.1", "-c method 2 -c width 0.5 -c ambience -6 -c rear_delay 0 -c gain -3",
         "--method cc --width 0.5 --ambience -6 --rear-delay 0 --gain -3"},
        // The limiter at work, then switched off with the bass moved out
        // of the mains.
        {"7.1", "-c gain 12 -c rear_delay 5", "--gain 12 --rear-delay 5"},
        {"7.1", "-c lfe_cutoff 100 -c lfe_mode 1 -c limiter 0 -c gain 6",
         "--lfe-cutoff 100 --lfe-mode crossover --no-limiter --gain 6"},
    };
    const host::PluginLibrary library(QUORVEIL_LIBRARY_PATH);
    for (const Settings& s : settings) {
        SCOPED_TRACE(std::string(s.layout) + " " + s.options);
        const spectral::SpeakerLayout& layout = spectral::findLayout(s.layout);
        const std::string viaLv2 = folder.file("lv2.wav"), viaHost = folder.file("host.wav");
        int status = 0;
        const std::string log = runCommand(withLv2Path("lv2apply -i '" + in + "' -o '" + viaLv2 +
                                                       "' " + s.ports + " " + lv2::upmixUri(layout)),
                                           &status);
        ASSERT_EQ(status, 0) << log;
        std::vector<std::string> args{"upmix", in, viaHost, "-q", "--layout", s.layout};
        std::istringstream options(s.options);
        for (std::string word; options >> word;) args.push_back(word);
        const HostRun run = runHost(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const Sound plugin = readSound(viaLv2), host = readSound(viaHost);
        ASSERT_EQ(plugin.channels, layout.count);
        ASSERT_EQ(host.channels, layout.count);
        ASSERT_EQ(plugin.frames(), host.frames());
        spectral::UpmixSetup at48k;
        at48k.sampleRate = 48000.0;
        at48k.layout = &layout;
        const auto latency = static_cast<std::size_t>(spectral::UpmixEngine(library, at48k).latency());
        std::size_t differing = 0;
        double energy = 0.0;
        for (std::size_t i = latency; i < plugin.frames(); ++i) {
            for (int c = 0; c < layout.count; ++c) {
                differing += plugin.at(i, c) != host.at(i - latency, c);
                energy += double(host.at(i - latency, c)) * host.at(i - latency, c);
            }
        }
        EXPECT_EQ(differing, 0u);
        EXPECT_GT(energy, 0.0);
    }
}

TEST(Lv2Run, AllocatesNothingWhateverTheBlockAndControls) {
    if (!allocationCountingAvailable()) GTEST_SKIP() << "the sanitizer runtime owns malloc";
    {
        // The counter itself sees an allocation made in its scope.
        AllocationCounter counter;
        void* (*volatile allocate)(std::size_t) = &std::malloc;
        std::free(allocate(64));
        ASSERT_EQ(counter.calls(), 2u);
    }
    for (const PluginCase& plugin : pluginCases()) {
        SCOPED_TRACE(plugin.uri);
        Lv2Binary binary(binaryPath(plugin));
        Lv2Instance instance(binary.descriptor(plugin.uri), 48000.0, portCount(plugin), plugin.audio,
                             16384);
        ASSERT_TRUE(instance.valid());
        instance.activate();
        instance.run(64);  // a first block, as a host's warm-up
        // 16384: longer than any block the plug-ins hand their modules at once.
        const std::vector<uint32_t> blocks{1, 7, 64, 4096, 0, 16384, 3};
        uint64_t calls = 0;
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            // Every control moves between blocks.
            for (const auto& [port, value] : plugin.controls) {
                instance.control(port) = b % 2 == 0 ? value : -value;
            }
            AllocationCounter counter;
            instance.run(blocks[b]);
            calls += counter.calls();
        }
        EXPECT_EQ(calls, 0u);
    }
}

// Each control input port's range and default as lv2info reads them from
// the Turtle: what a host is told.
struct DeclaredControl {
    float minimum = 0.0f, maximum = 0.0f, defaultValue = 0.0f;
    bool control = false, output = false;
};

std::map<uint32_t, DeclaredControl> declaredControls(const PluginCase& plugin) {
    const std::string info = runCommand(withLv2Path("lv2info " + std::string(plugin.uri)));
    std::map<uint32_t, DeclaredControl> ports;
    std::istringstream lines(info);
    std::string line;
    uint32_t port = 0;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "Port") {
            words >> port;
        } else if (key == "Minimum:") {
            words >> ports[port].minimum;
        } else if (key == "Maximum:") {
            words >> ports[port].maximum;
        } else if (key == "Default:") {
            words >> ports[port].defaultValue;
        }
        // A port's types, one a line: the first after "Type:".
        ports[port].control |= line.find("lv2core#ControlPort") != std::string::npos;
        ports[port].output |= line.find("lv2core#OutputPort") != std::string::npos;
    }
    std::erase_if(ports, [](const auto& entry) { return !entry.second.control || entry.second.output; });
    return ports;
}

// A host may write anything into a control port. NaN must sound as the
// declared default, anything beyond the declared range as the nearer end of
// it: the same samples, bit for bit, as those values written plainly.
TEST(Lv2Run, HostileControlValuesAreClampedAndNeverFault) {
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    enum class Expect { Default, Maximum, Minimum };
    const std::pair<float, Expect> hostile[] = {
        {std::numeric_limits<float>::quiet_NaN(), Expect::Default},
        {kInfinity, Expect::Maximum},
        {-kInfinity, Expect::Minimum},
        {1e30f, Expect::Maximum},
        {-1e30f, Expect::Minimum}};
    for (const PluginCase& plugin : pluginCases()) {
        SCOPED_TRACE(plugin.uri);
        const auto declared = declaredControls(plugin);
        ASSERT_EQ(declared.size(), plugin.controls.size());
        auto renderWith = [&](auto valueOf) {
            return render(plugin, {256, 256, 100}, [&](Lv2Instance& instance, std::size_t) {
                for (const auto& [port, range] : declared) instance.control(port) = valueOf(range);
            });
        };
        for (const auto& [value, expect] : hostile) {
            SCOPED_TRACE(value);
            const auto out = renderWith([&](const DeclaredControl&) { return value; });
            const auto wanted = renderWith([&](const DeclaredControl& range) {
                return expect == Expect::Default   ? range.defaultValue
                       : expect == Expect::Maximum ? range.maximum
                                                   : range.minimum;
            });
            for (const auto& channel : out) {
                for (float s : channel) ASSERT_TRUE(std::isfinite(s));
            }
            EXPECT_EQ(out, wanted);
        }
    }
}

// A host's bus may carry anything: one sample that is not a number, or far
// beyond any mix, must not put a NaN on ours (every effect after us would
// keep it), nor silence what follows. It enters as silence; the outputs
// stay finite, no louder than the mix can make the input (24 dB above its
// peak, times the gain), and carry on as without it.
TEST(Lv2Run, InputThatIsNotANumberOrHugeEntersAsSilence) {
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(), 1e20f,
                         std::numeric_limits<float>::max(), -2e6f};
    constexpr uint32_t kBlock = 512, kBlocks = 188;  // 2 s at 48 kHz
    for (const PluginCase& plugin : pluginCases()) {
        SCOPED_TRACE(plugin.uri);
        // The upmix's controls here lower its gain by 6 dB.
        const double gain = plugin.inputs.size() == 2 ? std::pow(10.0, -6.0 / 20.0) : 1.0;
        // The output of each run, and the energy of its last half second.
        auto run = [&](float inject, double& tailEnergy) {
            Lv2Binary binary(binaryPath(plugin));
            Lv2Instance instance(binary.descriptor(plugin.uri), 48000.0, portCount(plugin),
                                 plugin.audio, kBlock);
            EXPECT_TRUE(instance.valid());
            for (const auto& [port, value] : plugin.controls) instance.control(port) = value;
            instance.activate();
            float peak = 0.0f;
            tailEnergy = 0.0;
            for (uint32_t b = 0; b < kBlocks; ++b) {
                for (std::size_t i = 0; i < plugin.inputs.size(); ++i) {
                    const auto source = noise(kBlock, b * 7 + static_cast<uint32_t>(i));
                    std::copy(source.begin(), source.end(), instance.audio(plugin.inputs[i]));
                    if (b == 20) instance.audio(plugin.inputs[i])[100] = inject;
                }
                instance.run(kBlock);
                for (uint32_t port : plugin.outputs) {
                    const float* out = instance.audio(port);
                    for (uint32_t n = 0; n < kBlock; ++n) {
                        if (!std::isfinite(out[n])) return std::make_pair(false, peak);
                        peak = std::max(peak, std::fabs(out[n]));
                        if (b >= kBlocks - 47) tailEnergy += static_cast<double>(out[n]) * out[n];
                    }
                }
            }
            return std::make_pair(true, peak);
        };
        double cleanTail = 0.0;
        ASSERT_TRUE(run(0.25f, cleanTail).first);
        ASSERT_GT(cleanTail, 0.0);
        for (float value : bad) {
            SCOPED_TRACE(value);
            double tail = 0.0;
            const auto [finite, peak] = run(value, tail);
            EXPECT_TRUE(finite);
            // The noise peaks at 0.5.
            EXPECT_LE(peak, 0.5 * gain * std::pow(10.0, 24.0 / 20.0));
            EXPECT_NEAR(10.0 * std::log10(tail / cleanTail), 0.0, 1.0);
        }
    }
}

// The upmix sizes its delays and averages by the sample rate: a rate no host
// runs at (NaN, below 8 kHz, above 768 kHz) is refused at instantiation, as
// hosts expect of a plug-in that cannot run, rather than computed with.
TEST(Lv2Run, TheUpmixRefusesSampleRatesItCannotRunAt) {
    const PluginCase upmix = pluginCases()[1];
    Lv2Binary binary(binaryPath(upmix));
    for (double rate : {8000.0, 44100.0, 768000.0}) {
        Lv2Instance instance(binary.descriptor(upmix.uri), rate, portCount(upmix), upmix.audio, 64);
        EXPECT_TRUE(instance.valid()) << rate;
    }
    for (double rate : {std::numeric_limits<double>::quiet_NaN(), 0.0, -48000.0, 7999.0, 768001.0,
                        2147483647.0, 1e300, std::numeric_limits<double>::infinity()}) {
        Lv2Instance instance(binary.descriptor(upmix.uri), rate, portCount(upmix), upmix.audio, 64);
        EXPECT_FALSE(instance.valid()) << rate;
    }
}

TEST(Lv2Run, TwoInstancesOnTwoThreadsEqualEachAlone) {
    for (const PluginCase& plugin : pluginCases()) {
        SCOPED_TRACE(plugin.uri);
        const std::vector<uint32_t> blocks(40, 512);
        auto settle = [&](Lv2Instance& instance, std::size_t b) {
            for (const auto& [port, value] : plugin.controls) {
                instance.control(port) = b < 20 ? value : value * 0.5f;
            }
        };
        const auto alone = render(plugin, blocks, settle);
        std::vector<std::vector<float>> first, second;
        std::thread a([&] { first = render(plugin, blocks, settle); });
        std::thread b([&] { second = render(plugin, blocks, settle); });
        a.join();
        b.join();
        EXPECT_EQ(first, alone);
        EXPECT_EQ(second, alone);
    }
}

// A host delays everything else by what the latency port says; an impulse
// through the plug-in must come out exactly that much later, at any sample
// rate and however the blocks are cut.
TEST(Lv2Run, LatencyPortEqualsTheMeasuredDelayOfAnImpulse) {
    struct Case {
        double sampleRate;
        uint32_t block;
    };
    const Case cases[] = {{48000.0, 256}, {44100.0, 1000}, {96000.0, 4096}};
    constexpr std::size_t kImpulseAt = 3001;
    for (const PluginCase& plugin : pluginCases()) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(plugin.uri) + " at " + std::to_string(c.sampleRate) + " Hz");
            Lv2Binary binary(binaryPath(plugin));
            Lv2Instance instance(binary.descriptor(plugin.uri), c.sampleRate, portCount(plugin),
                                 plugin.audio, 4096);
            ASSERT_TRUE(instance.valid());
            instance.activate();
            const std::vector<uint32_t> blocks(20000 / c.block + 1, c.block);
            const auto out = feed(instance, plugin, blocks,
                                  [](std::size_t frame, std::size_t) { return frame == kImpulseAt ? 1.0f : 0.0f; },
                                  nullptr);
            const int port = latencyPort(plugin);
            const float reported = port < 0 ? 0.0f : instance.control(static_cast<uint32_t>(port));
            std::size_t loudest = 0;
            double most = -1.0;
            for (std::size_t t = 0; t < out[0].size(); ++t) {
                double energy = 0.0;
                for (const auto& channel : out) energy += double(channel[t]) * channel[t];
                if (energy > most) most = energy, loudest = t;
            }
            ASSERT_GT(most, 0.0);
            EXPECT_EQ(static_cast<double>(loudest) - kImpulseAt, reported);
        }
    }
}

// activate() after deactivate() is a fresh start: whatever ran before, the
// output equals a new instance's, sample for sample.
TEST(Lv2Run, ReactivatedInstanceEqualsAFreshOne) {
    for (const PluginCase& plugin : pluginCases()) {
        for (bool moved : {false, true}) {
            SCOPED_TRACE(std::string(plugin.uri) + (moved ? ", controls moved" : ", defaults"));
            auto settle = [&](Lv2Instance& instance, std::size_t) {
                for (const auto& [port, value] : plugin.controls) {
                    if (moved) instance.control(port) = value;
                }
            };
            const std::vector<uint32_t> blocks(24, 500);
            Lv2Binary binary(binaryPath(plugin));
            Lv2Instance used(binary.descriptor(plugin.uri), 48000.0, portCount(plugin), plugin.audio, 4096);
            ASSERT_TRUE(used.valid());
            used.activate();
            feed(used, plugin, {777, 4096, 3000}, noiseSource(11), settle);
            used.deactivate();
            used.activate();
            const auto again = feed(used, plugin, blocks, noiseSource(5), settle);
            Lv2Instance fresh(binary.descriptor(plugin.uri), 48000.0, portCount(plugin), plugin.audio, 4096);
            fresh.activate();
            const auto first = feed(fresh, plugin, blocks, noiseSource(5), settle);
            EXPECT_EQ(again, first);
        }
    }
}

}  // namespace
}  // namespace quorveil::testing
