// SPDX-License-Identifier: GPL-3.0-or-later
// Spectral modules rendered over a stream with `surround-host render`: pin
// mapping, phase references by output name, agreement with the upmix built
// from the same module, and maps that cannot work refused before any output.
#include <gtest/gtest.h>

#include <random>

#include "host/spectral/SpectralRender.h"
#include "tests/tools/ToolSupport.h"

namespace quorveil::spectral {
namespace {

using testing::moduleBuilt;

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

TEST(SpectralRender, SliceRenderedAloneMatchesTheSliceUpmix) {
    REQUIRE_MODULE("Slice4_6");
    ScratchFolder folder;
    const Sound input = stereoNoise(30001);
    writeSound(folder.file("in.wav"), input);
    const HostRun render =
        runHost({"render", "Slice4_6", folder.file("in.wav"), folder.file("render.wav")});
    ASSERT_EQ(render.exitCode, 0) << render.err;
    EXPECT_EQ(render.err, "");
    const HostRun upmix = runHost({"upmix", folder.file("in.wav"), folder.file("upmix.wav")});
    ASSERT_EQ(upmix.exitCode, 0) << upmix.err;

    const Sound rendered = readSound(folder.file("render.wav"));
    const Sound surround = readSound(folder.file("upmix.wav"));
    ASSERT_EQ(rendered.channels, 5);
    ASSERT_EQ(rendered.frames(), input.frames());
    ASSERT_EQ(surround.frames(), input.frames());
    const int fileChannel[5] = {0, 1, 2, 4, 5};  // LF RF C LS RS -> FL FR FC BL BR
    for (int c = 0; c < 5; ++c) {
        for (std::size_t t = 0; t < input.frames(); ++t) {
            ASSERT_NEAR(rendered.at(t, c), surround.at(t, fileChannel[c]), 1e-6f)
                << "channel " << c << " sample " << t;
        }
    }
}

TEST(SpectralRender, MapsChooseTheChannelsEachPinReads) {
    REQUIRE_MODULE("ATF4_6");
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
    REQUIRE_MODULE("Slice4_6");
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
