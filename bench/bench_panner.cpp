// SPDX-License-Identifier: MIT
// ConstantPowerPanner4_6's block: the per-block gains (cos/sin of the arc
// position) and the per-sample gain loop, in nanoseconds per input sample
// (five outputs each), beside a plain copy of the input to the five outputs.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "modules/panner/PannerKernel.h"

namespace {

using namespace quorveil::panner;

constexpr uint32_t kBlock = 512;

struct Buffers {
    std::vector<float> in = std::vector<float>(kBlock);
    std::vector<float> storage = std::vector<float>(kSpeakers * kBlock);
    float* out[kSpeakers];
    Buffers() {
        std::mt19937 random(1);
        std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
        for (float& s : in) s = sample(random);
        for (std::size_t s = 0; s < kSpeakers; ++s) out[s] = storage.data() + s * kBlock;
    }
};

void BM_PannerBlock(benchmark::State& state) {
    Buffers b;
    Angles angles{-90.0, 45.0, 315.0, 0.0, 120.0, 240.0};
    Working working;
    Gains gains{};
    for (auto _ : state) {
        updateGains(angles, working, gains);
        applyGains(gains, b.in.data(), b.out, kBlock);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_PannerBlock);

void BM_PannerGainsOnly(benchmark::State& state) {
    Angles angles{-90.0, 45.0, 315.0, 0.0, 120.0, 240.0};
    Working working;
    Gains gains{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(updateGains(angles, working, gains));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PannerGainsOnly);

// The memory roof: the same bytes read and written, by memcpy.
void BM_PlainCopySameBytes(benchmark::State& state) {
    Buffers b;
    for (auto _ : state) {
        for (float* o : b.out) std::memcpy(o, b.in.data(), kBlock * sizeof(float));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_PlainCopySameBytes);

}  // namespace
