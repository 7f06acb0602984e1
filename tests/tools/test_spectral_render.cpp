// Spectral modules rendered over a stream: pin mapping, phase references by
// output name, and agreement with the upmix built from the same module.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <filesystem>
#include <random>
#include <sstream>

#include "host/HostedInstance.h"
#include "host/spectral/SpectralRender.h"
#include "host/spectral/Upmix.h"

namespace quorveil::spectral {
namespace {

bool moduleBuilt(const host::PluginLibrary& library, const std::string& className) {
    try {
        host::HostedInstance instance(library, "audio.quorveil." + className);
        return true;
    } catch (const host::HostError&) {
        return false;
    }
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

TEST(SpectralRender, RefusesMapsThatNameMissingChannels) {
    host::PluginLibrary library(QUORVEIL_LIBRARY_PATH);
    if (!moduleBuilt(library, "ATF4_6")) GTEST_SKIP() << "ATF4_6 is not built";
    SpectralRenderOptions options;
    options.inputChannels = 2;  // ATF4_6 wants five magnitude inputs
    EXPECT_THROW(SpectralRender(library, "ATF4_6", options), host::HostError);
    options.magnitudeMap = {0, 1, 0, 1, 0};
    SpectralRender render(library, "ATF4_6", options);
    EXPECT_EQ(render.outputChannels(), 5);
    EXPECT_EQ(render.outputNames()[0], "LF magnitude out");
    options.frequencyMap = {0, 2};
    EXPECT_THROW(SpectralRender(library, "ATF4_6", options), host::HostError);
    EXPECT_FALSE(isSpectralModule(library, "Clip4_6"));
    EXPECT_TRUE(isSpectralModule(library, "ATF4_6"));
}

TEST(SpectralRender, SliceRenderedAloneMatchesTheSliceUpmix) {
    host::PluginLibrary library(QUORVEIL_LIBRARY_PATH);
    if (!moduleBuilt(library, "Slice4_6")) GTEST_SKIP() << "Slice4_6 is not built";
    const std::size_t frames = 30000;
    std::mt19937 random(5);
    std::normal_distribution<float> normal(0.0f, 0.1f);
    std::vector<float> interleaved(frames * 2);
    for (float& s : interleaved) s = normal(random);

    const auto dir = std::filesystem::temp_directory_path() / "spectral-render-test";
    std::filesystem::create_directories(dir);
    const std::string in = (dir / "in.wav").string(), out = (dir / "out.wav").string();
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(in.c_str(), SFM_WRITE, &info);
    sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(frames));
    sf_close(file);
    UpmixOptions upmix;
    upmix.input = in;
    upmix.output = out;
    upmix.libraryPath = QUORVEIL_LIBRARY_PATH;
    std::ostringstream report;
    runUpmix(upmix, report);
    SF_INFO outInfo{};
    file = sf_open(out.c_str(), SFM_READ, &outInfo);
    std::vector<float> surround(frames * 6);
    sf_readf_float(file, surround.data(), static_cast<sf_count_t>(frames));
    sf_close(file);
    std::filesystem::remove_all(dir);

    SpectralRenderOptions options;
    options.settings.sampleRate = 44100;
    SpectralRender render(library, "Slice4_6", options);
    ASSERT_EQ(render.outputNames(), (std::vector<std::string>{"LF", "RF", "C", "LS", "RS"}));
    std::size_t position = 0;
    std::vector<std::vector<float>> rendered(5);
    const std::size_t length = render.run(
        [&](float* to, std::size_t n) {
            n = std::min(n, frames - position);
            std::copy_n(interleaved.data() + position * 2, n * 2, to);
            position += n;
            return n;
        },
        [&](const float* const* channels, std::size_t n) {
            for (std::size_t c = 0; c < 5; ++c) rendered[c].insert(rendered[c].end(), channels[c], channels[c] + n);
        });
    ASSERT_EQ(length, frames);
    const int fileChannel[5] = {0, 1, 2, 4, 5};  // FL FR FC BL BR
    for (std::size_t c = 0; c < 5; ++c) {
        ASSERT_EQ(rendered[c].size(), frames);
        for (std::size_t t = 0; t < frames; ++t) {
            ASSERT_NEAR(rendered[c][t], surround[t * 6 + static_cast<std::size_t>(fileChannel[c])], 1e-6f)
                << "channel " << c << " sample " << t;
        }
    }
}

}  // namespace
}  // namespace quorveil::spectral
