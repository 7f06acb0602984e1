// The stereo-to-5.1 upmix, through its C++ entry and through surround-host:
// where the sound goes, the file it writes, and how bad input is refused.
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
#include "host/cli/Upmix.h"
#include "tests/tools/ToolSupport.h"

namespace quorveil::spectral {
namespace {

using testing::moduleBuilt;

namespace fs = std::filesystem;

class Upmix : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        // One folder per process too: other checkouts may run these tests at the same time.
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

    UpmixOptions options(const std::string& input, const std::string& output = "out.wav") {
        UpmixOptions o;
        o.input = input;
        o.output = (dir / output).string();
        return o;
    }

    // The upmix as the command runs it, the report's lines into `report`.
    UpmixSummary upmix(const UpmixOptions& o, std::vector<std::string>* report = nullptr) {
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

double share(const UpmixSummary& summary, std::initializer_list<int> channels) {
    double total = 0.0, part = 0.0;
    for (double e : summary.energy) total += e;
    for (int c : channels) part += summary.energy[static_cast<std::size_t>(c)];
    return part / total;
}

enum { FL, FR, FC, LFE, BL, BR };

TEST_F(Upmix, SliceKeepsAHardLeftSourceLeftAndACentredOneInTheCentre) {
    REQUIRE_MODULE("Slice4_6");
    const auto source = noise(3 * 44100, 7);
    const struct {
        const char* name;
        float left, right;
        std::initializer_list<int> where;
        double atLeast;
    } cases[] = {
        {"left.wav", 1.0f, 0.0f, {FL, BL}, 0.95},
        {"right.wav", 0.0f, 1.0f, {FR, BR}, 0.95},
        {"centre.wav", 0.7f, 0.7f, {FC}, 0.90},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = write(c.name, 2, 44100, source.size(), [&](std::size_t t, int ch) {
            return source[t] * (ch == 0 ? c.left : c.right);
        });
        const UpmixSummary summary = upmix(options(in));
        EXPECT_EQ(summary.frames, source.size());
        EXPECT_GE(share(summary, c.where), c.atLeast);
        EXPECT_EQ(summary.energy[LFE], 0.0);
    }
}

TEST_F(Upmix, EveryMethodWritesSixAlignedChannelsOfTheInputsLength) {
    const std::size_t frames = 44100 + 123;
    const auto left = noise(frames, 1), right = noise(frames, 2);
    const std::string in = write("in.wav", 2, 44100, frames,
                                 [&](std::size_t t, int ch) { return ch == 0 ? left[t] : right[t]; });
    const struct {
        UpmixMethod method;
        bool atf;
        const char* module;
    } cases[] = {{UpmixMethod::Slice, false, "Slice4_6"},
                 {UpmixMethod::ArcTan, false, "ArcTan4_6"},
                 {UpmixMethod::CC, false, "CC4_6"},
                 {UpmixMethod::Slice, true, "ATF4_6"}};
    int ran = 0;
    for (const auto& c : cases) {
        if (!moduleBuilt(c.module) || (c.atf && !moduleBuilt("Slice4_6"))) continue;
        SCOPED_TRACE(c.module);
        UpmixOptions o = options(in);
        o.method = c.method;
        o.atf = c.atf;
        upmix(o);
        SF_INFO info{};
        SNDFILE* file = sf_open(o.output.c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(info.channels, 6);
        EXPECT_EQ(info.frames, static_cast<sf_count_t>(frames));
        EXPECT_EQ(info.samplerate, 44100);
        std::vector<float> data(frames * 6);
        sf_readf_float(file, data.data(), static_cast<sf_count_t>(frames));
        sf_close(file);
        for (float s : data) ASSERT_TRUE(std::isfinite(s));
        if (c.method == UpmixMethod::CC && !c.atf) {
            // The fronts carry L and R themselves, sample for sample.
            double error = 0.0;
            for (std::size_t t = 0; t < frames; ++t) {
                error = std::max(error, static_cast<double>(std::fabs(data[t * 6 + FL] - left[t])));
                error = std::max(error, static_cast<double>(std::fabs(data[t * 6 + FR] - right[t])));
            }
            EXPECT_LT(error, 1e-4);
        }
        ++ran;
    }
    if (ran == 0) GTEST_SKIP() << "no spectral module in this build of the library";
}

TEST_F(Upmix, LfeGainAndClippingFollowTheirOptions) {
    REQUIRE_MODULE("Slice4_6");
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

    UpmixOptions lfe = options(in, "lfe.wav");
    lfe.lfeCutoffHz = 120.0;
    const UpmixSummary withLfe = upmix(lfe);
    // L+R of the 50 Hz tone only: amplitude 0.4, so a mean square of 0.08.
    EXPECT_NEAR(withLfe.energy[LFE] / static_cast<double>(frames), 0.08, 0.01);

    UpmixOptions quiet = options(in, "quiet.wav");
    quiet.gainDb = -6.0;
    const UpmixSummary lower = upmix(quiet);
    EXPECT_NEAR(lower.peak[FC] / base.peak[FC], std::pow(10.0, -6.0 / 20.0), 1e-3);

    UpmixOptions loud = options(in, "loud.wav");
    loud.gainDb = 12.0;
    EXPECT_GT(upmix(loud).clippedSamples, 0u);
}

TEST_F(Upmix, ReportPrintsOneRowPerSecondOfOutput) {
    REQUIRE_MODULE("Slice4_6");
    const std::string in = write("in.wav", 2, 8000, 8000 * 2 + 4000,
                                 [](std::size_t t, int ch) { return ch == 0 && t < 8000 ? 0.5f : 0.0f; });
    UpmixOptions o = options(in);
    o.report = true;
    std::vector<std::string> rows;
    upmix(o, &rows);
    ASSERT_EQ(rows.size(), 5u);  // title, header, seconds 0-1, 1-2, 2-3
    EXPECT_NE(rows[1].find("FL     FR     FC    LFE     BL     BR"), std::string::npos);
    EXPECT_NE(rows[2].find("0-1"), std::string::npos);
    EXPECT_NE(rows[4].find("-inf"), std::string::npos);
}

TEST_F(Upmix, QuietSaysNothingButStillWritesTheFile) {
    REQUIRE_MODULE("Slice4_6");
    const std::string in = write("in.wav", 2, 8000, 4000,
                                 [](std::size_t t, int ch) { return ch == 0 ? 0.1f * static_cast<float>(t % 7) : 0.0f; });
    const std::string out = (dir / "quiet.wav").string();
    const auto run = testing::runHost({"upmix", in, out, "-q"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(fs::exists(out));
}

TEST_F(Upmix, DemoRendersSixChannelsOfItsLengthWithTheSurroundMask) {
    REQUIRE_MODULE("Slice4_6");
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

TEST_F(Upmix, BadInputGetsOneLineExitTwoAndNoOutput) {
    const std::string stereo = write("stereo.wav", 2, 44100, 1000, [](std::size_t, int) { return 0.1f; });
    write("mono.wav", 1, 44100, 1000, [](std::size_t, int) { return 0.1f; });
    write("six.wav", 6, 44100, 1000, [](std::size_t, int) { return 0.1f; });
    write("slow.wav", 2, 6000, 1000, [](std::size_t, int) { return 0.1f; });
    const char* cases[] = {
        "upmix mono.wav out.wav",
        "upmix six.wav out.wav",
        "upmix slow.wav out.wav",
        "upmix stereo.wav out.wav --fft 1000",
        "upmix stereo.wav out.wav --fft-size 32768",
        "upmix stereo.wav out.wav --lfe-cutoff -5",
        "upmix stereo.wav out.wav --set 'Clip4_6:Gain=1'",
        "upmix stereo.wav stereo.wav",
        "upmix stereo.wav out.mp3",
        "upmix stereo.wav out.wav --overlap 3",
        "upmix stereo.wav out.wav --method bogus",
        "upmix stereo.wav out.wav --set 'No Such Knob=1'",
        "upmix stereo.wav out.wav --phase-from FC=X",
        "upmix missing.wav out.wav",
        "upmix --fft 1000 out.wav",
    };
    for (const char* arguments : cases) {
        SCOPED_TRACE(arguments);
        std::string errors;
        EXPECT_EQ(host(arguments, errors), 2);
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(dir)) {
            left.push_back(entry.path().filename().string());
        }
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, (std::vector<std::string>{"mono.wav", "six.wav", "slow.wav", "stderr.txt",
                                                  "stereo.wav"}));
    }
}

}  // namespace
}  // namespace quorveil::spectral
