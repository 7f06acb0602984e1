// SPDX-License-Identifier: GPL-3.0-or-later
// Every mistake a user can make with surround-host gets one line on stderr,
// exit status 2, and loses nothing: no output file, no temporary file, and a
// file already at the output path stays as it was.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "tests/tools/HostProcess.h"

namespace quorveil::testing {
namespace {

struct BadCase {
    const char* what;
    std::vector<std::string> args;  // "IN6", "IN1", "IN2", "TEXT", "DIR", "OUT" are placeholders
    std::string message;            // the one line, without "surround-host: "
};

class BadInput : public ::testing::Test {
protected:
    void SetUp() override {
        writeSound(folder.file("six.wav"), Sound{6, 48000, std::vector<float>(6 * 100, 0.25f)});
        writeSound(folder.file("mono.wav"), Sound{1, 48000, std::vector<float>(100, 0.25f)});
        writeSound(folder.file("stereo.wav"), Sound{2, 48000, std::vector<float>(200, 0.25f)});
        std::ofstream(folder.file("notes.txt")) << "these are not samples\n";
        // A header that declares 2^31 - 1 Hz.
        writeSound(folder.file("fast.wav"), Sound{1, 48000, std::vector<float>(100, 0.25f)});
        std::fstream(folder.file("fast.wav"), std::ios::in | std::ios::out | std::ios::binary)
                .seekp(24)
            << "\xFF\xFF\xFF\x7F";
        fs::create_directory(folder.path() / "a folder");
    }

    std::vector<std::string> expand(const std::vector<std::string>& args) const {
        std::vector<std::string> expanded;
        for (const std::string& arg : args) {
            expanded.push_back(arg == "IN6"    ? folder.file("six.wav")
                               : arg == "IN1"  ? folder.file("mono.wav")
                               : arg == "IN2"  ? folder.file("stereo.wav")
                               : arg == "TEXT" ? folder.file("notes.txt")
                               : arg == "DIR"  ? folder.file("a folder")
                               : arg == "FAST" ? folder.file("fast.wav")
                               : arg == "OUT"  ? folder.file("out.wav")
                                               : arg);
        }
        return expanded;
    }

