// SPDX-License-Identifier: MIT
#include "modules/arctan/ArcTanPlacement.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "compiler/VectorClones.h"
#include "modules/arctan/VectorArctangent.h"
#include "modules/common/BufferOverlap.h"

namespace quorveil::arctan {

namespace {

// The table entry of a gain-law step: the float product truncated toward
// zero. Speaker angles within 0..360 keep it within 0..90; angles outside
// that range could reach past the tables, so it stays within 0..360 (and the
// not-a-number step of an empty pair, 0 times an infinite scale, gives 0).
inline std::size_t tableIndex(float step) {
    // Clamped in float first (a not-a-number step fails the test and gives
    // 0), then truncated: the same entries as testing each case in turn, as
    // selections a loop over several bins at once can make.
    const float clamped = step >= 0.0f ? std::min(step, 360.0f) : 0.0f;
    return static_cast<std::size_t>(static_cast<int32_t>(clamped));
}

// x where the condition holds, else y, by bit masks: the loops over several
// bins at once choose this way, which no compiler turns back into branches.
inline float choose(bool condition, float x, float y) {
    const uint32_t mask = 0u - static_cast<uint32_t>(condition);
    return std::bit_cast<float>((std::bit_cast<uint32_t>(x) & mask) |
                                (std::bit_cast<uint32_t>(y) & ~mask));
}
inline int32_t choose(bool condition, int32_t x, int32_t y) {
    const int32_t mask = -static_cast<int32_t>(condition);
    return (x & mask) | (y & ~mask);
}

// The louder and the quieter of the pair; not-a-number when either is, so a
// broken input shows up on the outputs instead of being hidden. Both arms
// are computed before the choice (the build keeps floating-point traps
// possible, and the compiler computes no arm the source computes only maybe).
inline float louder(float a, float b) {
    const float either = a + b;
    return choose(a >= b, a, choose(b > a, b, either));
}
inline float quieter(float a, float b) {
    const float either = a + b;
    return choose(a <= b, a, choose(b < a, b, either));
}

}  // namespace

void Placement::fillGainTables() {
    for (std::size_t i = 0; i < kTableSize; ++i) {
        // 0.0175 radian per step, not pi/180: entry 90 lies just past the
        // quarter turn, which the gain law has always used.
        const float x = static_cast<float>(i) * 0.0175f;
        sineTable_[i] = static_cast<float>(std::sin(static_cast<double>(x)));
        cosineTable_[i] = static_cast<float>(std::cos(static_cast<double>(x)));
    }
}

void Placement::updatePlacement(const ParameterValues& values) {
    switch (values.freqMode) {
    case Hftc: frequencyRule_ = FrequencyRule::SwappedBelowHalf; break;
    case Hfts: frequencyRule_ = FrequencyRule::SwappedFromHalf; break;
    case Hftl: frequencyRule_ = FrequencyRule::Swapped; break;
    case FreqDisabled: frequencyRule_ = FrequencyRule::Disabled; break;
    default: frequencyRule_ = FrequencyRule::Straight; break;  // "HFTR", and unknown indices
    }
    mode_ = values.mode;

    magnitudeShare_ = static_cast<float>(values.ratio);
    frequencyShare_ = static_cast<float>(1.0 - values.ratio);

    imageWidth_ = static_cast<float>(values.totalWidth);
    halfImageWidth_ = imageWidth_ * 0.5f;
    rightHalfStart_ = 360.0f - halfImageWidth_;

    // Widths 0 give infinite reciprocals: an empty front zone is never
    // entered, an empty centre zone only by image angle 0 (see ringAngleFor).
    centreZone_ = static_cast<float>(values.centerWidth) * 0.5f;
    inverseCentreZone_ = 1.0f / centreZone_;
    frontZone_ = static_cast<float>(values.frontWidth);
    inverseFrontZone_ = 1.0f / frontZone_;
    rearZone_ = static_cast<float>(values.rearWidth);
    inverseRearZone_ = 1.0f / rearZone_;

    zoneEnd_[0] = centreZone_;
    zoneEnd_[1] = zoneEnd_[0] + frontZone_;
    zoneEnd_[2] = zoneEnd_[1] + rearZone_;
    zoneEnd_[3] = zoneEnd_[2] + rearZone_;
    zoneEnd_[4] = zoneEnd_[3] + frontZone_;

    for (int s = 0; s < kSpeakers; ++s) {
        speakerAngle_[s] = static_cast<float>(values.speakerAngle[s]);
    }
    const float aLF = speakerAngle_[LF], aRF = speakerAngle_[RF], aC = speakerAngle_[C], aLS = speakerAngle_[LS],
                aRS = speakerAngle_[RS];

    centreLeftSlope_ = (aLF - aC) * inverseCentreZone_;
    leftFrontArc_ = aLS - aLF;
    leftRearArc_ = halfImageWidth_ - aLS;
    rightRearArc_ = aRS - rightHalfStart_;
    rightFrontArc_ = aRF - aRS;
    rightCentreArc_ = 360.0f - aRF;

    // 90 table steps per speaker pair, whatever its span.
    stepsRfToC_ = 90.0f / ((aC + 360.0f) - aRF);
    stepsCToLf_ = 90.0f / (aLF - aC);
    stepsLfToLs_ = 90.0f / (aLS - aLF);
    stepsLsToRs_ = 90.0f / (aRS - aLS);
    stepsRsToRf_ = 90.0f / (aRF - aRS);
}

// The zone warp (see the placement state): the first zone whose end is not
// passed applies.
float Placement::ringAngleFor(float g) const {
    const float aLF = speakerAngle_[LF], aRF = speakerAngle_[RF], aC = speakerAngle_[C], aLS = speakerAngle_[LS],
                aRS = speakerAngle_[RS];
    if (g <= zoneEnd_[0]) {
        return centreLeftSlope_ * g + aC;
    }
    if (g <= zoneEnd_[1]) {
        return ((g - centreZone_) * leftFrontArc_) * inverseFrontZone_ + aLF;
    }
    if (g <= zoneEnd_[2]) {
        return (((g - centreZone_) - frontZone_) * leftRearArc_) * inverseRearZone_ + aLS;
    }
    if (g <= zoneEnd_[3]) {
        return (rightRearArc_ * (g - 180.0f)) * inverseRearZone_ + rightHalfStart_;
    }
    if (g <= zoneEnd_[4]) {
        return (((g - 180.0f) - rearZone_) * rightFrontArc_) * inverseFrontZone_ + aRS;
    }
    return ((((g - 180.0f) - rearZone_) - frontZone_) * rightCentreArc_) * inverseCentreZone_ + aRF;
}

// The ring angle output "2" shows: the warped angle, or, where a zone too
// narrow to stretch gave none for a finite image angle, the zone's start.
float Placement::reportedRingAngle(float o, float g) const {
    return std::isfinite(o) || !std::isfinite(g) ? o : zoneStartFor(g);
}

void Placement::reportRingAngles(const RunShape& run, uint32_t bins, float* out) const {
    for (uint32_t k = 0; k < bins; ++k) {
        out[k] = reportedRingAngle(run.ringAngle[k], run.imageAngle[k]);
    }
}

// Where the zone that holds image angle g starts on the ring: C, LF, LS, the
// start of the right half, RS, RF, in the order of ringAngleFor.
float Placement::zoneStartFor(float g) const {
    const float starts[] = {speakerAngle_[C], speakerAngle_[LF], speakerAngle_[LS], rightHalfStart_,
                           speakerAngle_[RS]};
    for (int zone = 0; zone < 5; ++zone) {
        if (g <= zoneEnd_[zone]) {
            return starts[zone];
        }
    }
    return speakerAngle_[RF];
}

// The gain law: the pair of speakers enclosing `o`, counter-clockwise, takes
// cosine and sine of the step within the pair. The six tests are independent
// and each rewrites all five gains, so the last one that holds decides: they
// are tried from the last. Their ranges chain C, LF, LS, RS, RF, 359, so even
// with speakers out of order every real angle meets one; an angle that is not
// a number (or a speaker angle that is not) meets none and leaves the gains
// as they were.
void Placement::setGainsForAngle(float o) {
    const float aLF = speakerAngle_[LF], aRF = speakerAngle_[RF], aC = speakerAngle_[C], aLS = speakerAngle_[LS],
                aRS = speakerAngle_[RS];
    auto setPair = [this](int first, int second, float step) {
        const std::size_t k = tableIndex(step);
        speakerGains_ = {};
        speakerGains_[static_cast<std::size_t>(first)] = cosineTable_[k];
        speakerGains_[static_cast<std::size_t>(second)] = sineTable_[k];
    };
    if (aRS <= o && o < aRF) {
        setPair(RS, RF, (o - aRS) * stepsRsToRf_);
    } else if (aLS <= o && o < aRS) {
        setPair(LS, RS, (o - aLS) * stepsLsToRs_);
    } else if (aLF <= o && o < aLS) {
        setPair(LF, LS, (o - aLF) * stepsLfToLs_);
    } else if (aC <= o && o < aLF) {
        setPair(C, LF, (o - aC) * stepsCToLf_);
    } else if (aRF <= o && o <= 359.0f) {
        setPair(RF, C, (o - aRF) * stepsRfToC_);
    } else if (aC > o || o > 359.0f) {
        speakerGains_ = {};
        speakerGains_[C] = 1.0f;
    }
}

// Whether the frequency arctangent takes R over L instead of L over R, by
// "Freq. Mode" and the magnitude position.
bool Placement::frequencySwapped(float magnitudeAngle) const {
    const float magnitudePosition = magnitudeAngle * 0.6366f - 0.5f;
    switch (frequencyRule_) {
    case FrequencyRule::SwappedBelowHalf: return !(magnitudePosition >= 0.5f);
    case FrequencyRule::SwappedFromHalf: return magnitudePosition >= 0.5f;
    case FrequencyRule::Swapped: return true;
    default: return false;
    }
}

// Arctangents, sine and cosine are taken in double on float arguments and
// rounded back to float (see VectorArctangent.h), as the placement has always
// sounded. The frequency angle is read only when "Freq. Mode" is not
// "Disabled".
[[gnu::always_inline]] inline BinPlacement Placement::placeByAngles(float magnitudeAngle,
                                                                    float frequencyAngle,
                                                                    float leftMagnitude,
                                                                    float rightMagnitude) {
    BinPlacement out;

    // Position: 0 is right only, 1 left only, 0.5 the middle.
    const float magnitudePosition = magnitudeAngle * 0.6366f - 0.5f;
    float p;
    if (frequencyRule_ == FrequencyRule::Disabled) {
        p = static_cast<float>(static_cast<double>(magnitudeAngle) * 0.6366);
    } else {
        const float frequencyPosition = (frequencyAngle * 0.6366f - 0.5f) * 1.7f;
        p = (frequencyShare_ * frequencyPosition + magnitudeShare_ * magnitudePosition) + 0.5f;
    }
    out.position = p;

    // Image angle: position 0.5 is the front, above it the left half.
    const float t = p * imageWidth_;
    const float imageAngle = p < 0.5f ? t + rightHalfStart_ : t - halfImageWidth_;
    const float o = ringAngleFor(imageAngle);
    // A centre zone of width 0 ("Center Width" 0), or one so narrow that the
    // stretch overflows, gives no angle: the bin is shown at the zone's start.
    // Its gains follow o as they always have.
    out.ringAngle = reportedRingAngle(o, imageAngle);

    const float level =
        mode_ < Across ? rightMagnitude + leftMagnitude : louder(leftMagnitude, rightMagnitude);
    setGainsForAngle(o);
    for (std::size_t s = 0; s < kSpeakers; ++s) {
        out.dominant[s] = speakerGains_[s] * level;
    }

    if (mode_ > Sum) {
        // The quieter channel, mirrored: left to right for "Across", and for
        // "Diagonal" front to back on the left, or to the opposite quadrant.
        const float mirrored = mode_ == Across ? 360.0f - o : std::fabs(o - 180.0f);
        const float lesserLevel = quieter(leftMagnitude, rightMagnitude);
        setGainsForAngle(mirrored);
        for (std::size_t s = 0; s < kSpeakers; ++s) {
            out.lesser[s] = speakerGains_[s] * lesserLevel;
        }
    } else {
        for (float& value : out.lesser) {
            value = 0.0f;
        }
    }
    return out;
}

BinPlacement Placement::placeBin(float leftFrequency, float rightFrequency, float leftMagnitude,
                                 float rightMagnitude) {
    const float magnitudeAngle = arctangent(leftMagnitude, rightMagnitude);
    float frequencyAngle = 0.0f;
    if (frequencyRule_ != FrequencyRule::Disabled) {
        frequencyAngle = frequencySwapped(magnitudeAngle) ? arctangent(rightFrequency, leftFrequency)
                                                          : arctangent(leftFrequency, rightFrequency);
    }
    return placeByAngles(magnitudeAngle, frequencyAngle, leftMagnitude, rightMagnitude);
}

namespace {

// One frame's pins: frequency L, R; magnitude L, R; the twelve outputs.
struct FramePointers {
    const float* leftFrequency;
    const float* rightFrequency;
    const float* leftMagnitude;
    const float* rightMagnitude;
    float* out[kOutputPins];
};

// True when every output frame is either exactly an input frame (in place)
// or shares no bin with any input, and no two outputs share a bin: then a
// bin's inputs are as the host gave them until that very bin is written, and
// a run of bins can be read whole before any of its outputs is written, one
// pin after another.
bool outputsApartOrSame(const FramePointers& frame, uint32_t bins) {
    const float* inputs[] = {frame.leftFrequency, frame.rightFrequency, frame.leftMagnitude,
                             frame.rightMagnitude};
    for (std::size_t p = 0; p < kOutputPins; ++p) {
        for (const float* in : inputs) {
            if (frame.out[p] != in && buffersOverlap(frame.out[p], in, bins)) {
                return false;
            }
        }
        for (std::size_t q = 0; q < p; ++q) {
            if (buffersOverlap(frame.out[p], frame.out[q], bins)) {
                return false;
            }
        }
    }
    return true;
}

inline void writeBin(float* const* out, uint32_t b, const BinPlacement& bin) {
    for (std::size_t s = 0; s < kSpeakers; ++s) {
        out[kDominantPin + s][b] = bin.dominant[s];
        out[kLesserPin + s][b] = bin.lesser[s];
    }
    out[kPositionPin][b] = bin.position;
    out[kRingAnglePin][b] = bin.ringAngle;
}

}  // namespace

// A run of bins, in passes over the whole run: the arctangents; the
// positions, ring angles and levels; then, pin by pin, the gains. The passes
// run several bins at once in vector registers, by selections where the
// bin-by-bin path branches, with the same values. Gains carry over from one
// computation to the next only for a ring angle that is not a number; a run
// with one is placed bin by bin instead.
void Placement::placeRun(const float* leftFrequency, const float* rightFrequency,
                         const float* leftMagnitude, const float* rightMagnitude,
                         float* const* out, uint32_t first, uint32_t bins) {
    float magnitudeAngle[kRunBins];
    float frequencyAngle[kRunBins] = {};
    arctangents(leftMagnitude + first, rightMagnitude + first, magnitudeAngle, bins);
    if (frequencyRule_ != FrequencyRule::Disabled) {
        float numerator[kRunBins];
        float denominator[kRunBins];
        frequencyArgumentsOfRun(magnitudeAngle, leftFrequency + first, rightFrequency + first,
                                bins, numerator, denominator);
        arctangents(numerator, denominator, frequencyAngle, bins);
    }

    RunShape run;
    const bool keepsGains = shapeRun(magnitudeAngle, frequencyAngle, leftMagnitude + first,
                                     rightMagnitude + first, bins, run);
    if (keepsGains) {
        for (uint32_t k = 0; k < bins; ++k) {
            const uint32_t b = first + k;
            writeBin(out, b,
                     placeByAngles(magnitudeAngle[k], frequencyAngle[k], leftMagnitude[b],
                                   rightMagnitude[b]));
        }
        return;
    }

    auto pin = [out, first](int index) { return out[index] + first; };
    gainsOfRun(run.ringAngle, run.level, bins, pin(kDominantPin + LF), pin(kDominantPin + RF),
               pin(kDominantPin + C), pin(kDominantPin + LS), pin(kDominantPin + RS));
    if (mode_ > Sum) {
        gainsOfRun(run.mirrored, run.lesserLevel, bins, pin(kLesserPin + LF),
                   pin(kLesserPin + RF), pin(kLesserPin + C), pin(kLesserPin + LS),
                   pin(kLesserPin + RS));
    } else {
        for (int s = 0; s < kSpeakers; ++s) {
            std::fill_n(pin(kLesserPin + s), bins, 0.0f);
        }
    }
    std::copy_n(run.position, bins, pin(kPositionPin));
    reportRingAngles(run, bins, pin(kRingAnglePin));
    // Every computation of the run set all five gains anew; the last one's
    // carry on.
    setGainsForAngle(run.ringAngle[bins - 1]);
    if (mode_ > Sum) {
        setGainsForAngle(run.mirrored[bins - 1]);
    }
}

// The frequency arctangent's arguments of a run, in the order
// frequencySwapped gives, chosen without branches.
QUORVEIL_VECTOR_CLONES void Placement::frequencyArgumentsOfRun(
    const float* __restrict magnitudeAngle, const float* __restrict leftFrequency,
    const float* __restrict rightFrequency, uint32_t bins, float* __restrict numerator,
    float* __restrict denominator) const {
    const bool belowHalf = frequencyRule_ == FrequencyRule::SwappedBelowHalf;
    const bool fromHalf = frequencyRule_ == FrequencyRule::SwappedFromHalf;
    const bool always = frequencyRule_ == FrequencyRule::Swapped;
    for (uint32_t k = 0; k < bins; ++k) {
        const float magnitudePosition = magnitudeAngle[k] * 0.6366f - 0.5f;
        const bool atOrAboveHalf = magnitudePosition >= 0.5f;
        const bool swapped =
            (belowHalf & !atOrAboveHalf) | (fromHalf & atOrAboveHalf) | always;
        numerator[k] = choose(swapped, rightFrequency[k], leftFrequency[k]);
        denominator[k] = choose(swapped, leftFrequency[k], rightFrequency[k]);
    }
}

// The positions, ring angles, mirrored angles and levels of a run. The zone
// warp takes every zone's stretch and chooses the first zone whose end is
// not passed, the same value as ringAngleFor. Returns whether any gain
// computation of the run would meet none of the gain law's tests.
QUORVEIL_VECTOR_CLONES bool Placement::shapeRun(const float* __restrict magnitudeAngle,
                                                const float* __restrict frequencyAngle,
                                                const float* __restrict leftMagnitude,
                                                const float* __restrict rightMagnitude,
                                                uint32_t bins, RunShape& __restrict run) const {
    const bool frequencyDisabled = frequencyRule_ == FrequencyRule::Disabled;
    const float magnitudeShare = magnitudeShare_, frequencyShare = frequencyShare_;
    const float imageWidth = imageWidth_, halfImageWidth = halfImageWidth_,
                rightHalfStart = rightHalfStart_;
    const float centreZone = centreZone_, frontZone = frontZone_, rearZone = rearZone_;
    const float inverseCentre = inverseCentreZone_, inverseFront = inverseFrontZone_,
                inverseRear = inverseRearZone_;
    const float end0 = zoneEnd_[0], end1 = zoneEnd_[1], end2 = zoneEnd_[2], end3 = zoneEnd_[3],
                end4 = zoneEnd_[4];
    const float slope = centreLeftSlope_, leftFrontArc = leftFrontArc_,
                leftRearArc = leftRearArc_, rightRearArc = rightRearArc_,
                rightFrontArc = rightFrontArc_, rightCentreArc = rightCentreArc_;
    const float aLF = speakerAngle_[LF], aRF = speakerAngle_[RF], aC = speakerAngle_[C],
                aLS = speakerAngle_[LS], aRS = speakerAngle_[RS];
    const bool across = mode_ == Across;
    const bool sum = mode_ < Across;
    const int withLesser = mode_ > Sum ? 1 : 0;
    // No test of the gain law holds (see setGainsForAngle). Every comparison
    // is made, with & and | rather than && and ||, so that none is made only
    // maybe; likewise every arm of a choice is computed before the choice.
    auto meetsNoTest = [=](float o) {
        const bool any = ((aRS <= o) & (o < aRF)) | ((aLS <= o) & (o < aRS)) |
                         ((aLF <= o) & (o < aLS)) | ((aC <= o) & (o < aLF)) |
                         ((aRF <= o) & (o <= 359.0f)) | (aC > o) | (o > 359.0f);
        return any ? 0 : 1;
    };
    int keeps = 0;
    for (uint32_t k = 0; k < bins; ++k) {
        // The position as placeByAngles takes it, both ways computed.
        const float magnitudeOnly =
            static_cast<float>(static_cast<double>(magnitudeAngle[k]) * 0.6366);
        const float magnitudePosition = magnitudeAngle[k] * 0.6366f - 0.5f;
        const float frequencyPosition = (frequencyAngle[k] * 0.6366f - 0.5f) * 1.7f;
        const float mixed =
            (frequencyShare * frequencyPosition + magnitudeShare * magnitudePosition) + 0.5f;
        const float p = choose(frequencyDisabled, magnitudeOnly, mixed);
        const float t = p * imageWidth;
        const float rightHalf = t + rightHalfStart;
        const float leftHalf = t - halfImageWidth;
        const float g = choose(p < 0.5f, rightHalf, leftHalf);
        const float leftCentre = slope * g + aC;
        const float leftFront = ((g - centreZone) * leftFrontArc) * inverseFront + aLF;
        const float leftRear = (((g - centreZone) - frontZone) * leftRearArc) * inverseRear + aLS;
        const float rightRear = (rightRearArc * (g - 180.0f)) * inverseRear + rightHalfStart;
        const float rightFront = (((g - 180.0f) - rearZone) * rightFrontArc) * inverseFront + aRS;
        const float rightCentre =
            ((((g - 180.0f) - rearZone) - frontZone) * rightCentreArc) * inverseCentre + aRF;
        const bool in0 = g <= end0, in1 = g <= end1, in2 = g <= end2, in3 = g <= end3,
                   in4 = g <= end4;
        // The first zone whose end is not passed, chosen from the last one
        // back, one two-way choice at a time.
        float o = rightCentre;
        o = choose(in4, rightFront, o);
        o = choose(in3, rightRear, o);
        o = choose(in2, leftRear, o);
        o = choose(in1, leftFront, o);
        o = choose(in0, leftCentre, o);
        const float l = leftMagnitude[k], r = rightMagnitude[k];
        const float acrossMirror = 360.0f - o;
        const float diagonalMirror = std::fabs(o - 180.0f);
        const float mirrored = choose(across, acrossMirror, diagonalMirror);
        const float both = r + l;
        const float louderLevel = louder(l, r);
        run.position[k] = p;
        run.ringAngle[k] = o;
        run.imageAngle[k] = g;
        run.level[k] = choose(sum, both, louderLevel);
        run.mirrored[k] = mirrored;
        run.lesserLevel[k] = quieter(l, r);
        keeps |= meetsNoTest(o) | (withLesser & meetsNoTest(mirrored));
    }
    return keeps != 0;
}

// The gain law for a run of ring angles each of which meets one of its tests
// (see setGainsForAngle), each gain times its bin's level, into five pins.
// The pair and its table step are chosen as the zone is, by bit masks.
QUORVEIL_VECTOR_CLONES void Placement::gainsOfRun(const float* __restrict angle,
                                                  const float* __restrict level, uint32_t bins,
                                                  float* __restrict lf, float* __restrict rf,
                                                  float* __restrict c, float* __restrict ls,
                                                  float* __restrict rs) const {
    const float aLF = speakerAngle_[LF], aRF = speakerAngle_[RF], aC = speakerAngle_[C],
                aLS = speakerAngle_[LS], aRS = speakerAngle_[RS];
    const float stepsRfToC = stepsRfToC_, stepsCToLf = stepsCToLf_, stepsLfToLs = stepsLfToLs_,
                stepsLsToRs = stepsLsToRs_, stepsRsToRf = stepsRsToRf_;
    const float* cosineTable = cosineTable_.data();
    const float* sineTable = sineTable_.data();
    for (uint32_t k = 0; k < bins; ++k) {
        const float o = angle[k];
        const bool rsToRf = (aRS <= o) & (o < aRF);
        const bool lsToRs = (aLS <= o) & (o < aRS);
        const bool lfToLs = (aLF <= o) & (o < aLS);
        const bool cToLf = (aC <= o) & (o < aLF);
        const bool rfToC = (aRF <= o) & (o <= 359.0f);
        const float rsToRfStep = (o - aRS) * stepsRsToRf;
        const float lsToRsStep = (o - aLS) * stepsLsToRs;
        const float lfToLsStep = (o - aLF) * stepsLfToLs;
        const float cToLfStep = (o - aC) * stepsCToLf;
        const float rfToCStep = (o - aRF) * stepsRfToC;
        // The first pair that holds, chosen from the last one back, one
        // two-way choice at a time.
        float step = 0.0f;
        int32_t cosineSpeaker = -1, sineSpeaker = -1;
        step = choose(rfToC, rfToCStep, step);
        cosineSpeaker = choose(rfToC, RF, cosineSpeaker);
        sineSpeaker = choose(rfToC, C, sineSpeaker);
        step = choose(cToLf, cToLfStep, step);
        cosineSpeaker = choose(cToLf, C, cosineSpeaker);
        sineSpeaker = choose(cToLf, LF, sineSpeaker);
        step = choose(lfToLs, lfToLsStep, step);
        cosineSpeaker = choose(lfToLs, LF, cosineSpeaker);
        sineSpeaker = choose(lfToLs, LS, sineSpeaker);
        step = choose(lsToRs, lsToRsStep, step);
        cosineSpeaker = choose(lsToRs, LS, cosineSpeaker);
        sineSpeaker = choose(lsToRs, RS, sineSpeaker);
        step = choose(rsToRf, rsToRfStep, step);
        cosineSpeaker = choose(rsToRf, RS, cosineSpeaker);
        sineSpeaker = choose(rsToRf, RF, sineSpeaker);
        const float clamped = choose(step >= 0.0f, std::min(step, 360.0f), 0.0f);
        const int32_t entry = static_cast<int32_t>(clamped);
        const float cosine = cosineTable[entry];
        const float sine = sineTable[entry];
        // No pair: the centre alone.
        const float centreAlone = choose(cosineSpeaker < 0, 1.0f, 0.0f);
        auto gain = [=](int32_t speaker, float otherwise) {
            return choose(cosineSpeaker == speaker, cosine,
                          choose(sineSpeaker == speaker, sine, otherwise));
        };
        const float v = level[k];
        lf[k] = gain(LF, 0.0f) * v;
        rf[k] = gain(RF, 0.0f) * v;
        c[k] = gain(C, centreAlone) * v;
        ls[k] = gain(LS, 0.0f) * v;
        rs[k] = gain(RS, 0.0f) * v;
    }
}

void Placement::processBlock(const float* const* const* frequencyIn,
                             const float* const* const* magnitudeIn,
                             float* const* const* magnitudeOut, uint32_t frames, uint32_t bins) {
    for (uint32_t f = 0; f < frames; ++f) {
        FramePointers frame{frequencyIn[0][f], frequencyIn[1][f], magnitudeIn[0][f],
                            magnitudeIn[1][f], {}};
        for (std::size_t pin = 0; pin < kOutputPins; ++pin) {
            frame.out[pin] = magnitudeOut[pin][f];
        }
        if (outputsApartOrSame(frame, bins)) {
            for (uint32_t first = 0; first < bins; first += kRunBins) {
                placeRun(frame.leftFrequency, frame.rightFrequency, frame.leftMagnitude,
                         frame.rightMagnitude, frame.out, first, std::min(kRunBins, bins - first));
            }
        } else {
            // An output over another bin of an input: bin by bin, each read
            // after the bins before it are written.
            for (uint32_t b = 0; b < bins; ++b) {
                writeBin(frame.out, b,
                         placeBin(frame.leftFrequency[b], frame.rightFrequency[b],
                                  frame.leftMagnitude[b], frame.rightMagnitude[b]));
            }
        }
    }
}

}  // namespace quorveil::arctan
