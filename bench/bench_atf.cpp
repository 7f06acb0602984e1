// SPDX-License-Identifier: MIT
// ATF4_6's cross-fade in nanoseconds per bin, for a block of 4 frames of 1025
// bins (FFT 2048) in each mode (and in place), beside a plain copy of the five magnitude
// streams' bytes in the same run. Run with --benchmark_repetitions and read
// the medians.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "modules/atf/CrossFadeKernel.h"

namespace {

using namespace quorveil::atf;

constexpr uint32_t kFrames = 4;
constexpr uint32_t kBins = 1025;
constexpr std::size_t kFrameValues = kFrames * kBins;

// Host-shaped streams: L and R frequencies, five magnitudes in, five out.
struct Block {
    std::vector<float> left, right, in, out;
    Block() : left(kFrameValues), right(kFrameValues), in(kChannels * kFrameValues),
              out(kChannels * kFrameValues) {
        std::mt19937 random(1);
        std::uniform_real_distribution<float> frequency(0.0f, 22050.0f);
        std::uniform_real_distribution<float> spread(-300.0f, 300.0f);
        std::uniform_real_distribution<float> magnitude(0.0f, 10.0f);
        for (std::size_t i = 0; i < kFrameValues; ++i) {
            left[i] = frequency(random);
            right[i] = i % 4 == 0 ? left[i] : left[i] + spread(random);
        }
        for (float& m : in) m = magnitude(random);
    }
    // inPlace: each output is its own input's frame, as a host processing
    // in place hands them.
    FramePins frame(uint32_t j, bool inPlace = false) {
        FramePins pins{left.data() + j * kBins, right.data() + j * kBins, {}, {}};
        for (int k = 0; k < kChannels; ++k) {
            const std::size_t at = static_cast<std::size_t>(k) * kFrameValues + j * kBins;
            pins.magnitudeIn[k] = in.data() + at;
            pins.magnitudeOut[k] = (inPlace ? in.data() : out.data()) + at;
        }
        return pins;
    }
};

// Items are bins; per_bin is the CPU time of one bin.
void reportPerBin(benchmark::State& state) {
    const auto bins = static_cast<double>(state.iterations()) * kFrames * kBins;
    state.SetItemsProcessed(static_cast<int64_t>(bins));
    state.counters["per_bin"] =
        benchmark::Counter(bins, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_AtfCrossFade(benchmark::State& state, Mode mode, bool inPlace) {
    Block block;
    GainTables tables;
    tables.fill();
    const CrossFadeSettings settings{binScale(44100.0, 2048, 4), 15.0f, mode};
    for (auto _ : state) {
        float last = 0.0f;
        for (uint32_t j = 0; j < kFrames; ++j) {
            last = crossFadeFrame(block.frame(j, inPlace), kBins, settings, tables, last);
        }
        benchmark::DoNotOptimize(last);
        benchmark::ClobberMemory();
    }
    reportPerBin(state);
}
BENCHMARK_CAPTURE(BM_AtfCrossFade, Across, Mode::Across, false);
BENCHMARK_CAPTURE(BM_AtfCrossFade, Diagonal, Mode::Diagonal, false);
BENCHMARK_CAPTURE(BM_AtfCrossFade, AcrossInPlace, Mode::Across, true);

void BM_PlainCopySameBytes(benchmark::State& state) {
    Block block;
    for (auto _ : state) {
        std::memcpy(block.out.data(), block.in.data(), block.in.size() * sizeof(float));
        benchmark::ClobberMemory();
    }
    reportPerBin(state);
}
BENCHMARK(BM_PlainCopySameBytes);

}  // namespace
