#include "modules/arctan/ArcTanPlacement.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "modules/arctan/VectorArctangent.h"

namespace quorveil::arctan {

namespace {

// The table entry of a gain-law step: the float product truncated toward
// zero. Speaker angles within 0..360 keep it within 0..90; angles outside
// that range could reach past the tables, so it stays within 0..360 (and the
// not-a-number step of an empty pair, 0 times an infinite scale, gives 0).
inline std::size_t tableIndex(float step) {
    if (!(step >= 0.0f)) {
        return 0;
    }
    if (step >= 360.0f) {
        return 360;
    }
    return static_cast<std::size_t>(static_cast<int32_t>(step));
}

// The louder and the quieter of the pair; not-a-number when either is, so a
// broken input shows up on the outputs instead of being hidden.
inline float louder(float a, float b) { return a >= b ? a : (b > a ? b : a + b); }
inline float quieter(float a, float b) { return a <= b ? a : (b < a ? b : a + b); }

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
    out.ringAngle = o;

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

bool framesOverlap(const float* a, const float* b, uint32_t bins) {
    const std::uintptr_t bytes = std::uintptr_t{bins} * sizeof(float);
    const auto x = reinterpret_cast<std::uintptr_t>(a);
    const auto y = reinterpret_cast<std::uintptr_t>(b);
    return x < y + bytes && y < x + bytes;
}

// True when every output frame is either exactly an input frame (in place)
// or shares no bin with any input: then a bin's inputs are as the host gave
// them until that very bin is written, and the arctangents of a run of bins
// can be taken before any of its bins is placed.
bool outputsApartOrSame(const FramePointers& frame, uint32_t bins) {
    const float* inputs[] = {frame.leftFrequency, frame.rightFrequency, frame.leftMagnitude,
                             frame.rightMagnitude};
    for (const float* out : frame.out) {
        for (const float* in : inputs) {
            if (out != in && framesOverlap(out, in, bins)) {
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

constexpr uint32_t kRunBins = 256;

}  // namespace

// A run of bins: the arctangents of all of them first (several at a time in
// vector registers where the processor allows), then each bin placed in
// order, the speaker gains carried from bin to bin as before.
void Placement::placeRun(const float* leftFrequency, const float* rightFrequency,
                         const float* leftMagnitude, const float* rightMagnitude,
                         float* const* out, uint32_t first, uint32_t bins) {
    float magnitudeAngle[kRunBins];
    float frequencyAngle[kRunBins] = {};
    arctangents(leftMagnitude + first, rightMagnitude + first, magnitudeAngle, bins);
    if (frequencyRule_ != FrequencyRule::Disabled) {
        float numerator[kRunBins];
        float denominator[kRunBins];
        for (uint32_t k = 0; k < bins; ++k) {
            const bool swapped = frequencySwapped(magnitudeAngle[k]);
            numerator[k] = swapped ? rightFrequency[first + k] : leftFrequency[first + k];
            denominator[k] = swapped ? leftFrequency[first + k] : rightFrequency[first + k];
        }
        arctangents(numerator, denominator, frequencyAngle, bins);
    }
    for (uint32_t k = 0; k < bins; ++k) {
        const uint32_t b = first + k;
        writeBin(out, b,
                 placeByAngles(magnitudeAngle[k], frequencyAngle[k], leftMagnitude[b],
                               rightMagnitude[b]));
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
