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

// The parameter values as the host reports them. r, freqMode and mode hold
// their declared defaults until the host notifies them; widths and angles
// are 0 until then.
struct ParameterValues {
    double ratio = 1.0;        // "Mag/Freq Ratio" r, 0..1: share of the magnitude position
    int32_t freqMode = Hftc;   // "Freq. Mode"
    double totalWidth = 0.0;   // "Total Image Width" W, degrees
    double centerWidth = 0.0;  // "Center Width" Cw, degrees
    double frontWidth = 0.0;   // "Front Width" Fw, degrees
    double rearWidth = 0.0;    // Rw, derived by rearWidthFor, degrees
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
    float position;   // p
    float ringAngle;  // o
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

    BinPlacement placeInline(float leftFrequency, float rightFrequency, float leftMagnitude,
                             float rightMagnitude);
    void setGainsForAngle(float angle);
    float ringAngleFor(float imageAngle) const;
    float zoneStartFor(float imageAngle) const;

    std::array<float, kTableSize> sineTable_{};
    std::array<float, kTableSize> cosineTable_{};
    // Gains LF, RF, C, LS, RS of the last gain computation; silence at first.
    std::array<float, kSpeakers> speakerGains_{};

    // Placement state, derived by updatePlacement.
    FrequencyRule frequencyRule_ = FrequencyRule::SwappedBelowHalf;
    int32_t mode_ = Sum;
    float magnitudeShare_ = 1.0f;  // rf = r
    float frequencyShare_ = 0.0f;  // rc = 1 - r
    float width_ = 0.0f;           // wf
    float half_ = 0.0f;            // wf / 2
    float rightStart_ = 360.0f;    // B = 360 - half, where the right half of the image begins
    float halfCenter_ = 0.0f;      // c2
    float front_ = 0.0f;           // fw
    float rear_ = 0.0f;            // rw
    float inverseHalfCenter_ = 0.0f;  // ic2
    float inverseFront_ = 0.0f;       // ifw
    float inverseRear_ = 0.0f;        // irw
    float zoneEnd_[5] = {};           // e1..e5
    float angle_[kSpeakers] = {};     // aLF, aRF, aC, aLS, aRS
    // Ring arcs the six zones of the image circle are stretched onto.
    float slopeCenterLeft_ = 0.0f;    // (aLF - aC) * ic2
    float arcFrontLeft_ = 0.0f;       // aLS - aLF
    float arcRearLeft_ = 0.0f;        // half - aLS
    float arcRearRight_ = 0.0f;       // aRS - B
    float arcFrontRight_ = 0.0f;      // aRF - aRS
    float arcCenterRight_ = 0.0f;     // 360 - aRF
    // Each pair's span mapped onto 90 table steps: RF-C, C-LF, LF-LS, LS-RS, RS-RF.
    float scaleRC_ = 0.0f, scaleCL_ = 0.0f, scaleLL_ = 0.0f, scaleLR_ = 0.0f, scaleRR_ = 0.0f;
};

}  // namespace quorveil::arctan
