// SPDX-License-Identifier: MIT
// The signal side of ATF4_6, apart from the plug-in plumbing: the gain tables,
// the bin scale, the table step a bin's L/R frequency difference selects, and
// the per-bin cross-fade of the five magnitudes between partner channels.
//
// A bin whose L and R frequencies agree (step 0: cosine 1, sine 0) passes its
// magnitudes through; the further apart they are, the more of each channel's
// magnitude moves to its partner, and step 360 (sine exactly 0) passes them
// nearly unchanged again, with only the cosine gain of 6.3 rad applied.
#pragma once

#include <cmath>
#include <cstdint>

namespace quorveil::atf {

inline constexpr int kChannels = 5;  // LF, RF, C, LS, RS
inline constexpr int32_t kLastStep = 360;
inline constexpr int kTableSize = kLastStep + 1;
// One table step in radians: 0.0175, a little more than a degree and not
// pi/180. Hosts' sessions sound as they do with this spacing; keep it.
inline constexpr double kRadiansPerStep = 0.0175;

// Cosine and sine gains by table step 0 ... 360, filled once at start so a
// bin costs one lookup pair and no trigonometry.
struct GainTables {
    float sineTable[kTableSize];
    float cosineTable[kTableSize];

    // angle = (float)(i * 0.0175), sine and cosine in double rounded to float;
    // then the sine of the last step is set to exactly 0.
    void fill();
};

// How many table steps one hertz of L/R difference is worth at full depth:
// 1 / ((overlap / fftSize) * sampleRate * 1.5), in double, rounded to float.
float binScale(double sampleRate, int32_t fftSize, int32_t overlap);

// "Depth" (degrees) halved into the factor that reduces the step multiplier
// 90 - depthFactor: at 180 every bin takes step 0.
inline float depthFactor(double depth) { return static_cast<float>(depth * 0.5); }

// x = (|L - R| * binScale) * (90 - depthFactor), single precision, in this
// order. `multiplier` is 90 - depthFactor.
inline float stepArgument(float left, float right, float scale, float multiplier) {
    const float difference = left - right;
    return (std::fabs(difference) * scale) * multiplier;
}

// x truncated toward zero into a table step. Whatever x is, the step stays in
// the tables: below 0 (a "Depth" beyond 180) gives 0, 361 and above (widely
// different frequencies) gives 360, and a NaN gives 0. x is range-checked
// before the conversion, which is only defined for values an int can hold.
inline int32_t tableStep(float x) {
    if (!(x >= 0.0f)) {
        return 0;
    }
    if (x >= static_cast<float>(kTableSize)) {
        return kLastStep;
    }
    return static_cast<int32_t>(x);
}

enum class Mode {
    Across,    // LF with RF, LS with RS
    Diagonal,  // LF with RS, RF with LS
};

// The choice index of "Mode": 0 is Across, anything else Diagonal.
inline Mode modeFromChoice(int32_t choice) { return choice == 0 ? Mode::Across : Mode::Diagonal; }

// Five magnitudes in speaker order.
struct Magnitudes {
    float lf, rf, c, ls, rs;
};

// One bin's cross-fade with cosine gain c and sine gain s. Each channel keeps
// its cosine share and takes its partner's sine share; the centre keeps its
// cosine share and gives half its sine share to each rear. Sums run left to
// right as written; the order is part of the sound.
template <Mode mode>
inline Magnitudes crossFade(const Magnitudes& in, float c, float s) {
    const float centreShare = (in.c * s) * 0.5f;
    Magnitudes out;
    if constexpr (mode == Mode::Across) {
        out.lf = in.lf * c + in.rf * s;
        out.rf = in.rf * c + in.lf * s;
        out.c = in.c * c;
        out.ls = centreShare + in.ls * c + in.rs * s;
        out.rs = centreShare + in.ls * s + in.rs * c;
    } else {
        out.lf = in.lf * c + in.rs * s;
        out.rf = in.rf * c + in.ls * s;
        out.c = in.c * c;
        out.ls = in.rf * s + centreShare + in.ls * c;
        out.rs = in.lf * s + centreShare + in.rs * c;
    }
    return out;
}

// One spectral frame's pins: the L and R frequency arrays, the five magnitude
// inputs and the five magnitude outputs, each binCount floats. An output may
// share memory with its input: every bin is read whole before it is written.
struct FramePins {
    const float* left;
    const float* right;
    const float* magnitudeIn[kChannels];
    float* magnitudeOut[kChannels];
};

// What a block's parameters and start-up fix for every bin.
struct CrossFadeSettings {
    float binScale;
    float depthFactor;
    Mode mode;
};

// Cross-fades bins 0 ... binCount - 1 of one frame and returns the cosine gain
// of the last bin, or `previousCosine` when binCount is 0.
float crossFadeFrame(const FramePins& pins, uint32_t binCount, const CrossFadeSettings& settings,
                     const GainTables& tables, float previousCosine);

}  // namespace quorveil::atf
