// SPDX-License-Identifier: GPL-3.0-or-later
// Spectral modules rendered over a stream with `surround-host render`: pin
// mapping, phase references by output name, the upmix's placement checked
// against the module rendered alone, and maps that cannot work refused
// before any output.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "host/spectral/SpectralRender.h"
#include "tests/tools/ToolSupport.h"

namespace quorveil::spectral {
namespace {

using testing::HostRun;
using testing::readSound;
using testing::runHost;
using testing::ScratchFolder;
using testing::Sound;
using testing::writeSound;

Sound stereoNoise(std::size_t frames, int channels = 2) {
    std::mt19937 random(5);
    std::normal_distribution<float> normal(0.0f, 0.1f);
    Sound sound{channels, 44100, std::vector<float>(frames * static_cast<std::size_t>(channels))};
    for (float& s : sound.samples) s = normal(random);
    return sound;
}

TEST(SpectralRender, PhaseFollowsTheSideAnOutputIsNamedFor) {
    const struct {
        const char* name;
        std::vector<float> weights;
    } cases[] = {
        {"LF", {1, 0}},           {"LS dominant out", {1, 0}}, {"L", {1, 0}},
        {"RF lesser out", {0, 1}}, {"RS", {0, 1}},              {"C", {1, 1}},
        {"C dominant out", {1, 1}}, {"1", {1, 1}},              {"LFE", {1, 1}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(defaultPhaseSources({c.name}, 2)[0].weights, c.weights) << c.name;
    }
    EXPECT_EQ(defaultPhaseSources({"RF"}, 1)[0].weights, std::vector<float>{1});
}

TEST(SpectralRender, ReadsPinMapsCountingChannelsFromOne) {
    const PinMaps maps = parsePinMaps({"magnitude=1,2,1, 2,1", "FREQ=2,1"});
    EXPECT_EQ(maps.magnitude, (std::vector<int>{0, 1, 0, 1, 0}));
    EXPECT_EQ(maps.frequency, (std::vector<int>{1, 0}));
    for (const char* bad : {"magnitude=", "magnitude=0", "magnitude=1,,2", "phase=1", "1,2"}) {
        EXPECT_THROW(parsePinMaps({bad}), host::HostError) << bad;
    }
}

double energyOf(const Sound& sound, int channel) {
    double sum = 0.0;
    for (std::size_t t = 0; t < sound.frames(); ++t) {
        sum += static_cast<double>(sound.at(t, channel)) * sound.at(t, channel);
    }
    return sum;
}

// The upmix routes Slice4_6's outputs for the direct sound: FC takes C at √2,
// FL takes LF/3 + LS. Rendered alone with the upmix's setting, the module
// tells how a dry panned source must divide between FC and FL. (At half
// left the upmix feeds the module the source's own balance; elsewhere it
// warps it so that the source lands at its azimuth, which the quality tests
// check.)
TEST(SpectralRender, TheUpmixPlacesADrySourceAsSliceRenderedAloneDivides) {
    ASSERT_MODULE_LOADS("Slice4_6");
    for (const double pan : {-0.5}) {
        SCOPED_TRACE(pan);
        ScratchFolder folder;
        const Sound noise = stereoNoise(40000, 1);
        const double theta = (pan + 1.0) * std::numbers::pi / 4.0;
        Sound input{2, 44100, {}};
        for (std::size_t t = 0; t < noise.frames(); ++t) {
            input.samples.push_back(static_cast<float>(std::cos(theta) * noise.at(t, 0)));
            input.samples.push_back(static_cast<float>(std::sin(theta) * noise.at(t, 0)));
        }
        writeSound(folder.file("in.wav"), input);
        const HostRun render = runHost({"render", "Slice4_6", folder.file("in.wav"),
                                        folder.file("render.wav"), "--set",
                                        "Stage Two Humidity=0"});
        ASSERT_EQ(render.exitCode, 0) << render.err;
        const HostRun upmix = runHost({"upmix", folder.file("in.wav"), folder.file("upmix.wav")});
        ASSERT_EQ(upmix.exitCode, 0) << upmix.err;

        const Sound rendered = readSound(folder.file("render.wav"));  // LF RF C LS RS
        const Sound surround = readSound(folder.file("upmix.wav"));   // FL FR FC LFE BL BR
        // Every output is a scaled copy of the one noise: levels add.
        const double front = std::sqrt(energyOf(rendered, 0)) / 3.0 + std::sqrt(energyOf(rendered, 3));
        const double expected = 2.0 * energyOf(rendered, 2) / (front * front);
        EXPECT_NEAR(10.0 * std::log10(energyOf(surround, 2) / energyOf(surround, 0)),
                    10.0 * std::log10(expected), 0.3);
    }
}

TEST(SpectralRender, MapsChooseTheChannelsEachPinReads) {
    ASSERT_MODULE_LOADS("ATF4_6");
    ScratchFolder folder;
    writeSound(folder.file("in.wav"), stereoNoise(5000));
    // ATF4_6: five magnitude inputs, two frequency inputs.
    const HostRun run = runHost({"render", "ATF4_6", folder.file("in.wav"), folder.file("out.wav"),
                                 "--map", "magnitude=1,2,1,2,1", "--phase-from", "C=L"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Sound output = readSound(folder.file("out.wav"));
    EXPECT_EQ(output.channels, 5);
    EXPECT_EQ(output.frames(), 5000u);
}

TEST(SpectralRender, MistakesGetOneLineExitTwoAndNoOutput) {
    ASSERT_MODULE_LOADS("Slice4_6");
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--map", "magnitude=1,3"},
         "Slice4_6's 2 magnitude inputs need input channel 3, and the input has 2"},
        {{"--map", "magnitude=1"}, "Slice4_6 has 2 magnitude inputs; the map names 1"},
        {{"--map", "phase=1"}, "--map wants magnitude=1,2,... or frequency=1,2,... (input "
                               "channels from 1), not 'phase=1'"},
        {{"--phase-from", "Middle=L"}, "--phase-from: no output 'Middle' (LF, RF, C, LS, RS)"},
        {{"--phase-from", "C=3"}, "--phase-from wants L, R, L+R or a channel 1..2, not '3'"},
        {{"--fft-size", "1000"}, "FFT size 1000 is not one of 512, 1024, 2048, 4096, 8192, 16384"},
        {{"--overlap", "3"}, "overlap 3 is not one of 2, 4, 8, 16"},
    };
    ScratchFolder folder;
    writeSound(folder.file("in.wav"), stereoNoise(3000));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> args{"render", "Slice4_6", folder.file("in.wav"),
                                      folder.file("out.wav")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const HostRun run = runHost(args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err, "surround-host: " + c.message + "\n");
        EXPECT_EQ(folder.names(), std::vector<std::string>{"in.wav"});
    }
}

}  // namespace
}  // namespace quorveil::spectral
