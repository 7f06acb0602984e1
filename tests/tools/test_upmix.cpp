// SPDX-License-Identifier: GPL-3.0-or-later
// The upmix as a job, through its C++ entry and through surround-host: the
// files it writes in every speaker layout, mono input, its options, and how
// bad input is refused. Where the sound goes is test_upmix_quality.cpp's; the engine's
// life cycle test_upmix_engine.cpp's.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <random>
#include <sstream>

#include "host/soundfiles/SoundFile.h"
#include "host/cli/DemoSignal.h"
#include "host/cli/UpmixJob.h"
#include "tests/tools/HostProcess.h"
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

// A dry source panned hard to one side comes out of the speakers its
// method gives that side as it went in (cc: its front and its surround,
// 40% and 60% of the power); a centred one out of FC with the power of both
// channels. The LFE stays silent without a cutoff.
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
            // The wrap-around method puts the sides behind the listener;
            // centre and surrounds shares them between front and surround.
            const bool side = p.speaker != FC;
            if (method == UpmixMethod::ArcTan && side) p.speaker = p.speaker == FL ? BL : BR;

            const int surround = method == UpmixMethod::CC && side ? (p.speaker == FL ? BL : BR) : -1;
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
            auto errorDb = [&](int speaker) {
                double error = 0.0, signal = 0.0;
                for (std::size_t t = 0; t < frames; ++t) {
                    const double expected = static_cast<double>(p.gain) * source[t];
                    const double d = data[t * 6 + static_cast<std::size_t>(speaker)] - expected;
                    error += d * d;
                    signal += expected * expected;
                }
                return 10.0 * std::log10(error / signal);
            };
            if (surround < 0) {
                EXPECT_LT(errorDb(p.speaker), -35.0);
                continue;
            }
            // cc: the front takes 40% of the source's power and the
            // surround 60%; a moment the onset detector takes for a hit
            // stays in front, so the split is held to within a few percent.
            auto energyOf = [&](int speaker) {
                double sum = 0.0;
                for (std::size_t t = 0; t < frames; ++t) sum += std::pow(double(data[t * 6 + std::size_t(speaker)]), 2);
                return sum;
            };
            double input = 0.0;
            for (std::size_t t = 0; t < frames; ++t) input += double(source[t]) * source[t];
            const double front = energyOf(p.speaker), behind = energyOf(surround);
            EXPECT_NEAR(10.0 * std::log10((front + behind) / input), 0.0, 0.1);
            EXPECT_NEAR(front / (front + behind), 0.4, 0.05);
        }
    }
}

