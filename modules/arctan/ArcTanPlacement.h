// SPDX-License-Identifier: MIT
// The signal side of ArcTan4_6, apart from the plug-in plumbing: each bin of a
// stereo pair is turned into a position by the arctangent of its left/right
// magnitude (and, optionally, frequency) balance, the position into an image
// angle of the configured total width, the image angle into an angle on the
// speaker ring by a zone warp, and that angle into gains of the two speakers
// that enclose it, read from quarter-period sine and cosine tables.
//
// Everything per bin is single precision; the parameter values stay double
// until updatePlacement turns them into the float state the bins read.
#pragma once

#include <array>
#include <cstdint>

namespace quorveil::arctan {

inline constexpr int kSpeakers = 5;  // LF, RF, C, LS, RS
enum Speaker : int { LF = 0, RF = 1, C = 2, LS = 3, RS = 4 };

// "Freq. Mode" choices, by index.
enum FreqMode : int32_t { Hftc = 0, Hfts = 1, Hftl = 2, Hftr = 3, FreqDisabled = 4 };
// "Mode" choices, by index.
enum Mode : int32_t { Sum = 0, Across = 1, Diagonal = 2 };

// Output pins per bin: five dominant levels, five lesser levels, the position
// and the speaker-ring angle of the dominant image.
inline constexpr int kDominantPin = 0;
inline constexpr int kLesserPin = 5;
inline constexpr int kPositionPin = 10;
inline constexpr int kRingAnglePin = 11;
inline constexpr int kOutputPins = 12;

inline constexpr int kTableSize = 361;  // 0.0175 radian per entry, entries 0..360

// The parameter values as the host reports them. ratio, freqMode and mode hold
// their declared defaults until the host notifies them; widths and angles
// are 0 until then.
struct ParameterValues {
    double ratio = 1.0;        // "Mag/Freq Ratio", 0..1: share of the magnitude position
    int32_t freqMode = Hftc;   // "Freq. Mode"
    double totalWidth = 0.0;   // "Total Image Width", degrees
    double centerWidth = 0.0;  // "Center Width", degrees
    double frontWidth = 0.0;   // "Front Width", degrees
    double rearWidth = 0.0;    // derived by rearWidthFor, degrees
    int32_t mode = Sum;        // "Mode"
    double speakerAngle[kSpeakers] = {};  // LF, RF, C, LS, RS, degrees
};

// The rear width that makes centre, front and rear widths cover half a turn.
inline double rearWidthFor(double centerWidth, double frontWidth) {
    return 180.0 - (centerWidth * 0.5 + frontWidth);
}

// One bin's results, in output-pin order.
struct BinPlacement {
    float dominant[kSpeakers];
    float lesser[kSpeakers];
    float position;   // 0 right only, 0.5 the middle, 1 left only
    float ringAngle;  // degrees on the speaker ring, of the dominant image
};

class Placement {
public:
    // sineTable[i] and cosineTable[i] of i * 0.0175 radian, i = 0..360.
    void fillGainTables();

    // Derives the float state the bins read from the values (rearWidth
    // included, so the caller computes it first). Runs on every parameter
    // notification, never per block.
    void updatePlacement(const ParameterValues& values);

    // One bin. Updates the speaker gains this object carries from one gain
    // computation to the next: a warped angle that is not a number (a broken
    // input, or image angle 0 with a centre width of 0) keeps the previous
    // gains. The ring angle reported is finite for every finite bin: a zone
    // too narrow to stretch reports its start angle.
    BinPlacement placeBin(float leftFrequency, float rightFrequency, float leftMagnitude,
                          float rightMagnitude);

    // Frames outer, bins inner. Pin tables as the host hands them: per pin a
    // table of `frames` frames of `bins` floats. Inputs: frequency pins L, R;
    // magnitude pins L, R. Outputs: the twelve pins of BinPlacement.
    void processBlock(const float* const* const* frequencyIn,
                      const float* const* const* magnitudeIn, float* const* const* magnitudeOut,
                      uint32_t frames, uint32_t bins);

    const std::array<float, kTableSize>& sineTable() const { return sineTable_; }
    const std::array<float, kTableSize>& cosineTable() const { return cosineTable_; }
    const std::array<float, kSpeakers>& speakerGains() const { return speakerGains_; }

private:
    // Which argument order the frequency arctangent takes, from "Freq. Mode".
    enum class FrequencyRule { Disabled, SwappedBelowHalf, SwappedFromHalf, Swapped, Straight };

