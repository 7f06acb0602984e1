// SPDX-License-Identifier: GPL-3.0-or-later
// The stereo-to-5.1 upmix as a job, through its C++ entry and through
// surround-host: the file it writes, its options, and how bad input is
// refused. Where the sound goes is test_upmix_quality.cpp's; the engine's
// life cycle test_upmix_engine.cpp's.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>

#include "host/soundfiles/SoundFile.h"
#include "host/cli/DemoSignal.h"
#include "host/cli/UpmixJob.h"
#include "tests/tools/ToolSupport.h"

namespace quorveil::cli {
namespace {

using spectral::UpmixMethod;

namespace fs = std::filesystem;

class Upmix : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        // The process id keeps runs from other checkouts on this machine apart.
        dir = fs::temp_directory_path() /
              ("upmix-" + std::to_string(::getpid()) + "-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Writes a file of `channels` channels; sample(t, c) gives each value.
    std::string write(const std::string& name, int channels, int rate, std::size_t frames,
                      const std::function<float(std::size_t, int)>& sample) {
        const std::string path = (dir / name).string();
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        EXPECT_NE(file, nullptr);
        std::vector<float> data(frames * static_cast<std::size_t>(channels));
        for (std::size_t t = 0; t < frames; ++t) {
            for (int c = 0; c < channels; ++c) data[t * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] = sample(t, c);
        }
        sf_writef_float(file, data.data(), static_cast<sf_count_t>(frames));
        sf_close(file);
        return path;
    }

    UpmixJob options(const std::string& input, const std::string& output = "out.wav") {
        UpmixJob o;
        o.input = input;
        o.output = (dir / output).string();
        return o;
    }

    // The upmix as the command runs it, the report's lines into `report`.
    UpmixSummary upmix(const UpmixJob& o, std::vector<std::string>* report = nullptr) {
        host::RenderObserver silent;
        return runUpmix(o, library, silent, [report](const std::string& line) {
            if (report != nullptr) report->push_back(line);
        });
    }

    host::PluginLibrary library{QUORVEIL_LIBRARY_PATH};

    // Runs surround-host; returns its exit code, with stderr in `errors`.
    int host(const std::string& arguments, std::string& errors) {
        const fs::path err = dir / "stderr.txt";
        const std::string command = "cd '" + dir.string() + "' && '" + SURROUND_HOST_PATH + "' " +
                                    arguments + " > /dev/null 2> '" + err.string() + "'";
        const int status = std::system(command.c_str());
        std::ifstream in(err);
        errors.assign(std::istreambuf_iterator<char>(in), {});
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

// WAVE_FORMAT_EXTENSIBLE's channel mask, 0x3F for FL FR FC LFE BL BR; 0
// without one.
uint32_t channelMask(const fs::path& path) {
    std::ifstream bytes(path, std::ios::binary);
    std::string header(200, '\0');
    bytes.read(header.data(), 200);
    const auto fmt = header.find("fmt ");
    uint32_t mask = 0;
    uint16_t tag = 0;
    if (fmt == std::string::npos) return 0;
    std::memcpy(&tag, header.data() + fmt + 8, 2);
    if (tag != 0xFFFE) return 0;
    std::memcpy(&mask, header.data() + fmt + 8 + 20, 4);
    return mask;
}

std::vector<float> noise(std::size_t length, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<float> normal(0.0f, 0.1f);
    std::vector<float> samples(length);
    for (float& s : samples) s = normal(random);
    return samples;
}

enum { FL, FR, FC, LFE, BL, BR };

// A dry source panned hard to one side comes out of that side's front
// speaker as it went in, whatever the method; a centred one out of FC with
// the power of both channels. The LFE stays silent without a cutoff.
TEST_F(Upmix, DrySourcesComeOutOfTheirSpeakerAsTheyWentIn) {
    const std::size_t frames = 44100 + 123;
    const auto source = noise(frames, 7);
    const struct {
        const char* file;
        float left, right;
        int speaker;
        float gain;  // speaker sample per source sample
    } positions[] = {
        {"left.wav", 1.0f, 0.0f, FL, 1.0f},
        {"right.wav", 0.0f, 1.0f, FR, 1.0f},
        {"centre.wav", 0.5f, 0.5f, FC, std::numbers::sqrt2_v<float> * 0.5f},
    };
    for (const UpmixMethod method : {UpmixMethod::Slice, UpmixMethod::ArcTan, UpmixMethod::CC}) {
        for (auto p : positions) {
            // The wrap-around method puts the sides behind the listener.
            if (method == UpmixMethod::ArcTan && p.speaker != FC) p.speaker = p.speaker == FL ? BL : BR;
            SCOPED_TRACE(std::string(spectral::methodName(method)) + " " + p.file);
            const std::string in = write(p.file, 2, 44100, frames, [&](std::size_t t, int ch) {
                return source[t] * (ch == 0 ? p.left : p.right);
            });
            UpmixJob o = options(in);
            o.setup.controls.method = method;
            const UpmixSummary summary = upmix(o);
            EXPECT_EQ(summary.frames, frames);
            EXPECT_EQ(summary.energy[LFE], 0.0);

            SF_INFO info{};
            SNDFILE* file = sf_open(o.output.c_str(), SFM_READ, &info);
            ASSERT_NE(file, nullptr);
            EXPECT_EQ(info.channels, 6);
            EXPECT_EQ(info.frames, static_cast<sf_count_t>(frames));
            std::vector<float> data(frames * 6);
            sf_readf_float(file, data.data(), static_cast<sf_count_t>(frames));
            sf_close(file);
            double error = 0.0, signal = 0.0;
            for (std::size_t t = 0; t < frames; ++t) {
                const double expected = static_cast<double>(p.gain) * source[t];
                const double d = data[t * 6 + static_cast<std::size_t>(p.speaker)] - expected;
                error += d * d;
                signal += expected * expected;
            }
            EXPECT_LT(10.0 * std::log10(error / signal), -35.0);
        }
    }
}

TEST_F(Upmix, LfeGainAndClippingFollowTheirOptions) {
    const std::size_t frames = 2 * 44100;
    // A 50 Hz and a 2 kHz tone, both centred.
    const std::string in = write("in.wav", 2, 44100, frames, [](std::size_t t, int) {
        const double time = static_cast<double>(t) / 44100.0;
        return static_cast<float>(0.2 * std::sin(2.0 * std::numbers::pi * 50.0 * time) +
                                  0.2 * std::sin(2.0 * std::numbers::pi * 2000.0 * time));
    });
    const UpmixSummary base = upmix(options(in, "plain.wav"));
    EXPECT_EQ(base.peak[LFE], 0.0f);
    EXPECT_EQ(base.clippedSamples, 0u);

    // The LFE takes the 50 Hz tone of both channels 10 dB down (mean
    // square 2 x 0.02 / 10); a copy leaves the mains both tones, a crossover
    // only the 2 kHz one.
    for (const auto& [mode, mainsPower] : {std::pair{spectral::LfeMode::Copy, 0.08},
                                           std::pair{spectral::LfeMode::Crossover, 0.04}}) {
        SCOPED_TRACE(spectral::lfeModeName(mode));
        UpmixJob lfe = options(in, "lfe.wav");
        lfe.setup.controls.lfeCutoffHz = 120.0;
        lfe.setup.controls.lfeMode = mode;
        const UpmixSummary withLfe = upmix(lfe);
        EXPECT_NEAR(withLfe.energy[LFE] / static_cast<double>(frames), 0.004, 0.0002);
        double mains = 0.0;
        for (int c : {FL, FR, FC, BL, BR}) mains += withLfe.energy[static_cast<std::size_t>(c)];
        EXPECT_NEAR(mains / static_cast<double>(frames), mainsPower, 0.002);
    }

    UpmixJob quiet = options(in, "quiet.wav");
    quiet.setup.controls.gainDb = -6.0;
    const UpmixSummary lower = upmix(quiet);
    EXPECT_NEAR(lower.peak[FC] / base.peak[FC], std::pow(10.0, -6.0 / 20.0), 1e-3);

    // 12 dB too loud: the limiter keeps every sample under full scale;
    // without it, Clip4_6 flags the overs.
    UpmixJob loud = options(in, "loud.wav");
    loud.setup.controls.gainDb = 12.0;
    const UpmixSummary limited = upmix(loud);
    EXPECT_EQ(limited.clippedSamples, 0u);
    EXPECT_LT(*std::max_element(limited.peak.begin(), limited.peak.end()), 1.0f);
    EXPECT_GT(limited.limiter.samples, 0u);
    loud.setup.controls.limiter = false;
    EXPECT_GT(upmix(loud).clippedSamples, 0u);
}

// The file job hides either latency: one thread and two write the same
// samples, as long as the input, for every method; a thread count the
// command does not offer is refused.
TEST_F(Upmix, OneThreadAndTwoWriteTheSameFile) {
    const std::size_t frames = 44100 + 777;
    const auto left = noise(frames, 8), right = noise(frames, 9);
    write("in.wav", 2, 44100, frames, [&](std::size_t t, int ch) {
        return ch == 0 ? left[t] : 0.5f * left[t] + 0.5f * right[t];
    });
    const auto samples = [&](const std::string& name) {
        SF_INFO info{};
        SNDFILE* file = sf_open((dir / name).c_str(), SFM_READ, &info);
        EXPECT_NE(file, nullptr);
        std::vector<float> data(static_cast<std::size_t>(info.frames) * 6);
        if (file != nullptr) {
            sf_readf_float(file, data.data(), info.frames);
            sf_close(file);
        }
        return data;
    };
    std::string errors;
    for (const char* method : {"slice --atf", "arctan", "cc --lfe-cutoff 100"}) {
        SCOPED_TRACE(method);
        const std::string common = std::string("upmix in.wav --method ") + method;
        ASSERT_EQ(host(common + " one.wav --threads 1", errors), 0) << errors;
        ASSERT_EQ(host(common + " two.wav --threads 2", errors), 0) << errors;
        const std::vector<float> one = samples("one.wav"), two = samples("two.wav");
        ASSERT_EQ(one.size(), frames * 6);
        EXPECT_EQ(std::memcmp(one.data(), two.data(), one.size() * sizeof(float)), 0);
    }
    EXPECT_EQ(host("upmix in.wav three.wav --threads 3", errors), 2);
    EXPECT_FALSE(fs::exists(dir / "three.wav"));
}

TEST_F(Upmix, ReportPrintsOneRowPerSecondOfOutput) {
    ASSERT_MODULE_LOADS("Slice4_6");
    const std::string in = write("in.wav", 2, 8000, 8000 * 2 + 4000,
                                 [](std::size_t t, int ch) { return ch == 0 && t < 8000 ? 0.5f : 0.0f; });
    UpmixJob o = options(in);
    o.report = true;
    std::vector<std::string> rows;
    upmix(o, &rows);
    ASSERT_EQ(rows.size(), 5u);  // title, header, seconds 0-1, 1-2, 2-3
    EXPECT_NE(rows[1].find("FL     FR     FC    LFE     BL     BR"), std::string::npos);
    EXPECT_NE(rows[2].find("0-1"), std::string::npos);
    EXPECT_NE(rows[4].find("-inf"), std::string::npos);
}

TEST_F(Upmix, QuietSaysNothingButStillWritesTheFile) {
    ASSERT_MODULE_LOADS("Slice4_6");
    const std::string in = write("in.wav", 2, 8000, 4000,
                                 [](std::size_t t, int ch) { return ch == 0 ? 0.01f * static_cast<float>(t % 7) : 0.0f; });
    const std::string out = (dir / "quiet.wav").string();
    const auto run = testing::runHost({"upmix", in, out, "-q"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(fs::exists(out));
}

TEST_F(Upmix, DemoRendersSixChannelsOfItsLengthWithTheSurroundMask) {
    ASSERT_MODULE_LOADS("Slice4_6");
    std::string errors;
    ASSERT_EQ(host("upmix", errors), 0) << errors;
    EXPECT_EQ(errors, "");  // no clipping warning
    const fs::path out = dir / kDemoFileName;
    SF_INFO info{};
    SNDFILE* file = sf_open(out.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    sf_close(file);
    EXPECT_EQ(info.channels, 6);
    EXPECT_EQ(info.frames, static_cast<sf_count_t>(DemoSignal::kLength));

    EXPECT_EQ(channelMask(out), 0x3Fu);
}

TEST_F(Upmix, SurroundFilesNameTheirSpeakersWhateverTheirHeader) {
    // Known length: WAVE_FORMAT_EXTENSIBLE; unknown: RF64 that turns back
    // into WAV on close; 16-bit would be plain WAV without the layout.
    const struct {
        std::string bits;
        int64_t expectedFrames;
    } cases[] = {{"", 1000}, {"", -1}, {"16", 1000}, {"24", -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bits + " " + std::to_string(c.expectedFrames));
        const std::string path = (dir / "surround.wav").string();
        host::OutputFormat format = host::outputFormatFor(path, c.bits);
        format.layout = host::ChannelLayout::Surround51;
        {
            host::SoundFileWriter writer(path, format, 6, 48000, c.expectedFrames);
            const std::vector<float> frames(6 * 1000, 0.25f);
            writer.write(frames.data(), 1000);
            writer.commit();
        }
        EXPECT_EQ(channelMask(path), 0x3Fu);
        SF_INFO info{};
        SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr);
        sf_close(file);
        EXPECT_EQ(info.frames, 1000);
    }
    host::OutputFormat format;
    format.layout = host::ChannelLayout::Surround51;
    EXPECT_THROW(host::SoundFileWriter((dir / "five.wav").string(), format, 5, 48000),
                 host::HostError);
}

// The control table is where options come from: each row's default lies in
// its range, and the command line offers it under its symbol.
TEST_F(Upmix, EveryControlOfTheTableIsAnOptionWithADefaultInRange) {
    const auto help = testing::runHost({"upmix", "--help"});
    ASSERT_EQ(help.exitCode, 0);
    for (const spectral::UpmixControlEntry& entry : spectral::upmixControlTable()) {
        SCOPED_TRACE(entry.symbol);
        EXPECT_TRUE(entry.accepts(entry.defaultValue()));
        EXPECT_EQ(entry.clamped(entry.defaultValue()), entry.defaultValue());
        EXPECT_NE(help.out.find(std::string("--") + entry.symbol), std::string::npos);
    }
}

TEST_F(Upmix, BadInputGetsOneLineExitTwoAndNoOutput) {
    const std::string stereo = write("stereo.wav", 2, 44100, 1000, [](std::size_t, int) { return 0.1f; });
    write("mono.wav", 1, 44100, 1000, [](std::size_t, int) { return 0.1f; });
    write("six.wav", 6, 44100, 1000, [](std::size_t, int) { return 0.1f; });
    write("slow.wav", 2, 6000, 1000, [](std::size_t, int) { return 0.1f; });
    // A header that declares 2^31 - 1 Hz: never a reason to allocate gigabytes.
    const std::string fast = write("fast.wav", 2, 48000, 1000, [](std::size_t, int) { return 0.1f; });
    {
        std::fstream bytes(fast, std::ios::in | std::ios::out | std::ios::binary);
        bytes.seekp(24);
        bytes.write("\xFF\xFF\xFF\x7F", 4);
    }
    // A sample that is not a number half-way: the output must not exist.
    write("nan.wav", 2, 44100, 30000,
          [](std::size_t t, int) { return t == 22050 ? NAN : 0.1f; });
    const struct {
        const char* arguments;
        const char* message;  // the line after "surround-host: ", where we word it
    } cases[] = {
        {"upmix mono.wav out.wav", "'mono.wav' has 1 channel; upmix takes stereo"},
        {"upmix six.wav out.wav", "'six.wav' has 6 channels; upmix takes stereo"},
        {"upmix slow.wav out.wav", "sample rate 6000 Hz is outside 8000 to 768000 Hz"},
        {"upmix fast.wav out.wav", "sample rate 2147483647 Hz is outside 8000 to 768000 Hz"},
        {"upmix stereo.wav out.wav --fft 1000", nullptr},
        {"upmix stereo.wav out.wav --fft-size 32768", nullptr},
        {"upmix stereo.wav out.wav --overlap 3", nullptr},
        {"upmix stereo.wav out.wav --lfe-cutoff -5",
         "--lfe-cutoff wants 20 to 500 Hz (or 0 for a silent LFE)"},
        {"upmix stereo.wav out.wav --lfe-cutoff 1000",
         "--lfe-cutoff wants 20 to 500 Hz (or 0 for a silent LFE)"},
        {"upmix stereo.wav out.wav --rear-delay -1", "--rear-delay wants 0 to 100 ms"},
        {"upmix stereo.wav out.wav --rear-delay 250", "--rear-delay wants 0 to 100 ms"},
        {"upmix stereo.wav out.wav --rear-delay nan", "--rear-delay wants 0 to 100 ms"},
        {"upmix stereo.wav out.wav --width 1.5", "--width wants 0 to 1"},
        {"upmix stereo.wav out.wav --width -0.1", "--width wants 0 to 1"},
        {"upmix stereo.wav out.wav --width nan", "--width wants 0 to 1"},
        {"upmix stereo.wav out.wav --ambience 20", "--ambience wants -60 to 12 dB"},
        {"upmix stereo.wav out.wav --centre -100", "--centre wants -60 to 12 dB"},
        {"upmix stereo.wav out.wav --center inf", "--centre wants -60 to 12 dB"},
        {"upmix stereo.wav out.wav --smooth 0", "--smooth wants 10 to 2000 ms"},
        {"upmix stereo.wav out.wav --gain 100", "--gain wants -120 to 60 dB"},
        {"upmix stereo.wav out.wav --gain -inf", "--gain wants -120 to 60 dB"},
        {"upmix stereo.wav out.wav --width", nullptr},
        {"upmix stereo.wav out.wav --set 'Clip4_6:Gain=1'", nullptr},
        {"upmix stereo.wav stereo.wav", nullptr},
        {"upmix stereo.wav out.mp3", nullptr},
        {"upmix stereo.wav out.wav --method bogus", "unknown upmix method 'bogus' (slice, arctan, cc)"},
        {"upmix stereo.wav out.wav --set 'No Such Knob=1'", nullptr},
        {"upmix stereo.wav out.wav --set 'Total Image Width=400'", nullptr},
        {"upmix missing.wav out.wav", nullptr},
        {"upmix --fft 1000 out.wav", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        std::string errors;
        EXPECT_EQ(host(c.arguments, errors), 2);
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        if (c.message != nullptr) {
            EXPECT_EQ(errors, std::string("surround-host: ") + c.message + "\n");
        }
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(dir)) {
            left.push_back(entry.path().filename().string());
        }
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, (std::vector<std::string>{"fast.wav", "mono.wav", "nan.wav", "six.wav",
                                                  "slow.wav", "stderr.txt", "stereo.wav"}));
    }
}

}  // namespace
}  // namespace quorveil::cli