// --lfe-mode, the limiter switch and --gain through the command line, as
// their help describes them.
TEST_F(Upmix, LfeModeLimiterAndGainDoWhatTheirHelpSays) {
    const std::size_t frames = 2 * 44100;
    // A 50 Hz and a 2 kHz tone, both centred.
    write("in.wav", 2, 44100, frames, [](std::size_t t, int) {
        const double time = static_cast<double>(t) / 44100.0;
        return static_cast<float>(0.2 * std::sin(2.0 * std::numbers::pi * 50.0 * time) +
                                  0.2 * std::sin(2.0 * std::numbers::pi * 2000.0 * time));
    });
    struct Result {
        double lfe = 0.0, mains = 0.0;  // mean squares
        float peak = 0.0f;              // of the fronts, FC's
        std::string out, err;
    };
    const auto run = [&](const std::string& options) {
        std::vector<std::string> args{"upmix", (dir / "in.wav").string(), (dir / "out.wav").string()};
        std::istringstream words(options);
        for (std::string word; words >> word;) args.push_back(word);
        const testing::HostRun host = testing::runHost(args);
        EXPECT_EQ(host.exitCode, 0) << host.err;
        const testing::Sound sound = testing::readSound((dir / "out.wav").string());
        Result r{0.0, 0.0, 0.0f, host.out, host.err};
        for (std::size_t t = 0; t < sound.frames(); ++t) {
            for (int c = 0; c < sound.channels; ++c) {
                const double s2 = static_cast<double>(sound.at(t, c)) * sound.at(t, c);
                (c == LFE ? r.lfe : r.mains) += s2 / static_cast<double>(frames);
            }
            r.peak = std::max(r.peak, std::fabs(sound.at(t, FC)));
        }
        return r;
    };
    const Result plain = run("");
    EXPECT_EQ(plain.lfe, 0.0);

    // The LFE takes the 50 Hz tone of both channels 10 dB down (mean
    // square 2 x 0.02 / 10); a copy leaves the mains both tones, a crossover
    // only the 2 kHz one.
    for (const auto& [mode, mainsPower] : {std::pair{"", 0.08}, std::pair{"--lfe-mode copy", 0.08},
                                           std::pair{"--lfe-mode crossover", 0.04}}) {
        SCOPED_TRACE(mode);
        const Result r = run(std::string("--lfe-cutoff 120 ") + mode);
        EXPECT_NEAR(r.lfe, 0.004, 0.0002);
        EXPECT_NEAR(r.mains, mainsPower, 0.002);
    }
    EXPECT_NEAR(run("--gain -6").peak / plain.peak, std::pow(10.0, -6.0 / 20.0), 1e-3);

    // 12 dB too loud: the limiter keeps every sample under full scale and
    // says how deep it went, which is how far over the peak would have been;
    // switched off, the overs stay in the float file and get the warning.
    const Result over = run("--gain 12 --no-limiter");
    EXPECT_GT(over.peak, 1.0f);
    EXPECT_NE(over.err.find("the output clips"), std::string::npos) << over.err;
    EXPECT_EQ(over.out.find("the limiter"), std::string::npos);
    EXPECT_EQ(run("--gain 12 --limiter off").peak, over.peak);
    const Result limited = run("--gain 12");
    EXPECT_LT(limited.peak, 1.0f);
    EXPECT_EQ(limited.err, "");
    unsigned long long samples = 0;
    double share = 0.0, depth = 0.0;
    const auto at = limited.out.find("the limiter lowered ");
    ASSERT_NE(at, std::string::npos) << limited.out;
    std::string line = limited.out.substr(at, limited.out.find('\n', at) - at);
    line.erase(std::remove(line.begin(), line.end(), ','), line.end());
    ASSERT_EQ(std::sscanf(line.c_str(), "the limiter lowered %llu samples (%lf%% of the output) by at most %lf dB",
                          &samples, &share, &depth), 3) << line;
    EXPECT_GT(samples, 0u);
    EXPECT_LE(samples, frames);
    EXPECT_NEAR(share, 100.0 * static_cast<double>(samples) / frames, 0.05);
    EXPECT_NEAR(depth, 20.0 * std::log10(over.peak / spectral::kLimiterCeiling), 0.2);
    EXPECT_EQ(run("").out.find("the limiter"), std::string::npos);
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

// Every layout in every container: the speakers as each format states them,
// read back by ffprobe, and the channels in file order (and, from a WAV, the
// speakers) read back by libsndfile, whatever the header: known or unknown
// length (RF64 that turns back into WAV), 16, 24 or 32-bit float.
TEST_F(Upmix, EveryLayoutReadsBackWithItsSpeakersInEveryContainer) {
    using spectral::SpeakerId;
    const std::map<std::string, std::string> ffmpegNames{
        {"3.0", "3.0"}, {"3.1", "3.1"}, {"4.0", "quad"}, {"5.0", "5.0"}, {"5.1", "5.1"}, {"7.1", "7.1"}};
    const std::map<SpeakerId, int> libraryNames{
        {SpeakerId::FL, SF_CHANNEL_MAP_LEFT},      {SpeakerId::FR, SF_CHANNEL_MAP_RIGHT},
        {SpeakerId::FC, SF_CHANNEL_MAP_CENTER},    {SpeakerId::LFE, SF_CHANNEL_MAP_LFE},
        {SpeakerId::BL, SF_CHANNEL_MAP_REAR_LEFT}, {SpeakerId::BR, SF_CHANNEL_MAP_REAR_RIGHT},
        {SpeakerId::SL, SF_CHANNEL_MAP_SIDE_LEFT}, {SpeakerId::SR, SF_CHANNEL_MAP_SIDE_RIGHT}};
    ASSERT_EQ(ffmpegNames.size(), spectral::speakerLayouts().size());
    struct Header {
        std::string bits;
        int64_t expectedFrames;
    };
    const std::map<std::string, std::vector<Header>> headers{
        {"wav", {{"", 1000}, {"", -1}, {"16", 1000}, {"24", -1}}},
        {"flac", {{"", 1000}, {"16", -1}}},
        {"aiff", {{"", 1000}, {"16", -1}, {"24", 1000}}}};
    constexpr int64_t kFrames = 1000;
    std::size_t turn = 0;
    for (const spectral::SpeakerLayout& layout : spectral::speakerLayouts()) {
        ++turn;
        for (const auto& [container, variants] : headers) {
            const Header& header = variants[turn % variants.size()];
            const std::string path = (dir / (std::string(layout.name) + "." + container)).string();
            SCOPED_TRACE(path + " " + header.bits + " " + std::to_string(header.expectedFrames));
            host::OutputFormat format = host::outputFormatFor(path, header.bits);
            format.speakers = fileSpeakers(layout);
            {
                // Channel c holds (c + 1) / 16, exact in every encoding.
                host::SoundFileWriter writer(path, format, layout.count, 48000, header.expectedFrames);
                std::vector<float> frames(static_cast<std::size_t>(layout.count * kFrames));
                for (std::size_t i = 0; i < frames.size(); ++i) {
                    frames[i] = static_cast<float>(i % static_cast<std::size_t>(layout.count) + 1) / 16.0f;
                }
                writer.write(frames.data(), kFrames);
                writer.commit();
            }
            EXPECT_EQ(testing::probeLayout(path), "channels=" + std::to_string(layout.count) +
                                                      "|channel_layout=" + ffmpegNames.at(layout.name));
            SF_INFO info{};
            SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
            ASSERT_NE(file, nullptr);
            std::vector<float> samples(static_cast<std::size_t>(info.channels * info.frames));
            sf_readf_float(file, samples.data(), info.frames);
            std::vector<int> map(static_cast<std::size_t>(info.channels));
            const bool mapped = sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                                           static_cast<int>(map.size() * sizeof(int))) == SF_TRUE;
            sf_close(file);
            ASSERT_EQ(info.channels, layout.count);
            EXPECT_EQ(info.frames, kFrames);
            for (std::size_t i = 0; i < samples.size(); ++i) {
                ASSERT_EQ(samples[i], static_cast<float>(i % map.size() + 1) / 16.0f) << i;
            }
            if (std::string(container) == "wav") {
                EXPECT_EQ(channelMask(path), layout.waveMask);
                ASSERT_TRUE(mapped);
                for (std::size_t c = 0; c < map.size(); ++c) {
                    EXPECT_EQ(map[c], libraryNames.at(layout.speakers[c].id)) << c;
                }
            }
        }
    }
    host::OutputFormat format;
    format.speakers = fileSpeakers(spectral::defaultLayout());
    EXPECT_THROW(host::SoundFileWriter((dir / "five.wav").string(), format, 5, 48000),
                 host::HostError);
}

