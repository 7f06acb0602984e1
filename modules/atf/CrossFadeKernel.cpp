// SPDX-License-Identifier: MIT
#include "modules/atf/CrossFadeKernel.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "compiler/VectorClones.h"
#include "modules/common/BufferOverlap.h"

namespace quorveil::atf {

void GainTables::fill() {
    for (int i = 0; i < kTableSize; ++i) {
        const float angle = static_cast<float>(static_cast<double>(i) * kRadiansPerStep);
        sineTable[i] = static_cast<float>(std::sin(static_cast<double>(angle)));
        cosineTable[i] = static_cast<float>(std::cos(static_cast<double>(angle)));
    }
    // The far end of the table crosses nothing over: 6.3 rad is just past a
    // full turn, and its small sine is dropped so widely different
    // frequencies stay in their own channels.
    sineTable[kLastStep] = 0.0f;
}

float binScale(double sampleRate, int32_t fftSize, int32_t overlap) {
    const double hopRatio = static_cast<double>(overlap) / static_cast<double>(fftSize);
    return static_cast<float>(1.0 / (hopRatio * sampleRate * 1.5));
}

namespace {

// True when every output frame either shares no bin with any other frame of
// the pins, or is exactly the frame of an input: then reading all of a run
// of bins before writing any of them gives what bin by bin gives.
bool framesApartOrSame(const FramePins& pins, uint32_t bins) {
    for (int p = 0; p < kChannels; ++p) {
        const float* out = pins.magnitudeOut[p];
        if (buffersOverlap(out, pins.left, bins) || buffersOverlap(out, pins.right, bins)) {
            return false;
        }
        for (int k = 0; k < kChannels; ++k) {
            if (out != pins.magnitudeIn[k] && buffersOverlap(out, pins.magnitudeIn[k], bins)) {
                return false;
            }
        }
        for (int q = 0; q < p; ++q) {
            if (buffersOverlap(out, pins.magnitudeOut[q], bins)) {
                return false;
            }
        }
    }
    return true;
}

// One bin, read whole before it is written.
template <Mode mode>
inline void crossFadeBin(const FramePins& pins, uint32_t i, float c, float s) {
    const Magnitudes in{pins.magnitudeIn[0][i], pins.magnitudeIn[1][i], pins.magnitudeIn[2][i],
                        pins.magnitudeIn[3][i], pins.magnitudeIn[4][i]};
    const Magnitudes out = crossFade<mode>(in, c, s);
    pins.magnitudeOut[0][i] = out.lf;
    pins.magnitudeOut[1][i] = out.rf;
    pins.magnitudeOut[2][i] = out.c;
    pins.magnitudeOut[3][i] = out.ls;
    pins.magnitudeOut[4][i] = out.rs;
}

// Frames apart or the same: runs of bins side by side in vector registers.
// The steps carry no state from bin to bin, and a run's inputs are all read
// before any of its outputs is written, which for frames apart or the same
// is what bin by bin gives. A run takes four passes, each over few streams:
// the table steps; the table lookups (as loads the compiler spreads over
// vector lanes: on AMD's Zen 4 the gathering instruction was slower); the
// five inputs staged on the stack one after another; the cross-fade from the
// staged copies. Hosts lay the frames of a pin one after another, so with
// 1025 bins (4100 bytes) all twelve streams of a bin fall on nearly the same
// cache sets, and a loop reading seven of them while writing five evicts its
// own lines.
inline constexpr uint32_t kRunBins = 256;

QUORVEIL_VECTOR_CLONES
void stepsOfRun(const float* __restrict left, const float* __restrict right, uint32_t bins,
                float scale, float multiplier, int32_t* __restrict steps) {
    for (uint32_t i = 0; i < bins; ++i) {
        steps[i] = tableStep(stepArgument(left[i], right[i], scale, multiplier));
    }
}

QUORVEIL_VECTOR_CLONES
void gainsOfRun(const int32_t* __restrict steps, uint32_t bins, const GainTables& tables,
                float* __restrict cosine, float* __restrict sine) {
    for (uint32_t i = 0; i < bins; ++i) {
        cosine[i] = tables.cosineTable[steps[i]];
        sine[i] = tables.sineTable[steps[i]];
    }
}

struct StagedRun {
    alignas(64) float magnitude[kChannels][kRunBins];
    alignas(64) float cosine[kRunBins];
    alignas(64) float sine[kRunBins];
};

// Outputs apart from one another and from the staged run.
template <Mode mode>
QUORVEIL_VECTOR_CLONES void crossFadeRun(const StagedRun& run, uint32_t bins,
                                         float* __restrict lf, float* __restrict rf,
                                         float* __restrict c, float* __restrict ls,
                                         float* __restrict rs) {
    for (uint32_t i = 0; i < bins; ++i) {
        const Magnitudes out = crossFade<mode>(
            {run.magnitude[0][i], run.magnitude[1][i], run.magnitude[2][i], run.magnitude[3][i],
             run.magnitude[4][i]},
            run.cosine[i], run.sine[i]);
        lf[i] = out.lf;
        rf[i] = out.rf;
        c[i] = out.c;
        ls[i] = out.ls;
        rs[i] = out.rs;
    }
}

template <Mode mode>
void crossFadeBinsSideBySide(const FramePins& pins, uint32_t binCount, float scale,
                             float multiplier, const GainTables& tables) {
    StagedRun run;
    int32_t steps[kRunBins];
    for (uint32_t first = 0; first < binCount; first += kRunBins) {
        const uint32_t bins = std::min(kRunBins, binCount - first);
        stepsOfRun(pins.left + first, pins.right + first, bins, scale, multiplier, steps);
        gainsOfRun(steps, bins, tables, run.cosine, run.sine);
        for (int k = 0; k < kChannels; ++k) {
            std::memcpy(run.magnitude[k], pins.magnitudeIn[k] + first, bins * sizeof(float));
        }
        crossFadeRun<mode>(run, bins, pins.magnitudeOut[0] + first, pins.magnitudeOut[1] + first,
                           pins.magnitudeOut[2] + first, pins.magnitudeOut[3] + first,
                           pins.magnitudeOut[4] + first);
    }
}

template <Mode mode>
float crossFadeBins(const FramePins& pins, uint32_t binCount, float scale, float multiplier,
                    const GainTables& tables, float lastCosine) {
    if (binCount == 0) {
        return lastCosine;
    }
    if (framesApartOrSame(pins, binCount)) {
        crossFadeBinsSideBySide<mode>(pins, binCount, scale, multiplier, tables);
        const uint32_t last = binCount - 1;
        return tables.cosineTable[tableStep(
            stepArgument(pins.left[last], pins.right[last], scale, multiplier))];
    }
    // Frames that overlap otherwise (one shifted against another): bin by bin.
    for (uint32_t i = 0; i < binCount; ++i) {
        const int32_t step =
            tableStep(stepArgument(pins.left[i], pins.right[i], scale, multiplier));
        crossFadeBin<mode>(pins, i, tables.cosineTable[step], tables.sineTable[step]);
        lastCosine = tables.cosineTable[step];
    }
    return lastCosine;
}

}  // namespace

float crossFadeFrame(const FramePins& pins, uint32_t binCount, const CrossFadeSettings& settings,
                     const GainTables& tables, float previousCosine) {
    const float multiplier = 90.0f - settings.depthFactor;
    if (settings.mode == Mode::Across) {
        return crossFadeBins<Mode::Across>(pins, binCount, settings.binScale, multiplier, tables,
                                           previousCosine);
    }
    return crossFadeBins<Mode::Diagonal>(pins, binCount, settings.binScale, multiplier, tables,
                                         previousCosine);
}

}  // namespace quorveil::atf
