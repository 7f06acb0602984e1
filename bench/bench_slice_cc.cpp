// SPDX-License-Identifier: MIT
// Slice4_6 and CC4_6 per bin, wrap off and on, over one host block of 4
// frames of 1025 bins, in nanoseconds per bin; beside each, a plain copy of
// the inputs into the same output frames as the memory roof.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "modules/cc/CCKernel.h"
#include "modules/common/StereoBinLoop.h"
#include "modules/slice/SliceKernel.h"

namespace {

constexpr uint32_t kFrames = 4;
constexpr uint32_t kBins = 1025;

struct Block {
    std::vector<float> left, right, storage;
    std::vector<float*> out;  // outputs x frames
    std::size_t outputs;

    explicit Block(std::size_t outputCount)
        : left(kFrames * kBins), right(kFrames * kBins), storage(outputCount * kFrames * kBins),
          out(outputCount * kFrames), outputs(outputCount) {
        std::mt19937 random(3);
        std::uniform_real_distribution<float> magnitude(0.0f, 50.0f);
        for (float& v : left) v = magnitude(random);
        for (float& v : right) v = magnitude(random);
        for (std::size_t p = 0; p < outputs; ++p) {
            for (uint32_t f = 0; f < kFrames; ++f) {
                out[f * outputs + p] = storage.data() + (p * kFrames + f) * kBins;
            }
        }
    }
    const float* l(uint32_t f) const { return left.data() + f * kBins; }
    const float* r(uint32_t f) const { return right.data() + f * kBins; }
    float* const* outputsOf(uint32_t f) const { return out.data() + f * outputs; }
};

void BM_Slice(benchmark::State& state) {
    Block block(quorveil::slice::kOutputs);
    const quorveil::slice::Settings settings{1.0f, 0.8f, 0.6f, state.range(0) != 0};
    for (auto _ : state) {
        for (uint32_t f = 0; f < kFrames; ++f) {
            quorveil::slice::sliceFrame(settings, block.l(f), block.r(f), block.outputsOf(f), kBins);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames * kBins);
}
BENCHMARK(BM_Slice)->ArgName("wrap")->Arg(0)->Arg(1);

void BM_CC(benchmark::State& state) {
    Block block(quorveil::cc::kOutputs);
    const quorveil::cc::Settings settings{0.8f, 0.6f, state.range(0) != 0};
    for (auto _ : state) {
        for (uint32_t f = 0; f < kFrames; ++f) {
            quorveil::cc::ccFrame(settings, block.l(f), block.r(f), block.outputsOf(f), kBins);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames * kBins);
}
BENCHMARK(BM_CC)->ArgName("wrap")->Arg(0)->Arg(1);

// The memory roof for `outputs` output pins: L and R read, every output
// frame written, by memcpy.
void BM_PlainCopySameBytes(benchmark::State& state) {
    Block block(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        for (uint32_t f = 0; f < kFrames; ++f) {
            for (std::size_t p = 0; p < block.outputs; ++p) {
                std::memcpy(block.outputsOf(f)[p], p % 2 == 0 ? block.l(f) : block.r(f),
                            kBins * sizeof(float));
            }
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames * kBins);
}
BENCHMARK(BM_PlainCopySameBytes)->ArgName("outputs")->Arg(5)->Arg(3);

// The floor the minimum rule sets: its square roots alone, as many per bin as
// a wrapped bin takes (CC 3, Slice 5), over the same bins, built like the
// kernels (errno-free, so they run side by side in vector registers).
QUORVEIL_VECTOR_CLONES
void squareRoots(const float* __restrict in, float* __restrict out, uint32_t bins, int roots) {
    if (roots == 3) {
        for (uint32_t k = 0; k < bins; ++k) {
            out[k] = std::sqrt(in[k]) + std::sqrt(in[k] + 1.0f) + std::sqrt(in[k] + 2.0f);
        }
    } else {
        for (uint32_t k = 0; k < bins; ++k) {
            out[k] = std::sqrt(in[k]) + std::sqrt(in[k] + 1.0f) + std::sqrt(in[k] + 2.0f) +
                     std::sqrt(in[k] + 3.0f) + std::sqrt(in[k] + 4.0f);
        }
    }
}

void BM_SquareRootsOnly(benchmark::State& state) {
    Block block(1);
    const int roots = static_cast<int>(state.range(0));
    for (auto _ : state) {
        for (uint32_t f = 0; f < kFrames; ++f) {
            squareRoots(block.l(f), block.outputsOf(f)[0], kBins, roots);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames * kBins);
}
BENCHMARK(BM_SquareRootsOnly)->ArgName("roots")->Arg(3)->Arg(5);

}  // namespace
