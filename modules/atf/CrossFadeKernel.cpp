// SPDX-License-Identifier: MIT
#include "modules/atf/CrossFadeKernel.h"

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

template <Mode mode>
float crossFadeBins(const FramePins& pins, uint32_t binCount, float scale, float multiplier,
                    const GainTables& tables, float lastCosine) {
    for (uint32_t i = 0; i < binCount; ++i) {
        const int32_t step =
            tableStep(stepArgument(pins.left[i], pins.right[i], scale, multiplier));
        const float c = tables.cosineTable[step];
        const float s = tables.sineTable[step];
        const Magnitudes in{pins.magnitudeIn[0][i], pins.magnitudeIn[1][i], pins.magnitudeIn[2][i],
                            pins.magnitudeIn[3][i], pins.magnitudeIn[4][i]};
        const Magnitudes out = crossFade<mode>(in, c, s);
        pins.magnitudeOut[0][i] = out.lf;
        pins.magnitudeOut[1][i] = out.rf;
        pins.magnitudeOut[2][i] = out.c;
        pins.magnitudeOut[3][i] = out.ls;
        pins.magnitudeOut[4][i] = out.rs;
        lastCosine = c;
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
