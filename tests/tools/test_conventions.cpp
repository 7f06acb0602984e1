// SPDX-License-Identifier: GPL-3.0-or-later
// surround-host as sox and ffmpeg users expect it: `-` for stdin and stdout,
// channel masks ffprobe reads, one-line messages that point to the right
// help, warnings for settings that do nothing, -q, --version, --library and
// --help.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/tools/HostProcess.h"

namespace quorveil::testing {
namespace {

Sound tone(int channels, int rate, std::size_t frames) {
    Sound sound{channels, rate, std::vector<float>(frames * static_cast<std::size_t>(channels))};
    for (std::size_t n = 0; n < frames; ++n) {
        for (int c = 0; c < channels; ++c) {
            sound.samples[n * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
                0.3f * static_cast<float>(std::sin(0.02 * static_cast<double>(n) * (c + 1)));
        }
    }
    return sound;
}

class Conventions : public ::testing::Test {
protected:
    void SetUp() override {
        writeSound(folder.file("mono.wav"), tone(1, 44100, 5000));
        writeSound(folder.file("stereo.wav"), tone(2, 44100, 5000));
        writeSound(folder.file("six.wav"), tone(6, 44100, 5000));
        writeSound(folder.file("eight.wav"), tone(8, 44100, 5000));
    }
    HostResult host(std::vector<std::string> args) {
        HostCall call;
        call.args = std::move(args);
        call.workingFolder = folder.path().string();
        return callHost(call);
    }
    ScratchFolder folder;
};

// --- `-` is stdin or stdout ---------------------------------------------------

TEST_F(Conventions, DashReadsStdinAndWritesStdoutInTheTypeAsked) {
    const struct {
        const char* what;
        std::vector<std::string> args;
        const char* stdinFrom;  // a file, or "pipe:" and a file sent through a pipe
        int channels;
        int format;  // of the stream on stdout, 0 when the output is out.wav
        bool stdoutPipe = false;
    } cases[] = {
        {"file redirected to stdin", {"render", "ConstantPowerPanner4_6", "-", "out.wav"},
         "mono.wav", 5, 0},
        {"WAV through a pipe", {"render", "ConstantPowerPanner4_6", "-", "out.wav"},
         "pipe:mono.wav", 5, 0},
        {"WAV to stdout", {"render", "ConstantPowerPanner4_6", "mono.wav", "-", "-t", "wav"}, "",
         5, SF_FORMAT_WAVEX | SF_FORMAT_FLOAT},
        {"16-bit WAV to stdout",
         {"render", "ConstantPowerPanner4_6", "mono.wav", "-", "--type", "wav", "--bits", "16"}, "",
         5, SF_FORMAT_WAVEX | SF_FORMAT_PCM_16},
        {"FLAC to stdout", {"render", "Clip4_6", "six.wav", "-", "-t", "flac"}, "", 7,
         SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"upmix from stdin to stdout", {"upmix", "-", "-", "-t", "wav"}, "stereo.wav", 6,
         SF_FORMAT_WAVEX | SF_FORMAT_FLOAT},
        {"upmix from a pipe to stdout", {"upmix", "-", "-", "-t", "wav"}, "pipe:stereo.wav", 6,
         SF_FORMAT_WAVEX | SF_FORMAT_FLOAT},
        // Into a pipe the WAV header goes first, its sizes those of the
        // input's length.
        {"WAV into a pipe", {"render", "ConstantPowerPanner4_6", "mono.wav", "-", "-t", "wav"},
         "", 5, SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, true},
        {"24-bit WAV into a pipe",
         {"render", "Clip4_6", "six.wav", "-", "-t", "wav", "--bits", "24"}, "", 7,
         SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, true},
        {"upmix through pipes", {"upmix", "-", "-", "-t", "wav"}, "pipe:stereo.wav", 6,
         SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, true},
        {"FLAC into a pipe", {"render", "Clip4_6", "six.wav", "-", "-t", "flac"}, "", 7,
         SF_FORMAT_FLAC | SF_FORMAT_PCM_24, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(folder.file("out.wav"));
        HostCall call;
        call.args = c.args;
        call.workingFolder = folder.path().string();
        const std::string from = c.stdinFrom;
        if (from.rfind("pipe:", 0) == 0) {
            call.stdinPipe = fileBytes(folder.file(from.substr(5)));
        } else if (!from.empty()) {
            call.stdinFile = folder.file(from);
        }
        if (c.stdoutPipe) call.stdoutKeep = std::string::npos;
        const HostResult run = callHost(call);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        std::string written = folder.file("out.wav");
        if (c.format != 0) {
            // stdout carries the sound and nothing else; what was written is
            // said on stderr.
            written = folder.file("stream.bin");
            std::ofstream(written, std::ios::binary) << run.out;
            EXPECT_EQ(linesWith(run.err, "wrote -").size(), 1u) << run.err;
        }
        int format = 0;
        const Sound out = readToTheEnd(written, &format);
        EXPECT_EQ(out.channels, c.channels);
        EXPECT_EQ(out.frames(), 5000u);
        if (c.format != 0) {
            EXPECT_EQ(format, c.format);
        }
    }
}

TEST_F(Conventions, DashRefusesWhatAStreamCannotCarry) {
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"render", "ConstantPowerPanner4_6", "mono.wav", "-"},
         "writing to stdout ('-') needs --type wav, flac or aiff"},
        {{"render", "ConstantPowerPanner4_6", "mono.wav", "-", "-t", "aiff"},
         "AIFF cannot be streamed to stdout: its header must hold the length before the samples "
         "(stream -t wav or -t flac, or name a file)"},
        {{"render", "ConstantPowerPanner4_6", "mono.wav", "-", "-t", "mp3"},
         "--type takes wav, flac or aiff, not 'mp3'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const HostResult run = host(c.args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err, "surround-host: " + c.message + "\n");
        EXPECT_EQ(run.out, "");
    }
    // A file named without a telling extension takes its format from --type.
    const HostResult typed =
        host({"render", "ConstantPowerPanner4_6", "mono.wav", "out.snd", "-t", "flac", "-q"});
    ASSERT_EQ(typed.exitCode, 0) << typed.err;
    int format = 0;
    readSound(folder.file("out.snd"), &format);
    EXPECT_EQ(format & SF_FORMAT_TYPEMASK, SF_FORMAT_FLAC);
}

TEST_F(Conventions, AReaderThatStopsTakingTheSoundIsAnError) {
    // `surround-host render ... - -t wav | head -c 1000`: the sound did not
    // all arrive, which only the exit status can say.
    writeSound(folder.file("long.wav"), tone(6, 44100, 44100 * 5));
    HostCall call;
    call.args = {"render", "Clip4_6", "long.wav", "-", "-t", "wav", "-q"};
    call.workingFolder = folder.path().string();
    call.stdoutKeep = 1000;
    const HostResult run = callHost(call);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "surround-host: cannot write '-': Broken pipe\n");
}

// --- channel masks ----------------------------------------------------------------

TEST_F(Conventions, EveryMultichannelOutputNamesItsSpeakers) {
    const struct {
        std::vector<std::string> args;
        const char* output;
        long mask;           // -1: not a WAV
        const char* probe;   // what ffprobe reads
    } cases[] = {
        // LF RF C LS RS = FL FR FC BL BR
        {{"render", "ConstantPowerPanner4_6", "mono.wav", "p.wav"}, "p.wav", 0x37,
         "channels=5|channel_layout=5.0"},
        {{"render", "ConstantPowerPanner4_6", "mono.wav", "p16.wav", "--bits", "16"}, "p16.wav",
         0x37, "channels=5|channel_layout=5.0"},
        // 5.1 and a seventh channel that is no speaker: outside the mask.
        {{"render", "Clip4_6", "six.wav", "c.wav"}, "c.wav", 0x3F, nullptr},
        // C LS RS = FC BL BR
        {{"render", "CC4_6", "stereo.wav", "cc.wav"}, "cc.wav", 0x34, nullptr},
        {{"render", "Slice4_6", "stereo.wav", "s.wav"}, "s.wav", 0x37,
         "channels=5|channel_layout=5.0"},
        // Five dominant speakers first; the lesser images and the two
        // position outputs follow outside the mask.
        {{"render", "ArcTan4_6", "stereo.wav", "a.wav"}, "a.wav", 0x37, nullptr},
        {{"upmix", "stereo.wav", "u.wav"}, "u.wav", 0x3F, "channels=6|channel_layout=5.1"},
        {{"upmix", "stereo.wav", "u.flac"}, "u.flac", -1, "channels=6|channel_layout=5.1"},
        {{"upmix", "stereo.wav", "u.aiff"}, "u.aiff", -1, "channels=6|channel_layout=5.1"},
        {{"render", "Clip4_6", "six.wav", "c.aiff"}, "c.aiff", -1, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        const HostResult run = host(c.args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        if (c.mask >= 0) {
            EXPECT_EQ(wavChannelMask(fileBytes(folder.file(c.output))), c.mask);
        }
        if (c.probe != nullptr) {
            EXPECT_EQ(probeLayout(folder.file(c.output)), c.probe);
        }
        // Whatever the header says, the samples read back.
        EXPECT_EQ(readSound(folder.file(c.output)).frames(), 5000u);
    }
}

// --- messages -----------------------------------------------------------------------

TEST_F(Conventions, MessagesNameTheCommandItsHelpAndTheirUnits) {
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"lst"}, "unknown command 'lst' (list, info, render, upmix)"},
        {{"--library", "x.so", "rendr", "a", "b"},
         "unknown command 'rendr' (list, info, render, upmix)"},
        {{"render", "Clip4_6"}, "IN is required (see 'surround-host render --help')"},
        {{"render", "Clip4_6", "six.wav", "o.wav", "--bogus"},
         "The following argument was not expected: --bogus (see 'surround-host render --help')"},
        {{"upmix", "--gain", "loud"},
         "Could not convert: --gain = loud (see 'surround-host upmix --help')"},
        {{"--nothing"}, "The following argument was not expected: --nothing (see 'surround-host "
                        "--help')"},
        {{"render", "Slice4_6", "stereo.wav", "o.wav", "--set", "Stage One Humidity=2"},
         "'Stage One Humidity' takes 0 to 1 (1 = 100%), not 2 (--force sends it anyway)"},
        {{"render", "ConstantPowerPanner4_6", "mono.wav", "o.wav", "--set", "Pan Angle=181"},
         "'Pan Angle' takes -180 to 180 degrees, not 181 (--force sends it anyway)"},
        {{"render", "Clip4_6", "stereo.wav", "o.wav"},
         "Clip4_6 takes 6 input channels (LF in, RF in, C in, LFE in, LS in, RS in); "
         "'stereo.wav' has 2"},
        {{"upmix", "six.wav", "o.wav"}, "'six.wav' has 6 channels; upmix takes mono or stereo"},
        // Every module's FFT settings are checked, not only the spectral ones'.
        {{"render", "Clip4_6", "six.wav", "o.wav", "--fft-size", "999"},
         "FFT size 999 is not one of 512, 1024, 2048, 4096, 8192, 16384"},
        {{"render", "Clip4_6", "six.wav", "o.wav", "--overlap", "7"},
         "overlap 7 is not one of 2, 4, 8, 16"},
        {{"render", "ConstantPowerPanner4_6", "mono.wav", "o.wav", "--fft-size", "4000"},
         "FFT size 4000 is not one of 512, 1024, 2048, 4096, 8192, 16384"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const HostResult run = host(c.args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err, "surround-host: " + c.message + "\n");
        EXPECT_FALSE(fs::exists(folder.file("o.wav")));
    }
}

// --- settings that do nothing ---------------------------------------------------------

TEST_F(Conventions, SettingsThatDoNothingAreSaidSo) {
    const struct {
        std::vector<std::string> args;
        std::string warning;  // "" for none
    } cases[] = {
        {{"render", "Slice4_6", "stereo.wav", "o.wav", "--set", "Wrap Humidity=0.5"},
         "'Wrap Humidity' does nothing here: Slice4_6 keeps it switched off with these settings"},
        {{"render", "Slice4_6", "stereo.wav", "o.wav", "--set", "Wrap Humidity=0.5", "--set",
          "Wrap Rears=on"},
         ""},
        {{"render", "ArcTan4_6", "stereo.wav", "o.wav", "--set", "Rear Width=40"},
         "'Rear Width' does nothing here: ArcTan4_6 keeps it switched off with these settings"},
        {{"render", "ConstantPowerPanner4_6", "mono.wav", "o.wav", "--map", "magnitude=1"},
         "--map does nothing for Constant Power Panner 4.6: it has no spectral pins"},
        {{"render", "ConstantPowerPanner4_6", "mono.wav", "o.wav", "--phase-from", "L"},
         "--phase-from does nothing for Constant Power Panner 4.6: it has no spectral pins"},
        {{"render", "ConstantPowerPanner4_6", "mono.wav", "o.wav", "--fft-size", "1024"},
         "--fft-size does nothing for Constant Power Panner 4.6: it has no spectral pins and "
         "reports no FFT delay"},
        {{"render", "Clip4_6", "six.wav", "o.wav", "--fft-size", "1024"}, ""},
        {{"render", "Slice4_6", "stereo.wav", "o.wav", "--block", "64"},
         "--block does nothing for Slice4_6: the spectral path runs whole FFT frames"},
        {{"render", "ConstantPowerPanner4_6", "stereo.wav", "o.wav"},
         "channel 2 of 'stereo.wav' is not used"},
        {{"render", "Slice4_6", "eight.wav", "o.wav"},
         "channels 3\xe2\x80\x93" "8 of 'eight.wav' are not used"},
        // Channel 2 still gives the right side its phase.
        {{"render", "Slice4_6", "eight.wav", "o.wav", "--map", "magnitude=1,8"},
         "channels 3\xe2\x80\x93" "7 of 'eight.wav' are not used"},
        {{"upmix", "stereo.wav", "o.wav", "--method", "arctan", "--atf", "--set", "Mode=Across"},
         "'Mode' goes to ArcTan4_6 and ATF4_6: write MODULE:NAME (such as 'ATF4_6:Mode') to set "
         "one of them"},
        {{"upmix", "stereo.wav", "o.wav", "--method", "arctan", "--atf", "--set",
          "ATF4_6:Mode=Across"},
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.warning);
        const HostResult run = host(c.args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        // The modules' own overs (Slice4_6 lifts its fronts) are another matter.
        std::vector<std::string> warnings;
        for (const std::string& line : linesWith(run.err, "warning:")) {
            if (line.find("output samples") == std::string::npos) warnings.push_back(line);
        }
        if (c.warning.empty()) {
            EXPECT_TRUE(warnings.empty()) << run.err;
        } else {
            ASSERT_EQ(warnings.size(), 1u) << run.err;
            EXPECT_EQ(warnings[0], "surround-host: warning: " + c.warning);
        }
        EXPECT_TRUE(fs::exists(folder.file("o.wav")));
        fs::remove(folder.file("o.wav"));
    }
}

// --- what a run says ---------------------------------------------------------------------

TEST_F(Conventions, QuietKeepsErrorsAndWarningsAndSuccessSaysWhatWasWritten) {
    Sound hot = tone(6, 44100, 1000);
    hot.samples[60] = 1.5f;
    writeSound(folder.file("hot.wav"), hot);
    const HostResult quiet = host({"-q", "render", "Clip4_6", "hot.wav", "o.wav"});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(linesWith(quiet.err, "warning: clipping at 1 sample position").size(), 1u)
        << quiet.err;

    const HostResult normal = host({"render", "ConstantPowerPanner4_6", "mono.wav", "o.wav"});
    EXPECT_EQ(normal.exitCode, 0);
    EXPECT_EQ(normal.out,
              "wrote o.wav: 5 channels (LF, RF, C, LS, RS), 0.11 s at 44100 Hz, WAV, 32-bit float\n");
    const HostResult upmix = host({"upmix", "stereo.wav", "u.wav"});
    EXPECT_EQ(upmix.exitCode, 0);
    EXPECT_EQ(linesWith(upmix.out, "wrote u.wav").size(), 1u) << upmix.out;
    const HostResult quietUpmix = host({"upmix", "stereo.wav", "u.wav", "-q"});
    EXPECT_EQ(quietUpmix.out, "");
}

TEST_F(Conventions, VersionNamesTheProgramAndTheLibrary) {
    const HostResult run = host({"--version"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string library = fs::canonical(QUORVEIL_LIBRARY_PATH).string();
    EXPECT_EQ(run.out, "surround-host " QUORVEIL_VERSION "\nlibrary " + library + "\n");
}

TEST_F(Conventions, LibraryIsFoundRelativeToTheCurrentFolder) {
    fs::copy_file(QUORVEIL_LIBRARY_PATH, folder.file("mylib.so"));
    const HostResult run = host({"--library", "mylib.so", "list"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Clip4_6"), std::string::npos);
    const HostResult missing = host({"--library", "nolib.so", "list"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.err, "surround-host: library 'nolib.so' does not exist\n");
}

TEST_F(Conventions, HelpListsTheSharedOptionsAndWhatEachCommandTakes) {
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> mentions;
    } cases[] = {
        {{"--help"}, {"--version", "--library", "list", "info", "render", "upmix"}},
        {{"list", "--help"}, {"--library", "-q", "-v"}},
        {{"info", "--help"}, {"--library", "-q", "-v"}},
        {{"render", "--help"},
         {"--library", "-q", "-v", "-t,--type", "512, 1024, 2048, 4096, 8192 or 16384",
          "2, 4, 8 or 16"}},
        {{"upmix", "--help"}, {"--library", "-q", "-v", "-t,--type", "MODULE:NAME"}},
    };
    for (const auto& c : cases) {
        const HostResult run = host(c.args);
        EXPECT_EQ(run.exitCode, 0);
        for (const std::string& mention : c.mentions) {
            EXPECT_NE(run.out.find(mention), std::string::npos)
                << c.args[0] << " help lacks " << mention << "\n" << run.out;
        }
    }
}

// The host owns its processing thread: subnormal samples are flushed there,
// so they cost no time (and read as zero).
TEST_F(Conventions, SubnormalSamplesAreFlushedToZeroInTheHostsProcessing) {
    Sound tiny{1, 44100, std::vector<float>(4000, 1e-40f)};
    writeSound(folder.file("tiny.wav"), tiny);
    const HostResult run = host({"render", "ConstantPowerPanner4_6", "tiny.wav", "o.wav", "-q"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Sound out = readSound(folder.file("o.wav"));
    for (float s : out.samples) ASSERT_EQ(s, 0.0f);
}

}  // namespace
}  // namespace quorveil::testing
