// SPDX-License-Identifier: MIT
// ArcTan4_6's placement in nanoseconds per bin, over one block of 4 frames of
// 1025 bins (a 2048-point FFT), for the magnitude-only position ("Disabled",
// one arctangent per bin) and "HFTC" (two), in modes "Sum" and "Diagonal"
// (the latter computes the gains twice); beside them one scalar double
// arctangent per bin, and the run-of-bins arctangents the placement uses.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "modules/arctan/ArcTanPlacement.h"
#include "modules/arctan/VectorArctangent.h"

namespace {

using namespace quorveil::arctan;

constexpr uint32_t kFrames = 4, kBins = 1025;

struct PinSet {
    explicit PinSet(int count) : values(static_cast<std::size_t>(count) * kFrames * kBins) {
        for (std::size_t f = 0; f < static_cast<std::size_t>(count) * kFrames; ++f)
            frames.push_back(values.data() + f * kBins);
        for (std::size_t p = 0; p < static_cast<std::size_t>(count); ++p)
            pins.push_back(frames.data() + p * kFrames);
    }
    std::vector<float> values;
    std::vector<float*> frames;
    std::vector<float**> pins;
};

void BM_ArcTanBlock(benchmark::State& state) {
    ParameterValues values;
    values.ratio = 0.7;
    values.freqMode = static_cast<int32_t>(state.range(0));
    values.mode = static_cast<int32_t>(state.range(1));
    values.totalWidth = 360.0;
    values.centerWidth = 30.0;
    values.frontWidth = 60.0;
    values.rearWidth = rearWidthFor(values.centerWidth, values.frontWidth);
    const double angles[kSpeakers] = {45.0, 315.0, 0.0, 120.0, 240.0};
    for (int s = 0; s < kSpeakers; ++s) values.speakerAngle[s] = angles[s];

    Placement placement;
    placement.fillGainTables();
    placement.updatePlacement(values);

    // Music-like spectra: magnitudes falling with frequency, random balance.
    PinSet frequencyIn(2), magnitudeIn(2), magnitudeOut(kOutputPins);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (std::size_t i = 0; i < 2u * kFrames * kBins; ++i) {
        const float bin = static_cast<float>(i % kBins);
        frequencyIn.values[i] = bin * 23.4375f + unit(rng) * 10.0f;
        magnitudeIn.values[i] = unit(rng) / (1.0f + bin * 0.05f);
    }

    for (auto _ : state) {
        placement.processBlock(frequencyIn.pins.data(), magnitudeIn.pins.data(),
                               magnitudeOut.pins.data(), kFrames, kBins);
        benchmark::ClobberMemory();
    }
    // Seconds per bin, printed with its unit (e.g. "per_bin=59.5ns").
    state.counters["per_bin"] = benchmark::Counter(
        static_cast<double>(kFrames * kBins),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ArcTanBlock)
    ->ArgNames({"freqMode", "mode"})
    ->Args({FreqDisabled, Sum})
    ->Args({FreqDisabled, Diagonal})
    ->Args({Hftc, Sum})
    ->Args({Hftc, Diagonal});

// The floor: one double-precision arctangent per bin over the same inputs.
void BM_ArctangentOnly(benchmark::State& state) {
    std::vector<float> left(kFrames * kBins), right(kFrames * kBins);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (std::size_t i = 0; i < left.size(); ++i) {
        left[i] = unit(rng);
        right[i] = unit(rng);
    }
    for (auto _ : state) {
        float sum = 0.0f;
        for (std::size_t i = 0; i < left.size(); ++i) {
            sum += static_cast<float>(
                std::atan2(static_cast<double>(left[i]), static_cast<double>(right[i])));
        }
        benchmark::DoNotOptimize(sum);
    }
    // Seconds per bin, printed with its unit (e.g. "per_bin=59.5ns").
    state.counters["per_bin"] = benchmark::Counter(
        static_cast<double>(kFrames * kBins),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ArctangentOnly);

// The arctangents as the placement takes them: a run of bins at a time, in
// vector registers where the processor and the build allow (SLEEF), each
// float the scalar path's bits.
void BM_RunArctangentsOnly(benchmark::State& state) {
    std::vector<float> left(kFrames * kBins), right(kFrames * kBins), out(kFrames * kBins);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (std::size_t i = 0; i < left.size(); ++i) {
        left[i] = unit(rng);
        right[i] = unit(rng);
    }
    for (auto _ : state) {
        for (std::size_t first = 0; first < left.size(); first += 256) {
            const auto count = static_cast<uint32_t>(std::min<std::size_t>(256, left.size() - first));
            arctangents(left.data() + first, right.data() + first, out.data() + first, count);
        }
        benchmark::ClobberMemory();
    }
    state.SetLabel(arctangentsVectorised() ? "vectorised" : "scalar");
    state.counters["per_bin"] = benchmark::Counter(
        static_cast<double>(kFrames * kBins),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RunArctangentsOnly);

}  // namespace
