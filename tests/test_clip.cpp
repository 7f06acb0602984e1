// SPDX-License-Identifier: MIT
// Clip4_6 through the host's interface: pins, start, the FFT delay table, the
// six-channel pass-through and the clip indicator's host calls.
#include <cmath>
#include <limits>

#include "tests/support/LibraryFixture.h"

namespace quorveil::testing {
namespace {

using plogue::biduleSDK::HostOp;

struct ClipRun {
    std::unique_ptr<host::HostedInstance> clip = instanceOf("Clip4_6");
    plogue::biduleSDK::EngineInfo engine;
    host::ProcessBuffers buffers;

    ClipRun(int32_t blockSize, int32_t fftSize, int32_t overlap)
        : engine(host::makeEngineInfo(48000, blockSize, fftSize, overlap, 1)),
          buffers(clip->pinCounts(), engine) {
        clip->setEngineInfo(engine);
    }
    void process() { clip->process(buffers); }
};

TEST(Clip, NamesItsPinsInOrder) {
    auto clip = instanceOf("Clip4_6");
    EXPECT_EQ(clip->inputPinNames(),
              (std::vector<std::string>{"LF in", "RF in", "C in", "LFE in", "LS in", "RS in"}));
    EXPECT_EQ(clip->outputPinNames(), (std::vector<std::string>{"LF out", "RF out", "C out",
                                                                "LFE out", "LS out", "RS out",
                                                                "FFT Delay"}));
}

TEST(Clip, StartSendsTheInformationTextOnly) {
    auto clip = instanceOf("Clip4_6");
    clip->start();
    ASSERT_EQ(clip->serviceLog().size(), 1u);
    EXPECT_EQ(clip->serviceLog()[0].op, HostOp::SetTextValue);
    EXPECT_EQ(clip->serviceLog()[0].id, 1);
    EXPECT_EQ(clip->serviceLog()[0].text, "\nClip4_6 " QUORVEIL_VERSION ", quorveil.audio");
}

TEST(Clip, FftDelayFollowsTheTableForEverySizeAndOverlap) {
    const struct {
        int32_t fftSize, overlap;
        float delay;
    } cases[] = {
        {512, 2, 256},     {512, 4, 384},     {512, 8, 448},     {512, 16, 480},
        {512, 32, 0},      {1024, 2, 512},    {1024, 4, 768},    {1024, 8, 896},
        {1024, 16, 960},   {1024, 3, 0},      {2048, 2, 2048},   {2048, 4, 1536},
        {2048, 8, 1792},   {2048, 16, 1920},  {2048, 1, 0},      {4096, 2, 4096},
        {4096, 4, 4096},   {4096, 8, 3584},   {4096, 16, 3840},  {4096, 32, 0},
        {8192, 2, 8192},   {8192, 4, 8192},   {8192, 8, 8192},   {8192, 16, 7680},
        {8192, 32, 8192},  {8192, 0, 8192},   {16384, 2, 16384}, {16384, 16, 16384},
        {16384, 5, 16384}, {3000, 4, 0},      {0, 0, 0},         {-2048, 4, 0},
    };
    for (const auto& c : cases) {
        ClipRun run(5, c.fftSize, c.overlap);
        run.process();
        for (int i = 0; i < 5; ++i) {
            ASSERT_EQ(run.buffers.audioOut.pin(6)[i], c.delay)
                << "fftSize " << c.fftSize << " overlap " << c.overlap;
        }
    }
}

TEST(Clip, PassesSixChannelsThroughUnchanged) {
    ClipRun run(64, 1024, 4);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int k = 0; k < 6; ++k) {
        for (int i = 0; i < 64; ++i) {
            run.buffers.audioIn.pin(k)[i] = std::sin(0.1f * static_cast<float>(i + 7 * k)) * 0.9f;
        }
    }
    run.buffers.audioIn.pin(2)[5] = nan;
    run.buffers.audioIn.pin(4)[9] = -std::numeric_limits<float>::infinity();
    run.process();
    for (int k = 0; k < 6; ++k) {
        for (int i = 0; i < 64; ++i) {
            const float in = run.buffers.audioIn.pin(k)[i];
            const float out = run.buffers.audioOut.pin(k)[i];
            ASSERT_TRUE(out == in || (std::isnan(in) && std::isnan(out))) << k << "," << i;
        }
    }
    EXPECT_TRUE(run.clip->serviceLog().empty()) << "NaN and negative overs never light it";
}

TEST(Clip, PulsesTheIndicatorOncePerClippedSampleIndex) {
    const struct {
        const char* what;
        std::vector<std::pair<int, int>> hot;  // (channel, sample) set to the level
        float level;
        std::size_t expectedPulses;
    } cases[] = {
        {"exactly 1.0 on LFE", {{3, 4}}, 1.0f, 1},
        {"just below full scale", {{0, 0}, {5, 7}}, 0.99999994f, 0},
        {"several channels, one index", {{0, 2}, {1, 2}, {5, 2}}, 1.5f, 1},
        {"two indices", {{0, 2}, {1, 6}}, 1.0f, 2},
        {"negative overs do not count", {{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}}, -1.5f, 0},
        {"positive infinity", {{4, 0}}, std::numeric_limits<float>::infinity(), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClipRun run(8, 1024, 4);
        run.buffers.audioIn.fill(0.25f);
        for (auto [channel, sample] : c.hot) {
            run.buffers.audioIn.pin(channel)[sample] = c.level;
        }
        run.process();
        const auto& log = run.clip->serviceLog();
        ASSERT_EQ(log.size(), 2 * c.expectedPulses);
        for (std::size_t i = 0; i < log.size(); ++i) {
            EXPECT_EQ(log[i].op, HostOp::SetIntValue);
            EXPECT_EQ(log[i].id, 0);
            EXPECT_EQ(log[i].integer, i % 2 == 0 ? 0 : 1);
        }
    }
}

TEST(Clip, EmptyBlockWritesNothingAndCallsNothing) {
    ClipRun run(0, 1024, 4);
    run.process();
    EXPECT_TRUE(run.clip->serviceLog().empty());
}

TEST(Clip, NullPinTablesWriteNothing) {
    ClipRun run(4, 1024, 4);
    run.clip->block()->process(run.clip->block(), nullptr, run.buffers.audioOut.table(), nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    run.buffers.audioIn.fill(2.0f);
    run.clip->block()->process(run.clip->block(), run.buffers.audioIn.table(), nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(run.buffers.audioOut.pin(6)[0], 0.0f);
    EXPECT_TRUE(run.clip->serviceLog().empty());
}

}  // namespace
}  // namespace quorveil::testing
