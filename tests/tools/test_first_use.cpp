// SPDX-License-Identifier: GPL-3.0-or-later
// surround-host as a new user first tries it: from cron with stdin at
// /dev/null, with `-` and no output name, with settings for a module the
// chosen method does not run, with options of another command, with outputs
// that are not sound, with integer files pinned at full scale. Each does
// what was meant or says in one line what went wrong, and why.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <functional>

#include "tests/tools/HostProcess.h"

namespace quorveil::testing {
namespace {

Sound tone(int channels, int rate, std::size_t frames, float amplitude = 0.3f) {
    Sound sound{channels, rate, std::vector<float>(frames * static_cast<std::size_t>(channels))};
    for (std::size_t n = 0; n < frames; ++n) {
        for (int c = 0; c < channels; ++c) {
            sound.samples[n * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
                amplitude * static_cast<float>(std::sin(0.02 * static_cast<double>(n) * (c + 1)));
        }
    }
    return sound;
}

bool isCharacterDevice(const std::string& path) {
    struct stat identity {};
    return ::stat(path.c_str(), &identity) == 0 && S_ISCHR(identity.st_mode);
}

struct Trap {
    const char* what;
    std::vector<std::string> args;
    std::string stdinFile;  // a file of the folder, or an absolute path
    int exitCode;
    std::string line;       // a line stderr must hold exactly once ("" for none)
    std::string absent;     // text stderr must not hold ("" for none)
    // What else must hold afterwards: the folder's names, the stream.
    std::function<void(const ScratchFolder&, const HostResult&)> check;
};

TEST(FirstUse, EveryTrapDoesWhatWasMeantOrSaysWhy) {
    // A 16-bit mix pinned at full scale: 32767 and -32768 never reach +1.0.
    const Sound pinned = tone(6, 44100, 5000, 1.5f);
    std::size_t pinnedCount = 0;
    for (float s : pinned.samples) pinnedCount += std::fabs(s) >= 1.0f ? 1 : 0;
    const auto prepare = [&](const ScratchFolder& folder) {
        writeSound(folder.file("mono.wav"), tone(1, 44100, 5000));
        writeSound(folder.file("stereo.wav"), tone(2, 44100, 5000));
        writeSound(folder.file("pinned16.wav"), pinned, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        std::ofstream(folder.file("notes")) << "a file, not a folder";
    };
    const std::vector<std::string> inputs{"mono.wav", "notes", "pinned16.wav", "stereo.wav"};
    const auto nothingAdded = [&](const ScratchFolder& f, const HostResult&) {
        EXPECT_EQ(f.names(), inputs);
    };

    const Trap traps[] = {
        {"output /dev/null with stdin at /dev/null, as cron runs it",
         {"upmix", "stereo.wav", "/dev/null", "-t", "wav"}, "/dev/null", 0, "", "",
         [&](const ScratchFolder& f, const HostResult&) {
             EXPECT_TRUE(isCharacterDevice("/dev/null"));
             EXPECT_EQ(f.names(), inputs);
         }},
        {"render to /dev/null",
         {"render", "ConstantPowerPanner4_6", "mono.wav", "/dev/null", "-t", "flac"}, "/dev/null",
         0, "", "",
         [&](const ScratchFolder& f, const HostResult&) {
             EXPECT_TRUE(isCharacterDevice("/dev/null"));
             EXPECT_EQ(f.names(), inputs);
         }},
        {"stdin without OUT goes to stdout", {"upmix", "-", "-q"}, "stereo.wav", 0, "", "",
         [&](const ScratchFolder& f, const HostResult& run) {
             EXPECT_EQ(f.names(), inputs);
             const std::string stream = f.file("stream.wav");
             std::ofstream(stream, std::ios::binary) << run.out;
             try {
                 const Sound out = readToTheEnd(stream);
                 EXPECT_EQ(out.channels, 6);
                 EXPECT_EQ(out.frames(), 5000u);
             } catch (const std::exception& error) {
                 ADD_FAILURE() << error.what();
             }
         }},
        {"an ATF4_6 setting without --atf", {"upmix", "stereo.wav", "out.wav",
                                             "--set", "Depth=90"}, "", 0,
         "surround-host: warning: --set Depth=90 does nothing: 'Depth' is ATF4_6's; add --atf", "",
         nullptr},
        {"an ArcTan4_6 setting with slice",
         {"upmix", "stereo.wav", "out.wav", "--set", "Total Image Width=360"}, "",
         0,
         "surround-host: warning: --set Total Image Width=360 does nothing: 'Total Image Width' "
         "is ArcTan4_6's; add --method arctan",
         "", nullptr},
        {"a setting two unused methods share",
         {"upmix", "stereo.wav", "out.wav", "--method", "arctan", "--set",
          "Wrap Rears=on"},
         "", 0,
         "surround-host: warning: --set Wrap Rears=on does nothing: 'Wrap Rears' is Slice4_6's "
         "and CC4_6's; add --method slice or --method cc",
         "", nullptr},
        {"-v speaks for the modules in use only",
         {"-v", "upmix", "stereo.wav", "out.wav"}, "", 0,
         "surround-host: module says 'Version:' Slice4_6.quorveil.audio", "ArcTan4_6", nullptr},
        {"ArcTan4_6's positions and angles are not sound",
         {"render", "ArcTan4_6", "stereo.wav", "out.wav"}, "", 0, "", "",
         [](const ScratchFolder&, const HostResult& run) {
             const auto notes = linesWith(run.err, "note: channels 11 and 12 ('1', '2') carry "
                                                   "values, not sound: each bin's position");
             EXPECT_EQ(notes.size(), 1u) << run.err;
         }},
        {"Clip4_6's FFT delay in 16 bits",
         {"render", "Clip4_6", "pinned16.wav", "out.wav", "--bits", "16"}, "", 0,
         "surround-host: note: channel 7 ('FFT Delay') carries a value, not sound: the FFT delay "
         "in samples; 16-bit samples hold it only as full scale; --bits 32f keeps the values",
         "", nullptr},
        {"a 16-bit mix pinned at full scale",
         {"render", "Clip4_6", "pinned16.wav", "out.wav"}, "", 0,
         "surround-host: warning: input 'pinned16.wav': " + std::to_string(pinnedCount) +
             " samples are at 16-bit full scale, where integer samples clip: the sound may have "
             "clipped before it was saved",
         "", nullptr},
        {"--threads in words", {"upmix", "stereo.wav", "out.wav", "--threads", "two"}, "", 2,
         "surround-host: --threads takes 1 or 2, not 'two'", "", nothingAdded},
        {"--block given to upmix", {"upmix", "stereo.wav", "out.wav", "--block", "256"}, "", 2,
         "surround-host: upmix takes no --block (its block is the FFT hop)", "", nothingAdded},
        {"an output folder that is a file", {"render", "ConstantPowerPanner4_6", "mono.wav",
                                             "notes/out.wav"},
         "", 2, "surround-host: cannot write 'notes/out.wav': 'notes' is a file, not a folder", "",
         nothingAdded},
    };
    for (const Trap& trap : traps) {
        SCOPED_TRACE(trap.what);
        ScratchFolder folder;
        prepare(folder);
        HostCall call;
        call.args = trap.args;
        call.workingFolder = folder.path().string();
        if (!trap.stdinFile.empty()) {
            call.stdinFile = trap.stdinFile[0] == '/' ? trap.stdinFile : folder.file(trap.stdinFile);
        }
        const HostResult run = callHost(call);
        EXPECT_EQ(run.exitCode, trap.exitCode) << run.err;
        if (!trap.line.empty()) {
            EXPECT_EQ(linesWith(run.err, trap.line), std::vector<std::string>{trap.line}) << run.err;
        }
        if (!trap.absent.empty()) {
            EXPECT_EQ(run.err.find(trap.absent), std::string::npos) << run.err;
        }
        if (trap.check) trap.check(folder, run);
    }
}

TEST(FirstUse, ThreadsHelpSaysItsChoicesInWords) {
    const HostRun help = runHost({"upmix", "--help"});
    ASSERT_EQ(help.exitCode, 0);
    const auto lines = linesWith(help.out, "--threads");
    ASSERT_EQ(lines.size(), 1u) << help.out;
    EXPECT_NE(lines[0].find("(1 or 2, default "), std::string::npos) << lines[0];
    EXPECT_EQ(lines[0].find("INT"), std::string::npos) << lines[0];
}

}  // namespace
}  // namespace quorveil::testing
