// SPDX-License-Identifier: MIT
// Clip4_6's block pass-through (six channels copied, the delay pin filled, the
// clip test), in nanoseconds per sample position, beside a plain copy of the
// same bytes in the same run: the six channels by memcpy and the delay pin by
// fill. Audio below full scale, in separate frames and in place; and a block
// with one clipping sample, which also seeks the clip's position.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "compiler/VectorClones.h"
#include "modules/clip/ClipKernel.h"

namespace {

using namespace quorveil::clip;

constexpr uint32_t kBlock = 512;

struct Pins {
    std::vector<float> storage;
    float* pointers[kOutputs];
    explicit Pins(int count) : storage(static_cast<std::size_t>(count) * kBlock) {
        std::mt19937 random(5);
        std::uniform_real_distribution<float> audio(-0.99f, 0.99f);
        for (float& v : storage) v = audio(random);
        for (int k = 0; k < count; ++k) pointers[k] = storage.data() + k * kBlock;
    }
};

void reportPerPosition(benchmark::State& state) {
    state.counters["per_position"] = benchmark::Counter(
        static_cast<double>(kBlock),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// range(0): 0 separate output frames, 1 in place; range(1): clipping samples per block.
void BM_ClipBlock(benchmark::State& state) {
    Pins in(kChannels), separate(kOutputs);
    float* out[kOutputs];
    std::copy(separate.pointers, separate.pointers + kOutputs, out);
    if (state.range(0) != 0) std::copy(in.pointers, in.pointers + kChannels, out);
    if (state.range(1) != 0) in.pointers[3][kBlock / 2] = 1.0f;
    for (auto _ : state) {
        uint32_t pulses = 0;
        passBlock(in.pointers, out, 1536.0f, kBlock, [&pulses] { ++pulses; });
        benchmark::DoNotOptimize(pulses);
        benchmark::ClobberMemory();
    }
    reportPerPosition(state);
}
BENCHMARK(BM_ClipBlock)->ArgNames({"inPlace", "clips"})->Args({0, 0})->Args({1, 0})->Args({0, 1});

void BM_PlainCopySameBytes(benchmark::State& state) {
    Pins in(kChannels), out(kOutputs);
    for (auto _ : state) {
        std::memcpy(out.storage.data(), in.storage.data(), in.storage.size() * sizeof(float));
        std::fill_n(out.pointers[kFftDelayPin], kBlock, 1536.0f);
        benchmark::ClobberMemory();
    }
    reportPerPosition(state);
}
BENCHMARK(BM_PlainCopySameBytes);

// The same bytes by a plain loop the compiler runs in vector registers: on
// some machines memcpy of blocks this size is the slower of the two, and the
// roof is the faster.
QUORVEIL_VECTOR_CLONES
void copyFloats(const float* __restrict in, float* __restrict out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out[i] = in[i];
}

void BM_PlainLoopCopySameBytes(benchmark::State& state) {
    Pins in(kChannels), out(kOutputs);
    for (auto _ : state) {
        copyFloats(in.storage.data(), out.storage.data(), in.storage.size());
        std::fill_n(out.pointers[kFftDelayPin], kBlock, 1536.0f);
        benchmark::ClobberMemory();
    }
    reportPerPosition(state);
}
BENCHMARK(BM_PlainLoopCopySameBytes);

// Today's shape of the loop, sample by sample, kept for comparison.
void BM_ClipSampleBySample(benchmark::State& state) {
    Pins in(kChannels), out(kOutputs);
    for (auto _ : state) {
        uint32_t pulses = 0;
        for (uint32_t i = 0; i < kBlock; ++i) {
            out.pointers[kFftDelayPin][i] = 1536.0f;
            if (passSampleAndTestClip(in.pointers, out.pointers, i)) ++pulses;
        }
        benchmark::DoNotOptimize(pulses);
        benchmark::ClobberMemory();
    }
    reportPerPosition(state);
}
BENCHMARK(BM_ClipSampleBySample);

}  // namespace
