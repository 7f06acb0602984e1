// SPDX-License-Identifier: MIT
// Clip4_6's block pass-through against the sample-by-sample loop it replaces,
// for every way a host may lay its pins over memory: the same bytes in the
// end and the same number of indicator pulses, whether the block runs a
// channel at a time or falls back to sample by sample.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "modules/clip/ClipKernel.h"

namespace {

using namespace quorveil::clip;

constexpr uint32_t kBlock = 67;  // not a multiple of any vector width
constexpr std::size_t kFrames = 14;

// One arena of frames; pins are given as frame number and sample offset.
struct Layout {
    const char* what;
    int in[kChannels][2];
    int out[kOutputs][2];
    bool wholeChannels;  // expected of channelsApartOrInPlace
};

constexpr Layout kLayouts[] = {
    {"separate frames",
     {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}},
     {{6, 0}, {7, 0}, {8, 0}, {9, 0}, {10, 0}, {11, 0}, {12, 0}},
     true},
    {"in place",
     {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}},
     {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {12, 0}},
     true},
    {"some in place, one input feeding two pins",
     {{0, 0}, {0, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}},
     {{0, 0}, {7, 0}, {8, 0}, {3, 0}, {10, 0}, {11, 0}, {12, 0}},
     true},
    {"LF out over RF in",
     {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}},
     {{1, 0}, {7, 0}, {8, 0}, {9, 0}, {10, 0}, {11, 0}, {12, 0}},
     false},
    {"delay pin over C in",
     {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}},
     {{6, 0}, {7, 0}, {8, 0}, {9, 0}, {10, 0}, {11, 0}, {2, 0}},
     false},
    {"LF out one sample behind its input",
     {{0, 1}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}},
     {{0, 0}, {7, 0}, {8, 0}, {9, 0}, {10, 0}, {11, 0}, {12, 0}},
     false},
    {"two outputs on one frame",
     {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}},
     {{6, 0}, {7, 0}, {6, 0}, {9, 0}, {10, 0}, {11, 0}, {12, 0}},
     false},
};

struct Arena {
    std::vector<float> values = std::vector<float>(kFrames * (kBlock + 1));
    const float* in[kChannels];
    float* out[kOutputs];
    explicit Arena(const Layout& layout) {
        auto at = [this](const int (&where)[2]) {
            return values.data() + static_cast<std::size_t>(where[0]) * (kBlock + 1) +
                   static_cast<std::size_t>(where[1]);
        };
        for (int k = 0; k < kChannels; ++k) in[k] = at(layout.in[k]);
        for (int p = 0; p < kOutputs; ++p) out[p] = at(layout.out[p]);
    }
};

// Clip4_6's loop before the block pass-through.
uint32_t sampleBySample(const float* const* in, float* const* out, float delay) {
    uint32_t pulses = 0;
    for (uint32_t i = 0; i < kBlock; ++i) {
        out[kFftDelayPin][i] = delay;
        if (passSampleAndTestClip(in, out, i)) ++pulses;
    }
    return pulses;
}

TEST(ClipKernel, BlockPassMatchesSampleBySampleForEveryPinLayout) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float specials[] = {1.0f, 0.99999994f, 1.5f, nan, inf, -inf, -1.0f, -2.0f};
    std::mt19937 random(11);
    std::uniform_real_distribution<float> audio(-0.9f, 0.9f);
    std::uniform_int_distribution<std::size_t> anywhere(0, kFrames * (kBlock + 1) - 1);
    for (const Layout& layout : kLayouts) {
        for (const float delay : {0.0f, 1536.0f}) {
            for (int hot = 0; hot <= 12; hot += 4) {  // that many special samples
                SCOPED_TRACE(std::string(layout.what) + ", delay " + std::to_string(delay) +
                             ", " + std::to_string(hot) + " special samples");
                Arena block(layout), reference(layout);
                for (float& v : block.values) v = audio(random);
                for (int h = 0; h < hot; ++h) {
                    block.values[anywhere(random)] = specials[static_cast<std::size_t>(h) % 8];
                }
                reference.values = block.values;

                EXPECT_EQ(channelsApartOrInPlace(block.in, block.out, kBlock), layout.wholeChannels);
                uint32_t pulses = 0;
                passBlock(block.in, block.out, delay, kBlock, [&pulses] { ++pulses; });
                EXPECT_EQ(pulses, sampleBySample(reference.in, reference.out, delay));
                EXPECT_EQ(std::memcmp(block.values.data(), reference.values.data(),
                                      block.values.size() * sizeof(float)),
                          0);
            }
        }
    }
}

TEST(ClipKernel, PulsesOncePerClippingPositionWhateverTheChannelCount) {
    const struct {
        const char* what;
        std::vector<std::pair<int, uint32_t>> hot;  // channel, sample set to 1.0
        uint32_t pulses;
    } cases[] = {
        {"none", {}, 0},
        {"first and last sample", {{0, 0}, {5, kBlock - 1}}, 2},
        {"all six channels at one position", {{0, 9}, {1, 9}, {2, 9}, {3, 9}, {4, 9}, {5, 9}}, 1},
        {"neighbours", {{2, 30}, {4, 31}, {2, 32}}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Arena block(kLayouts[0]);
        std::fill(block.values.begin(), block.values.end(), 0.5f);
        for (auto [channel, sample] : c.hot) {
            block.values[static_cast<std::size_t>(kLayouts[0].in[channel][0]) * (kBlock + 1) + sample] = 1.0f;
        }
        uint32_t pulses = 0;
        passBlock(block.in, block.out, 0.0f, kBlock, [&pulses] { ++pulses; });
        EXPECT_EQ(pulses, c.pulses);
    }
}

}  // namespace
