// SPDX-License-Identifier: GPL-3.0-or-later
// What surround-host must never lose or spoil: its own input, the audio when
// a pipe of text closes, the truth about overs and short inputs, and the
// target file when a write fails or a signal ends the run. Samples that are
// not numbers never reach an output file.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/tools/HostProcess.h"

namespace quorveil::testing {
namespace {

Sound sine(int channels, int rate, std::size_t frames, float amplitude = 0.5f) {
    Sound sound{channels, rate, std::vector<float>(frames * static_cast<std::size_t>(channels))};
    for (std::size_t n = 0; n < frames; ++n) {
        for (int c = 0; c < channels; ++c) {
            sound.samples[n * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
                amplitude * static_cast<float>(std::sin(0.01 * static_cast<double>(n) * (c + 1)));
        }
    }
    return sound;
}

bool allFinite(const Sound& sound) {
    for (float s : sound.samples) {
        if (!std::isfinite(s)) return false;
    }
    return true;
}

float peakOf(const Sound& sound) {
    float peak = 0.0f;
    for (float s : sound.samples) peak = std::max(peak, std::fabs(s));
    return peak;
}

// --- the input is never the output -------------------------------------------

TEST(OwnInput, EveryPathToTheInputIsRefusedAndTheInputKept) {
    ScratchFolder folder;
    writeSound(folder.file("v.wav"), sine(1, 48000, 4000));
    writeSound(folder.file("st.wav"), sine(2, 48000, 4000));
    fs::create_symlink(folder.file("v.wav"), folder.file("link.wav"));
    fs::create_hard_link(folder.file("v.wav"), folder.file("hard.wav"));
    fs::create_hard_link(folder.file("st.wav"), folder.file("st-hard.wav"));
    const std::string original = fileBytes(folder.file("v.wav"));
    const std::string stereo = fileBytes(folder.file("st.wav"));
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::string stdinFile;
    } cases[] = {
        {"the same name", {"render", "ConstantPowerPanner4_6", "v.wav", "v.wav"}, ""},
        {"through ./", {"render", "ConstantPowerPanner4_6", "v.wav", "./v.wav"}, ""},
        {"a symbolic link", {"render", "ConstantPowerPanner4_6", "v.wav", "link.wav"}, ""},
        {"a hard link", {"render", "ConstantPowerPanner4_6", "hard.wav", "v.wav"}, ""},
        {"the input on stdin", {"render", "ConstantPowerPanner4_6", "-", "v.wav"}, "v.wav"},
        {"a spectral render", {"render", "Slice4_6", "st.wav", "st-hard.wav"}, ""},
        {"upmix through a hard link", {"upmix", "st.wav", "st-hard.wav"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HostCall call;
        call.args = c.args;
        call.workingFolder = folder.path().string();
        call.stdinFile = c.stdinFile.empty() ? "" : folder.file(c.stdinFile);
        const auto before = folder.names();
        const HostResult run = callHost(call);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(linesWith(run.err, "would overwrite the input").size(), 1u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(folder.names(), before);
        EXPECT_TRUE(fileBytes(folder.file("v.wav")) == original) << "v.wav changed";
        EXPECT_TRUE(fileBytes(folder.file("st.wav")) == stereo) << "st.wav changed";
    }
}

// --- a closed pipe of text costs no audio -------------------------------------

TEST(ClosedText, AReaderThatStopsEarlyNeverCostsTheOutput) {
    ScratchFolder folder;
    // 100 s at 8 kHz: the per-second report outgrows stdio's buffer, so it
    // reaches the closed pipe while the upmix still runs.
    writeSound(folder.file("long.wav"), sine(2, 8000, 8000 * 100, 0.1f));
    writeSound(folder.file("eight.wav"), sine(8, 48000, 48000));
    const struct {
        const char* what;
        std::vector<std::string> args;
        bool stdoutClosed, stderrClosed;
        const char* output;
    } cases[] = {
        {"upmix --report | head -c 100",
         {"upmix", folder.file("long.wav"), folder.file("long-5.1.wav"), "--report"}, true, false,
         "long-5.1.wav"},
        {"a warning into a closed stderr",
         {"render", "Slice4_6", folder.file("eight.wav"), folder.file("sliced.wav")}, false, true,
         "sliced.wav"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HostCall call;
        call.args = c.args;
        if (c.stdoutClosed) call.stdoutKeep = 100;
        call.stderrClosedEarly = c.stderrClosed;
        const HostResult run = callHost(call);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        ASSERT_TRUE(fs::exists(folder.file(c.output)));
        EXPECT_GT(readSound(folder.file(c.output)).frames(), 0u);
        EXPECT_FALSE(holdsTemporaryFile(folder.path().string()));
    }
}

// --- overs are reported ---------------------------------------------------------

TEST(Overs, RenderCountsSamplesAboveFullScaleWithTheirPeak) {
    ScratchFolder folder;
    Sound hot = sine(6, 48000, 2000);
    hot.samples[100 * 6 + 0] = 1.5f;   // +3.5 dBFS
    hot.samples[200 * 6 + 1] = -1.25f;  // negative overs count too
    hot.samples[300 * 6 + 4] = 1.1f;
    writeSound(folder.file("hot.wav"), hot);
    writeSound(folder.file("clean.wav"), sine(6, 48000, 2000));
    Sound loudMono = sine(1, 48000, 2000, 1.6f);  // the panner keeps C at 1.0
    writeSound(folder.file("mono.wav"), loudMono);
    // The panner at 0 degrees gives C the input unchanged and RF a trace of it.
    std::size_t monoOvers = 0;
    for (float s : loudMono.samples) monoOvers += std::fabs(s) > 1.0f ? 1 : 0;
    const std::string overs = std::to_string(monoOvers);
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::string warning;  // "" for none
    } cases[] = {
        {"float above 0 dBFS",
         {"render", "ConstantPowerPanner4_6", "mono.wav", "out.wav"},
         "surround-host: warning: " + overs + " output samples are above 0 dBFS (peak +4.1 "
         "dBFS): 32-bit float keeps them, but they clip when played or converted to integer "
         "samples"},
        {"16-bit saturates",
         {"render", "ConstantPowerPanner4_6", "mono.wav", "out.wav", "--bits", "16"},
         "surround-host: warning: " + overs + " output samples clipped at full scale (peak +4.1 "
         "dBFS): 16-bit samples cannot hold them; --bits 32f keeps them"},
        {"six channels, three overs, in FLAC",
         {"render", "Clip4_6", "hot.wav", "out.flac"},
         "surround-host: warning: 3 output samples clipped at full scale (peak +3.5 dBFS): "
         "24-bit samples cannot hold them; use WAV or AIFF with --bits 32f to keep them"},
        {"a clean render says nothing of overs", {"render", "Clip4_6", "clean.wav", "out.aiff",
                                                  "--bits", "16"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HostCall call;
        call.args = c.args;
        call.workingFolder = folder.path().string();
        const HostResult run = callHost(call);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const auto lines = linesWith(run.err, "output sample");
        if (c.warning.empty()) {
            EXPECT_TRUE(lines.empty()) << run.err;
        } else {
            ASSERT_EQ(lines.size(), 1u) << run.err;
            EXPECT_EQ(lines[0], c.warning);
        }
    }
}

// --- short inputs are reported ---------------------------------------------------

// Cuts `path` to `bytes`, as a copy interrupted half-way leaves it.
void truncate(const std::string& path, std::size_t bytes) {
    const std::string whole = fileBytes(path);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << whole.substr(0, bytes);
}

TEST(ShortInput, APrematureEndIsAWarningAndTheOutputHoldsWhatWasThere) {
    ScratchFolder folder;
    const Sound five = sine(1, 8000, 40000);  // 5 s
    const struct {
        const char* name;
        int format;
        std::size_t keep;
        bool throughPipe;
    } cases[] = {
        {"cut.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44 + 2 * 13600, false},
        {"cut.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 54 + 2 * 13600, false},
        {"cut.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 12000, false},
        {"piped.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44 + 2 * 13600, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeSound(folder.file(c.name), five, c.format);
        truncate(folder.file(c.name), c.keep);
        HostCall call;
        call.args = {"render", "ConstantPowerPanner4_6", c.throughPipe ? "-" : folder.file(c.name),
                     folder.file("out.wav")};
        if (c.throughPipe) call.stdinPipe = fileBytes(folder.file(c.name));
        const HostResult run = callHost(call);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const auto lines = linesWith(run.err, "premature end of file");
        ASSERT_EQ(lines.size(), 1u) << run.err;
        EXPECT_NE(lines[0].find("its header declares 5.000 s"), std::string::npos) << lines[0];
        const Sound out = readSound(folder.file("out.wav"));
        EXPECT_GT(out.frames(), 0u);
        EXPECT_LT(out.frames(), 40000u);
        if (std::string(c.name).find(".wav") != std::string::npos) {
            EXPECT_EQ(out.frames(), 13600u);
        }
    }
    // A whole file says nothing, and neither does a stream whose header
    // leaves its length open (0xFFFFFFFF), as ffmpeg writes into a pipe.
    writeSound(folder.file("whole.wav"), five, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const HostRun whole = runHost({"render", "ConstantPowerPanner4_6", folder.file("whole.wav"),
                                   folder.file("out.wav"), "-q"});
    EXPECT_EQ(whole.exitCode, 0);
    EXPECT_EQ(whole.err, "");
    std::string open = fileBytes(folder.file("whole.wav"));
    ASSERT_EQ(open.substr(36, 4), "data");
    open.replace(4, 4, "\xFF\xFF\xFF\xFF");
    open.replace(40, 4, "\xFF\xFF\xFF\xFF");
    HostCall piped;
    piped.args = {"render", "ConstantPowerPanner4_6", "-", folder.file("out.wav"), "-q"};
    piped.stdinPipe = open;
    const HostResult openRun = callHost(piped);
    EXPECT_EQ(openRun.exitCode, 0);
    EXPECT_EQ(openRun.err, "");
    EXPECT_EQ(readSound(folder.file("out.wav")).frames(), 40000u);
}

// --- samples that are not numbers ------------------------------------------------

TEST(NotANumber, InputIsReadAsSilenceCountedOnceAndNeverBurstsInTheOutput) {
    ScratchFolder folder;
    Sound mono = sine(1, 44100, 30000, 0.25f);
    Sound stereo = sine(2, 44100, 30000, 0.25f);
    for (Sound* sound : {&mono, &stereo}) {
        sound->samples[1000] = std::numeric_limits<float>::quiet_NaN();
        sound->samples[5001] = std::numeric_limits<float>::infinity();
        sound->samples[9002] = -std::numeric_limits<float>::infinity();
    }
    writeSound(folder.file("mono.wav"), mono);
    writeSound(folder.file("stereo.wav"), stereo);
    const struct {
        const char* what;
        std::vector<std::string> args;
    } cases[] = {
        {"the audio path", {"render", "ConstantPowerPanner4_6", "mono.wav", "out.wav"}},
        {"the spectral path, 16-bit", {"render", "Slice4_6", "stereo.wav", "out.wav", "--bits",
                                       "16"}},
        {"the spectral path, float", {"render", "CC4_6", "stereo.wav", "out.wav"}},
        {"upmix", {"upmix", "stereo.wav", "out.wav"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HostCall call;
        call.args = c.args;
        call.workingFolder = folder.path().string();
        const HostResult run = callHost(call);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const auto lines = linesWith(run.err, "not numbers");
        ASSERT_EQ(lines.size(), 1u) << run.err;
        EXPECT_NE(lines[0].find("3 samples that were not numbers were read as silence"),
                  std::string::npos)
            << lines[0];
        const Sound out = readSound(folder.file("out.wav"));
        EXPECT_TRUE(allFinite(out));
        // Nothing near full scale: the input never exceeds 0.25 per channel.
        EXPECT_LT(peakOf(out), 0.9f);
    }
}

// One sample far beyond any mix (1e20, the float's largest) is read as
// silence, as a NaN is: squared in a bin it would overflow the upmix's
// averages and silence everything after it.
TEST(HugeSample, IsReadAsSilenceAndTheRestOfTheSoundSurvives) {
    ScratchFolder folder;
    for (float huge : {1e20f, std::numeric_limits<float>::max(), -3e6f}) {
        SCOPED_TRACE(huge);
        Sound stereo = sine(2, 44100, 44100 * 4, 0.25f);
        stereo.samples[2 * 44100] = huge;  // at 1 s, left
        writeSound(folder.file("huge.wav"), stereo);
        const struct {
            const char* what;
            std::vector<std::string> args;
        } cases[] = {
            {"upmix", {"upmix", "huge.wav", "out.wav"}},
            {"a spectral render", {"render", "Slice4_6", "huge.wav", "out.wav"}},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.what);
            HostCall call;
            call.args = c.args;
            call.workingFolder = folder.path().string();
            const HostResult run = callHost(call);
            ASSERT_EQ(run.exitCode, 0) << run.err;
            EXPECT_EQ(linesWith(run.err, "1 sample that was beyond +120 dBFS was read as silence")
                          .size(),
                      1u)
                << run.err;
            EXPECT_TRUE(linesWith(run.err, "written as silence").empty()) << run.err;
            const Sound out = readSound(folder.file("out.wav"));
            ASSERT_TRUE(allFinite(out));
            EXPECT_LT(peakOf(out), 0.9f);
            // The last second still carries the sine.
            double energy = 0.0;
            for (std::size_t i = out.samples.size() - 44100u * 6u; i < out.samples.size(); ++i) {
                energy += static_cast<double>(out.samples[i]) * out.samples[i];
            }
            EXPECT_GT(energy, 100.0);
        }
    }
}

// Values outside a parameter's range reach the modules as delivered
// (--force), and some of them make a module compute samples that are not
// numbers. The last guard writes those as silence, the warning says why,
// and the exit status 1 says the output is not what the module gave.
TEST(OutOfRangeValues, TheLastGuardMendsTheOutputAndTheRunEndsWithOne) {
    ScratchFolder folder;
    writeSound(folder.file("mono.wav"), sine(1, 44100, 20000, 0.25f));
    writeSound(folder.file("stereo.wav"), sine(2, 44100, 20000, 0.25f));
    const struct {
        const char* module;
        const char* input;
        const char* setting;
    } cases[] = {
        {"Slice4_6", "stereo.wav", "Stage One Humidity=1e30"},
        {"CC4_6", "stereo.wav", "Rear Humidity=-1e300"},
        {"ArcTan4_6", "stereo.wav", "Total Image Width=1e300"},
        {"ArcTan4_6", "stereo.wav", "Mag/Freq Ratio=1e300"},
        {"ConstantPowerPanner4_6", "mono.wav", "Pan Angle=-1e300"},
        {"ConstantPowerPanner4_6", "mono.wav", "RF Speaker Angle=-1e300"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        for (const char* bits : {"32f", "16"}) {
            HostCall call;
            call.args = {"render", c.module, c.input, "out.wav", "--bits", bits, "--force",
                         "--set", c.setting};
            call.workingFolder = folder.path().string();
            const HostResult run = callHost(call);
            EXPECT_EQ(run.exitCode, 1) << run.err;
            const auto lines = linesWith(run.err, "were written as silence");
            ASSERT_EQ(lines.size(), 1u) << run.err;
            EXPECT_NE(lines[0].find("that were not numbers were written as silence: values "
                                    "outside their declared ranges (--force) made the modules "
                                    "compute them"),
                      std::string::npos)
                << lines[0];
            EXPECT_TRUE(allFinite(readSound(folder.file("out.wav"))));
        }
    }
}

// --- what cannot be decoded, and what holds nothing ---------------------------

// The byte offsets of FLAC frame headers (sync code 0xFFF8) in a file.
std::vector<std::size_t> flacFrames(const std::string& bytes) {
    std::vector<std::size_t> frames;
    for (std::size_t i = 4; i + 1 < bytes.size(); ++i) {
        if (static_cast<unsigned char>(bytes[i]) == 0xFF &&
            static_cast<unsigned char>(bytes[i + 1]) == 0xF8) {
            frames.push_back(i);
        }
    }
    return frames;
}

// Every 50th byte from `from` on flipped: a decoder that cannot follow.
std::string spoiled(std::string bytes, std::size_t from) {
    for (std::size_t i = from; i < bytes.size(); i += 50) bytes[i] = static_cast<char>(bytes[i] ^ 0x55);
    return bytes;
}

TEST(Undecodable, NothingDecodedIsAnErrorAndAPartialDecodeSaysWhatWasLost) {
    ScratchFolder folder;
    const Sound two = sine(2, 48000, 9600);  // 0.2 s
    writeSound(folder.file("whole.ogg"), two, SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    writeSound(folder.file("whole.flac"), two, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    // Ogg pages whose payload no longer matches their checksum.
    std::string ogg = fileBytes(folder.file("whole.ogg"));
    for (std::size_t at = ogg.find("OggS", 100); at != std::string::npos; at = ogg.find("OggS", at + 4)) {
        ogg[at + 40] = static_cast<char>(ogg[at + 40] ^ 0xFF);
    }
    std::ofstream(folder.file("checksums.ogg"), std::ios::binary) << ogg;
    const std::string flac = fileBytes(folder.file("whole.flac"));
    const auto frames = flacFrames(flac);
    ASSERT_GE(frames.size(), 2u);
    std::ofstream(folder.file("nosync.flac"), std::ios::binary) << spoiled(flac, frames[0]);
    std::ofstream(folder.file("halfway.flac"), std::ios::binary) << spoiled(flac, frames[1]);

    const struct {
        const char* input;
        int exitCode;
        std::string line;  // the error, or the warning
    } cases[] = {
        {"checksums.ogg", 2, "surround-host: cannot read input 'checksums.ogg': the decoder gave no samples"},
        {"nosync.flac", 2,
         "surround-host: cannot read input 'nosync.flac': the decoder gave no samples of the "
         "0.200 s its header declares (flac decoder lost sync)"},
        {"halfway.flac", 0,
         "surround-host: warning: input 'halfway.flac' ends after 0.085 s, though its header "
         "declares 0.200 s (premature end of file: flac decoder lost sync): 0.115 s lost"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        std::ofstream(folder.file("out.wav")) << "keep me";
        for (const char* command : {"upmix", "render"}) {
            HostCall call;
            call.args = std::string(command) == "upmix"
                            ? std::vector<std::string>{"upmix", c.input, "out.wav", "-q"}
                            : std::vector<std::string>{"render", "CC4_6", c.input, "out.wav", "-q"};
            call.workingFolder = folder.path().string();
            const HostResult run = callHost(call);
            EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
            EXPECT_EQ(run.err, c.line + "\n");
            if (c.exitCode != 0) {
                EXPECT_EQ(readText(folder.file("out.wav")), "keep me");
            } else {
                EXPECT_EQ(readSound(folder.file("out.wav")).frames(), 4096u);
            }
        }
    }
}

// An input without frames makes an output without frames, which its
// format's readers still open, and which replaces the target only then.
TEST(EmptyJob, WritesAFileThatOpensInEveryFormat) {
    ScratchFolder folder;
    writeSound(folder.file("empty-stereo.wav"), Sound{2, 48000, {}});
    writeSound(folder.file("empty-six.wav"), Sound{6, 48000, {}});
    const struct {
        std::vector<std::string> args;
        const char* output;  // "-": the stream on stdout
        int channels;
    } cases[] = {
        {{"upmix", "empty-stereo.wav", "good.flac"}, "good.flac", 6},
        {{"upmix", "empty-stereo.wav", "good.aiff"}, "good.aiff", 6},
        {{"upmix", "empty-stereo.wav", "good.wav"}, "good.wav", 6},
        {{"render", "Clip4_6", "empty-six.wav", "good.flac", "--bits", "16"}, "good.flac", 7},
        {{"render", "Slice4_6", "empty-stereo.wav", "good.flac"}, "good.flac", 5},
        {{"upmix", "empty-stereo.wav", "-", "-t", "flac"}, "-", 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " to " + c.output);
        writeSound(folder.file("good.flac"), sine(2, 48000, 4000), SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
        HostCall call;
        call.args = c.args;
        call.workingFolder = folder.path().string();
        const HostResult run = callHost(call);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        std::string written = folder.file(c.output);
        if (std::string(c.output) == "-") {
            written = folder.file("stream.flac");
            std::ofstream(written, std::ios::binary) << run.out;
        }
        const Sound out = readToTheEnd(written);
        EXPECT_EQ(out.channels, c.channels);
        EXPECT_EQ(out.frames(), 0u);
        EXPECT_EQ(out.sampleRate, 48000);
    }
}

// --- failing writes and signals ---------------------------------------------------

TEST(FailedWrite, AFullDiskOrFileSizeLimitIsAnErrorThatLeavesNothingBehind) {
    ScratchFolder folder;
    writeSound(folder.file("six.wav"), sine(6, 48000, 48000 * 3, 0.3f));
    for (const char* name : {"out.wav", "out.flac", "out.aiff"}) {
        SCOPED_TRACE(name);
        std::ofstream(folder.file(name)) << "keep me";
        HostCall call;
        call.args = {"render", "Clip4_6", folder.file("six.wav"), folder.file(name)};
        call.fileSizeLimit = 256 * 1024;
        const HostResult run = callHost(call);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err, "surround-host: cannot write '" + folder.file(name) +
                               "': File too large\n");
        EXPECT_EQ(readText(folder.file(name)), "keep me");
        EXPECT_FALSE(holdsTemporaryFile(folder.path().string()));
    }
    // A stream into a full device says so too.
    HostCall full;
    full.args = {"render", "Clip4_6", folder.file("six.wav"), "-", "-t", "wav"};
    full.stdoutFile = "/dev/full";
    const HostResult run = callHost(full);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "surround-host: cannot write '-': No space left on device\n");
}

// A minute-long render over an OUT that holds "keep me", sent `signal` as
// soon as its temporary file appears in the folder.
HostResult renderInterruptedBy(const ScratchFolder& folder, int signal) {
    std::ofstream(folder.file("out.wav")) << "keep me";
    HostCall call;
    call.args = {"-q", "render", "Clip4_6", folder.file("long.wav"), folder.file("out.wav")};
    call.signalOnTemporary = signal;
    call.watchFolder = folder.path().string();
    return callHost(call);
}

TEST(Signals, EveryCatchableEndTakesTheTemporaryFileWithIt) {
    ScratchFolder folder;
    writeSound(folder.file("long.wav"), sine(6, 48000, 48000 * 60, 0.3f));
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT, SIGUSR1, SIGALRM}) {
        SCOPED_TRACE(strsignal(signal));
        const HostResult run = renderInterruptedBy(folder, signal);
        if (run.exitCode == 0) {
            GTEST_SKIP() << "the render finished before the signal";
        }
        EXPECT_EQ(run.exitCode, 128 + signal);
        EXPECT_FALSE(holdsTemporaryFile(folder.path().string()));
        EXPECT_EQ(readText(folder.file("out.wav")), "keep me");
    }
}

// SIGKILL cannot be caught: what is being written must be nothing a user
// ever sees. And a hidden file that a killed writer of another kind left
// behind (a file system without unnamed files) goes with the next run in
// that folder; one of a writer still running stays.
TEST(Signals, AKillLeavesNothingAndLeftoversOfDeadWritersGo) {
    ScratchFolder folder;
    writeSound(folder.file("long.wav"), sine(6, 48000, 48000 * 60, 0.3f));
    const HostResult killed = renderInterruptedBy(folder, SIGKILL);
    if (killed.exitCode == 0) {
        GTEST_SKIP() << "the render finished before the signal";
    }
    EXPECT_EQ(killed.exitCode, 128 + SIGKILL);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"long.wav", "out.wav"}));
    EXPECT_EQ(readText(folder.file("out.wav")), "keep me");

    // A process that has ended, and this test's own, which runs.
    const pid_t dead = ::fork();
    if (dead == 0) ::_exit(0);
    ::waitpid(dead, nullptr, 0);
    const std::string deadLeftover = ".song.wav.partial-" + std::to_string(dead) + "-0";
    const std::string liveLeftover = ".song.wav.partial-" + std::to_string(::getpid()) + "-0";
    std::ofstream(folder.file(deadLeftover)) << "half a file";
    std::ofstream(folder.file(liveLeftover)) << "being written";
    writeSound(folder.file("short.wav"), sine(1, 48000, 4800));
    const HostRun run = runHost({"-q", "render", "ConstantPowerPanner4_6", folder.file("short.wav"),
                                 folder.file("panned.wav")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(folder.names(), (std::vector<std::string>{liveLeftover, "long.wav", "out.wav",
                                                        "panned.wav", "short.wav"}));
}

TEST(Signals, ASignalIgnoredByTheCallerStaysIgnored) {
    // nohup starts a program with SIGHUP ignored; a hang-up must not end it.
    ScratchFolder folder;
    writeSound(folder.file("in.wav"), sine(6, 48000, 48000 * 20, 0.3f));
    HostCall call;
    call.args = {"-q", "render", "Clip4_6", folder.file("in.wav"), folder.file("out.wav")};
    call.ignoredSignals = {SIGHUP};
    call.signalOnTemporary = SIGHUP;
    call.watchFolder = folder.path().string();
    const HostResult run = callHost(call);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readSound(folder.file("out.wav")).frames(), 48000u * 20);
}

}  // namespace
}  // namespace quorveil::testing