    bool frequencySwapped(float magnitudeAngle) const;
    BinPlacement placeByAngles(float magnitudeAngle, float frequencyAngle, float leftMagnitude,
                               float rightMagnitude);
    void placeRun(const float* leftFrequency, const float* rightFrequency,
                  const float* leftMagnitude, const float* rightMagnitude, float* const* out,
                  uint32_t first, uint32_t bins);
    // Bins placed as one run (see placeRun), and a run's values between its
    // passes.
    static constexpr uint32_t kRunBins = 256;
    struct RunShape {
        float position[kRunBins];
        float ringAngle[kRunBins];
        float imageAngle[kRunBins];
        float level[kRunBins];
        float mirrored[kRunBins];
        float lesserLevel[kRunBins];
    };
    void frequencyArgumentsOfRun(const float* magnitudeAngle, const float* leftFrequency,
                                 const float* rightFrequency, uint32_t bins, float* numerator,
                                 float* denominator) const;
    bool shapeRun(const float* magnitudeAngle, const float* frequencyAngle,
                  const float* leftMagnitude, const float* rightMagnitude, uint32_t bins,
                  RunShape& run) const;
    void gainsOfRun(const float* angle, const float* level, uint32_t bins, float* lf, float* rf,
                    float* c, float* ls, float* rs) const;
    void setGainsForAngle(float angle);
    float ringAngleFor(float imageAngle) const;
    float zoneStartFor(float imageAngle) const;
    float reportedRingAngle(float warpedAngle, float imageAngle) const;
    void reportRingAngles(const RunShape& run, uint32_t bins, float* out) const;

    std::array<float, kTableSize> sineTable_{};
    std::array<float, kTableSize> cosineTable_{};
    // Gains LF, RF, C, LS, RS of the last gain computation; silence at first.
    std::array<float, kSpeakers> speakerGains_{};

    // Placement state, derived by updatePlacement; all angles in degrees,
    // counter-clockwise from the front.
    //
    // The image circle. A bin's position p (0 right only, 0.5 the middle, 1
    // left only) becomes an image angle on a circle of the total image width:
    // p * width - width / 2 on the left half (from the front), p * width +
    // rightHalfStart on the right half, which begins at 360 - width / 2.
    //
    // The zone warp. Going round, the image circle is cut into six zones:
    // half the centre width, the front width, the rear width on the left; the
    // rear, front and centre-half widths again on the right (the rear width
    // makes each side 180 degrees). Each zone is stretched linearly onto its
    // arc of the speaker ring: C to LF, LF to LS, LS to the back of the image
    // (width / 2), from the right half's start to RS, RS to RF, RF to 360.
    //
    // The gain law. The two speakers enclosing the ring angle share the level
    // by cosine and sine of the angle's step between them, 90 table steps
    // from the first speaker of the pair to the second.
    FrequencyRule frequencyRule_ = FrequencyRule::SwappedBelowHalf;
    int32_t mode_ = Sum;
    float magnitudeShare_ = 1.0f;  // "Mag/Freq Ratio"
    float frequencyShare_ = 0.0f;  // 1 - "Mag/Freq Ratio"
    float imageWidth_ = 0.0f;      // "Total Image Width"
    float halfImageWidth_ = 0.0f;
    float rightHalfStart_ = 360.0f;
    // Zone widths and their reciprocals (infinite for a width of 0).
    float centreZone_ = 0.0f;  // half the "Center Width"
    float frontZone_ = 0.0f;   // "Front Width"
    float rearZone_ = 0.0f;    // the derived rear width
    float inverseCentreZone_ = 0.0f;
    float inverseFrontZone_ = 0.0f;
    float inverseRearZone_ = 0.0f;
    // Image angles where the first five zones end, summed zone by zone.
    float zoneEnd_[5] = {};
    float speakerAngle_[kSpeakers] = {};  // LF, RF, C, LS, RS
    // Degrees of ring per degree of zone in the left centre zone, then the
    // ring arcs the other five zones are stretched onto.
    float centreLeftSlope_ = 0.0f;  // C to LF over the centre zone
    float leftFrontArc_ = 0.0f;     // LF to LS
    float leftRearArc_ = 0.0f;      // LS to the back of the image
    float rightRearArc_ = 0.0f;     // the right half's start to RS
    float rightFrontArc_ = 0.0f;    // RS to RF
    float rightCentreArc_ = 0.0f;   // RF to 360
    // Table steps per degree of ring between the speakers of each pair.
    float stepsRfToC_ = 0.0f, stepsCToLf_ = 0.0f, stepsLfToLs_ = 0.0f, stepsLsToRs_ = 0.0f,
          stepsRsToRf_ = 0.0f;
};

}  // namespace quorveil::arctan
