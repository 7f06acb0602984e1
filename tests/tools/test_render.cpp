// SPDX-License-Identifier: GPL-3.0-or-later
// surround-host render with the two audio modules: the panner's law reaches
// the output channels, Clip4_6 passes six channels through and its clip
// indicator becomes a warning, and long files stream in constant memory.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "tests/tools/ToolSupport.h"

namespace quorveil::testing {
namespace {

// A mono test signal whose length is not a whole number of blocks.
Sound monoSignal(std::size_t frames) {
    Sound sound{1, 48000, std::vector<float>(frames)};
    for (std::size_t n = 0; n < frames; ++n) {
        sound.samples[n] = static_cast<float>(0.8 * std::sin(0.013 * static_cast<double>(n + 1)));
    }
    return sound;
}

struct PanCase {
    std::string setting;  // as the user types it
    float lf, rf, c, ls, rs;
};

TEST(RenderPanner, OutputGainsFollowTheConstantPowerLaw) {
    // Gains of the law with the default speaker angles (LF 45, RF 315, C 0,
    // LS 120, RS 240); names in any letter case, or the parameter's id.
    const PanCase cases[] = {
        {"Pan Angle=-90", 0.58769f, 0.0f, 0.0f, 0.80909f, 0.0f},
        {"pan angle=0", 0.0f, -0.00016f, 1.0f, 0.0f, 0.0f},
        {"PAN ANGLE = 45", 0.0f, 1.0f, 0.0f, 0.0f, 0.000006f},
        {"0=-90", 0.58769f, 0.0f, 0.0f, 0.80909f, 0.0f},
    };
    ScratchFolder folder;
    const Sound input = monoSignal(3001);
    writeSound(folder.file("in.wav"), input);
    for (const PanCase& c : cases) {
        SCOPED_TRACE(c.setting);
        const HostRun run = runHost({"render", "Constant Power Panner 4.6", folder.file("in.wav"),
                                     folder.file("out.wav"), "--set", c.setting});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const Sound output = readSound(folder.file("out.wav"));
        ASSERT_EQ(output.channels, 5);
        ASSERT_EQ(output.frames(), input.frames());
        EXPECT_EQ(output.sampleRate, 48000);
        const float gains[] = {c.lf, c.rf, c.c, c.ls, c.rs};
        for (int k = 0; k < 5; ++k) {
            for (std::size_t n = 0; n < input.frames(); ++n) {
                const float expected = gains[k] * input.samples[n];
                ASSERT_NEAR(output.at(n, k), expected, 2e-5f) << "channel " << k << " frame " << n;
                if (gains[k] == 0.0f) {
                    ASSERT_EQ(output.at(n, k), 0.0f) << "channel " << k << " frame " << n;
                }
            }
        }
    }
}

TEST(RenderPanner, ForceSendsAnAngleOutsideTheRange) {
    ScratchFolder folder;
    writeSound(folder.file("in.wav"), monoSignal(100));
    // 200 degrees puts the direction at 159.99, between LS and RS.
    const HostRun run = runHost({"render", "ConstantPowerPanner4_6", folder.file("in.wav"),
                                 folder.file("out.wav"), "--set", "Pan Angle=200", "--force"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Sound output = readSound(folder.file("out.wav"));
    const float in = monoSignal(100).samples[50];
    EXPECT_EQ(output.at(50, 0), 0.0f);
    EXPECT_GT(output.at(50, 3) / in, 0.85f);
    EXPECT_GT(output.at(50, 4) / in, 0.45f);
}

// Six channels with hot samples at known places: two channels at once count
// as one position, and only the positive side counts.
Sound sixChannels(std::size_t frames) {
    Sound sound{6, 44100, std::vector<float>(frames * 6)};
    for (std::size_t n = 0; n < frames; ++n) {
        for (int k = 0; k < 6; ++k) {
            sound.samples[n * 6 + static_cast<std::size_t>(k)] =
                static_cast<float>(0.5 * std::sin(0.001 * static_cast<double>((k + 1) * n)));
        }
    }
    sound.samples[10 * 6 + 3] = 1.0f;     // LFE exactly at full scale
    sound.samples[700 * 6 + 0] = 1.5f;    // two channels at one position
    sound.samples[700 * 6 + 5] = 2.0f;
    sound.samples[701 * 6 + 2] = 1.25f;
    sound.samples[(frames - 1) * 6 + 1] = 1.0f;  // in the short last block
    sound.samples[900 * 6 + 4] = -1.5f;   // the negative side does not count
    return sound;
}

TEST(RenderClip, PassesSixChannelsAndAddsTheFftDelay) {
    struct {
        std::vector<std::string> engine;
        float delay;
    } cases[] = {
        {{}, 1536.0f},
        {{"--fft-size", "1024", "--overlap", "4"}, 768.0f},
        {{"--fft-size", "8192", "--overlap", "8", "--block", "64"}, 8192.0f},
    };
    ScratchFolder folder;
    const Sound input = sixChannels(1500);
    writeSound(folder.file("in.wav"), input);
    for (const auto& c : cases) {
        std::vector<std::string> args{"render", "clip4_6", folder.file("in.wav"),
                                      folder.file("out.wav")};
        args.insert(args.end(), c.engine.begin(), c.engine.end());
        const HostRun run = runHost(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        // The indicator counts positions at or above +1.0; the overs are the
        // samples beyond full scale on either side (1.5, 2.0, 1.25, -1.5),
        // and the FFT delay is said to be a value, not sound.
        char level[16];
        std::snprintf(level, sizeof level, "%+.1f", 20.0 * std::log10(c.delay));
        EXPECT_EQ(run.err,
                  "surround-host: warning: clipping at 4 sample positions (indicator 'Clip4_6': "
                  "a sample at or above +1.0)\n"
                  "surround-host: warning: 4 output samples are above 0 dBFS (peak +6.0 dBFS): "
                  "32-bit float keeps them, but they clip when played or converted to integer "
                  "samples\n"
                  "surround-host: note: channel 7 ('FFT Delay') carries a value, not sound: the "
                  "FFT delay in samples; as samples it reaches " + std::string(level) +
                      " dBFS, keep it away from speakers\n");
        const Sound output = readSound(folder.file("out.wav"));
        ASSERT_EQ(output.channels, 7);
        ASSERT_EQ(output.frames(), input.frames());
        EXPECT_EQ(output.sampleRate, 44100);
        for (std::size_t n = 0; n < input.frames(); ++n) {
            for (int k = 0; k < 6; ++k) {
                ASSERT_EQ(output.at(n, k), input.at(n, k)) << "channel " << k << " frame " << n;
            }
            ASSERT_EQ(output.at(n, 6), c.delay) << "frame " << n;
        }
    }
}

TEST(RenderClip, QuietKeepsTheWarningAndVerboseShowsTheModule) {
    ScratchFolder folder;
    writeSound(folder.file("in.wav"), sixChannels(1000));
    const HostRun quiet =
        runHost({"-q", "render", "Clip4_6", folder.file("in.wav"), folder.file("out.wav")});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.out, "");
    EXPECT_NE(quiet.err.find("warning: clipping at 4 sample positions"), std::string::npos);
    const HostRun verbose =
        runHost({"render", "Clip4_6", folder.file("in.wav"), folder.file("out.wav"), "-v"});
    EXPECT_EQ(verbose.exitCode, 0);
    EXPECT_NE(verbose.err.find("module says 'Version:' Clip4_6.quorveil.audio"), std::string::npos)
        << verbose.err;
    EXPECT_NE(verbose.err.find("clipping at 4 sample positions"), std::string::npos);
}

TEST(RenderClip, WritesTheFormatTheExtensionAndBitsAsk) {
    const struct {
        std::string name;
        std::vector<std::string> bits;
        int format;
    } cases[] = {
        {"out.wav", {}, SF_FORMAT_FLOAT},
        {"out.WAV", {"--bits", "16"}, SF_FORMAT_PCM_16},
        {"out.flac", {}, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"out.flac", {"--bits", "16"}, SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"out.aiff", {"--bits", "24"}, SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
    };
    ScratchFolder folder;
    Sound input = sixChannels(1000);
    input.samples[0] = -0.25f;
    writeSound(folder.file("in.flac"), input, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args{"-q", "render", "Clip4_6", folder.file("in.flac"),
                                      folder.file(c.name)};
        args.insert(args.end(), c.bits.begin(), c.bits.end());
        ASSERT_EQ(runHost(args).exitCode, 0);
        int format = 0;
        const Sound output = readSound(folder.file(c.name), &format);
        ASSERT_EQ(output.frames(), 1000u);
        EXPECT_EQ(format & c.format, c.format);
        EXPECT_EQ(output.at(0, 0), -0.25f);
        // Integer formats hold the delay channel at full scale, not wrapped.
        EXPECT_GT(output.at(0, 6), 0.99f);
    }
}

TEST(RenderClip, MemoryStaysFlatWhateverTheFileLength) {
    ScratchFolder folder;
    Sound shortInput = sixChannels(48000);
    writeSound(folder.file("short.wav"), shortInput);
    Sound longInput{6, 44100, {}};
    for (int copy = 0; copy < 40; ++copy) {
        longInput.samples.insert(longInput.samples.end(), shortInput.samples.begin(),
                                 shortInput.samples.end());
    }
    writeSound(folder.file("long.wav"), longInput);  // 44 MB of input
    const HostRun shortRun =
        runHost({"-q", "render", "Clip4_6", folder.file("short.wav"), folder.file("s.wav")});
    const HostRun longRun =
        runHost({"-q", "render", "Clip4_6", folder.file("long.wav"), folder.file("l.wav")});
    ASSERT_EQ(shortRun.exitCode, 0);
    ASSERT_EQ(longRun.exitCode, 0);
    EXPECT_LT(longRun.maxResidentKiB, shortRun.maxResidentKiB + 4096);
}

}  // namespace
}  // namespace quorveil::testing