    ScratchFolder folder;
};

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

TEST_F(BadInput, OneLineExitTwoAndNoOutput) {
    const BadCase cases[] = {
        {"missing input", {"render", "Clip4_6", "nowhere.wav", "OUT"},
         "input 'nowhere.wav' does not exist"},
        {"folder as input", {"render", "Clip4_6", "DIR", "OUT"},
         "input 'DIR' is a folder, not a sound file"},
        {"not audio", {"render", "Clip4_6", "TEXT", "OUT"},
         "input 'TEXT' is not a sound file libsndfile can read (Format not recognised)"},
        {"channel count", {"render", "Clip4_6", "IN2", "OUT"},
         "Clip4_6 takes 6 input channels (LF in, RF in, C in, LFE in, LS in, RS in); 'IN2' has 2"},
        {"channel count to a spectral module", {"render", "ATF4_6", "IN2", "OUT"},
         "ATF4_6's 5 magnitude inputs need input channel 3, and the input has 2"},
        {"unknown module", {"render", "Clip5", "IN6", "OUT"},
         "unknown module 'Clip5' (see 'surround-host list')"},
        {"unknown module for info", {"info", "panner"},
         "unknown module 'panner' (see 'surround-host list')"},
        {"unknown parameter", {"render", "Clip4_6", "IN6", "OUT", "--set", "Gain=1"},
         "Clip4_6 has no parameter 'Gain' (it has none to set)"},
        {"unknown parameter of the panner",
         {"render", "ConstantPowerPanner4_6", "IN1", "OUT", "--set", "Pan=10"},
         "Constant Power Panner 4.6 has no parameter 'Pan' (parameters: Pan Angle, LF Speaker "
         "Angle, RF Speaker Angle, C Speaker Angle, LS Speaker Angle, RS Speaker Angle)"},
        {"indicator", {"render", "Clip4_6", "IN6", "OUT", "--set", "clip4_6=1"},
         "'Clip4_6' is an indicator the module lights; it takes no value"},
        {"label", {"render", "ConstantPowerPanner4_6", "IN1", "OUT", "--set", "Speaker Angles:=1"},
         "'Speaker Angles:' is a label, not a setting"},
        {"no equals sign", {"render", "Clip4_6", "IN6", "OUT", "--set", "Pan Angle"},
         "--set takes NAME=VALUE, not 'Pan Angle'"},
        {"value that does not parse",
         {"render", "ConstantPowerPanner4_6", "IN1", "OUT", "--set", "Pan Angle=left"},
         "'left' is not a number (for 'Pan Angle')"},
        {"value outside the range",
         {"render", "ConstantPowerPanner4_6", "IN1", "OUT", "--set", "pan angle=270"},
         "'Pan Angle' takes -180 to 180 degrees, not 270 (--force sends it anyway)"},
        {"block size 0", {"render", "Clip4_6", "IN6", "OUT", "--block", "0"},
         "--block must be 1 to 65536, not 0"},
        {"block size too large", {"render", "Clip4_6", "IN6", "OUT", "--block", "65537"},
         "--block must be 1 to 65536, not 65537"},
        {"block size not a number", {"render", "Clip4_6", "IN6", "OUT", "--block", "many"},
         "Could not convert: --block = many (see 'surround-host render --help')"},
        {"output folder missing", {"render", "Clip4_6", "IN6", "nowhere/out.wav"},
         "cannot write 'nowhere/out.wav': folder 'nowhere' does not exist"},
        {"output is a folder", {"render", "Clip4_6", "IN6", "DIR"},
         "cannot tell the output format from 'DIR': name it .wav, .flac or .aiff"},
        {"output extension", {"render", "Clip4_6", "IN6", "out.mp3"},
         "cannot tell the output format from 'out.mp3': name it .wav, .flac or .aiff"},
        {"float FLAC", {"render", "Clip4_6", "IN6", "out.flac", "--bits", "32f"},
         "FLAC stores 16 or 24-bit samples, not 32-bit float: use --bits 16 or 24"},
        {"bits", {"render", "Clip4_6", "IN6", "OUT", "--bits", "32"},
         "--bits takes 16, 24 or 32f, not '32'"},
        {"missing arguments", {"render", "Clip4_6"},
         "IN is required (see 'surround-host render --help')"},
        {"library missing", {"--library", "nowhere.so", "list"},
         "library 'nowhere.so' does not exist"},
        {"a rate no file reads back",
         {"render", "ConstantPowerPanner4_6", "FAST", "OUT"},
         "cannot write 'OUT' at 2147483647 Hz: surround-host writes 1 to 768000 Hz"},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(folder.file("out.wav")) << "keep me";
        const auto before = folder.names();
        const HostRun run = runHost(expand(c.args));
        EXPECT_EQ(run.exitCode, 2);
        std::string line = "surround-host: " + c.message + "\n";
        for (const char* placeholder : {"IN2", "TEXT", "DIR", "OUT"}) {
            line = replaced(line, placeholder, expand({placeholder})[0]);
        }
        EXPECT_EQ(run.err, line);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(folder.names(), before);
        EXPECT_EQ(readText(folder.file("out.wav")), "keep me");
    }
}

TEST_F(BadInput, UnreadableInput) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads every file";
    }
    ::chmod(folder.file("six.wav").c_str(), 0);
    const HostRun run = runHost(expand({"render", "Clip4_6", "IN6", "OUT"}));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("cannot read input"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(folder.file("out.wav")));
}

TEST_F(BadInput, SuccessReplacesTheOutputAndLeavesNoTemporaryFile) {
    std::ofstream(folder.file("out.wav")) << "old";
    const HostRun run = runHost(expand({"-q", "render", "Clip4_6", "IN6", "OUT"}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readSound(folder.file("out.wav")).channels, 7);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"a folder", "fast.wav", "mono.wav",
                                                        "notes.txt", "out.wav", "six.wav",
                                                        "stereo.wav"}));
}

TEST(Interrupted, CtrlCLeavesNeitherOutputNorTemporaryFile) {
    ScratchFolder folder;
    writeSound(folder.file("long.wav"), Sound{6, 48000, std::vector<float>(6 * 48000 * 90, 0.25f)});
    std::ofstream(folder.file("out.wav")) << "keep me";
    const std::string host = SURROUND_HOST_PATH;
    const std::string in = folder.file("long.wav"), out = folder.file("out.wav");
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(host.c_str(), host.c_str(), "-q", "render", "Clip4_6", in.c_str(), out.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Wait for the output to be under way, then interrupt.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!writesInto(child, folder.path().string()) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ::kill(child, SIGINT);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        GTEST_SKIP() << "the render finished before the interrupt";
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"long.wav", "out.wav"}));
    EXPECT_EQ(readText(out), "keep me");
}

}  // namespace
}  // namespace quorveil::testing
