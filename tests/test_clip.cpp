// SPDX-License-Identifier: MIT
// Clip4_6 through the host's interface: pins, start, the FFT delay, the
// six-channel pass-through and the clip indicator's host calls.
#include <algorithm>
#include <cmath>
#include <iterator>
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
    EXPECT_EQ(clip->serviceLog()[0].text, "\nClip4_6.quorveil.audio");
}

// The latency of the host's spectral path, from how the host buffers it and
// independently of the module: for the overlaps the host offers (2, 4, 8,
// 16), one hop short of a whole frame, and a whole frame once a hop is 1024
// samples or more. Any other overlap: a whole frame for the two largest
// sizes, nothing below them. A size the host does not offer: nothing.
float hostFftDelay(int32_t fftSize, int32_t overlap) {
    constexpr int32_t kSizes[] = {512, 1024, 2048, 4096, 8192, 16384};
    if (std::find(std::begin(kSizes), std::end(kSizes), fftSize) == std::end(kSizes)) {
        return 0.0f;
    }
    if (overlap != 2 && overlap != 4 && overlap != 8 && overlap != 16) {
        return fftSize >= 8192 ? static_cast<float>(fftSize) : 0.0f;
    }
    const int32_t hop = fftSize / overlap;
    return static_cast<float>(hop >= 1024 ? fftSize : fftSize - hop);
}

TEST(Clip, FftDelayFollowsTheHostsLatencyForEverySizeAndOverlap) {
    // Worked figures first, so the rule above cannot drift unseen.
    EXPECT_EQ(hostFftDelay(2048, 4), 1536.0f);
    EXPECT_EQ(hostFftDelay(512, 16), 480.0f);
    EXPECT_EQ(hostFftDelay(2048, 2), 2048.0f);
    EXPECT_EQ(hostFftDelay(8192, 16), 7680.0f);
    EXPECT_EQ(hostFftDelay(8192, 32), 8192.0f);
    EXPECT_EQ(hostFftDelay(4096, 32), 0.0f);

    for (int32_t fftSize : {512, 1024, 2048, 4096, 8192, 16384, 0, -2048, 256, 3000, 32768}) {
        for (int32_t overlap : {2, 4, 8, 16, -4, 0, 1, 3, 5, 32}) {
            ClipRun run(5, fftSize, overlap);
            run.process();
            const float expected = hostFftDelay(fftSize, overlap);
            for (int i = 0; i < 5; ++i) {
                ASSERT_EQ(run.buffers.audioOut.pin(6)[i], expected)
                    << "fftSize " << fftSize << " overlap " << overlap;
            }
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