// A mono source in every layout keeps its level in FC (in 4.0, half its
// power in each of FL and FR) and leaves every other speaker at least 60 dB
// down; the file is named after the layout, and the report and the lines
// after the job name it.
TEST_F(Upmix, MonoGoesToTheCentreOfEveryLayout) {
    using spectral::SpeakerId;
    const auto source = noise(44100 + 321, 11);
    const std::string in = write("voice.wav", 1, 44100, source.size(),
                                 [&](std::size_t t, int) { return source[t]; });
    double input = 0.0;
    for (float s : source) input += static_cast<double>(s) * s;
    for (const spectral::SpeakerLayout& layout : spectral::speakerLayouts()) {
        SCOPED_TRACE(layout.name);
        const bool centre = std::string(layout.name) != "4.0";
        const testing::HostRun run =
            testing::runHost({"upmix", in, "--layout", layout.name, "--report"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const fs::path out = dir / ("voice-" + std::string(layout.name) + ".wav");
        EXPECT_NE(run.out.find("wrote " + out.string() + ": " + layoutText(layout) + ", "),
                  std::string::npos) << run.out;
        EXPECT_NE(run.out.find(centre ? "mono input: upmixed to FC\n"
                                      : "mono input: upmixed to FL and FR\n"),
                  std::string::npos) << run.out;
        std::string columns;
        for (const spectral::SpeakerPosition& speaker : layout.positions()) {
            columns += std::string(7 - std::strlen(speaker.name), ' ') + speaker.name;
        }
        EXPECT_NE(run.out.find("  second" + columns + "\n"), std::string::npos) << run.out;

        const testing::Sound sound = testing::readSound(out.string());
        ASSERT_EQ(sound.channels, layout.count);
        ASSERT_EQ(sound.frames(), source.size());
        for (int c = 0; c < layout.count; ++c) {
            const SpeakerId id = layout.speakers[static_cast<std::size_t>(c)].id;
            double power = 0.0;
            for (std::size_t t = 0; t < sound.frames(); ++t) power += double(sound.at(t, c)) * sound.at(t, c);
            const double db = 10.0 * std::log10(std::max(power, 1e-30) / input);
            SCOPED_TRACE(layout.speakers[static_cast<std::size_t>(c)].name);
            if (centre ? id == SpeakerId::FC : id == SpeakerId::FL || id == SpeakerId::FR) {
                EXPECT_NEAR(db, centre ? 0.0 : -3.0103, 0.1);
            } else {
                EXPECT_LT(db, -60.0);
            }
        }
    }
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
    for (const char* option : {"--layout", "--lfe-mode", "--limiter", "--no-limiter"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    for (const spectral::SpeakerLayout& layout : spectral::speakerLayouts()) {
        EXPECT_NE(help.out.find(layoutText(layout) + ": " + layout.description), std::string::npos)
            << layout.name;
    }
}

TEST_F(Upmix, BadInputGetsOneLineExitTwoAndNoOutput) {
    const std::string stereo = write("stereo.wav", 2, 44100, 1000, [](std::size_t, int) { return 0.1f; });
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
        {"upmix six.wav out.wav", "'six.wav' has 6 channels; upmix takes mono or stereo"},
        {"upmix stereo.wav out.wav --layout 6.1", "unknown layout '6.1' (3.0, 3.1, 4.0, 5.0, 5.1, 7.1)"},
        {"upmix stereo.wav out.wav --lfe-mode bass", "unknown LFE mode 'bass' (copy, crossover)"},
        {"upmix stereo.wav out.wav --limiter maybe", "--limiter takes on or off, not 'maybe'"},
        {"upmix stereo.wav out.wav --limiter on --no-limiter", nullptr},
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
        EXPECT_EQ(left, (std::vector<std::string>{"fast.wav", "nan.wav", "six.wav",
                                                  "slow.wav", "stderr.txt", "stereo.wav"}));
    }
}

}  // namespace
}  // namespace quorveil::cli
