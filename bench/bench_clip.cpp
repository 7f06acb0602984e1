// SPDX-License-Identifier: MIT
// Clip4_6's per-sample pass-through and clip test, in nanoseconds per sample
// position (six channels), beside a plain copy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "modules/clip/ClipKernel.h"

namespace {

constexpr uint32_t kBlock = 512;

struct Channels {
    std::vector<float> storage = std::vector<float>(quorveil::clip::kChannels * kBlock, 0.25f);
    float* pointers[quorveil::clip::kChannels];
    Channels() {
        for (int k = 0; k < quorveil::clip::kChannels; ++k) pointers[k] = storage.data() + k * kBlock;
    }
};

void BM_ClipPassThrough(benchmark::State& state) {
    Channels in, out;
    for (auto _ : state) {
        bool any = false;
        for (uint32_t i = 0; i < kBlock; ++i) {
            any |= quorveil::clip::passSampleAndTestClip(in.pointers, out.pointers, i);
        }
        benchmark::DoNotOptimize(any);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_ClipPassThrough);

void BM_PlainCopySameBytes(benchmark::State& state) {
    Channels in, out;
    for (auto _ : state) {
        std::memcpy(out.storage.data(), in.storage.data(), in.storage.size() * sizeof(float));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_PlainCopySameBytes);

}  // namespace
