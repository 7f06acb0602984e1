#include "modules/arctan/ArcTanPlacement.h"

#include <cmath>
#include <cstddef>

namespace quorveil::arctan {

namespace {

// Arctangent, sine and cosine are taken in double on float arguments and
// rounded back to float, as the placement has always sounded.
inline float arctangent(float y, float x) {
    return static_cast<float>(std::atan2(static_cast<double>(y), static_cast<double>(x)));
}

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

    width_ = static_cast<float>(values.totalWidth);
    half_ = width_ * 0.5f;
    rightStart_ = 360.0f - half_;

    // Widths 0 give infinite reciprocals: an empty front zone is never
    // entered, an empty centre zone only by image angle 0 (see ringAngleFor).
    halfCenter_ = static_cast<float>(values.centerWidth) * 0.5f;
    inverseHalfCenter_ = 1.0f / halfCenter_;
    front_ = static_cast<float>(values.frontWidth);
    inverseFront_ = 1.0f / front_;
    rear_ = static_cast<float>(values.rearWidth);
    inverseRear_ = 1.0f / rear_;

    zoneEnd_[0] = halfCenter_;
    zoneEnd_[1] = zoneEnd_[0] + front_;
    zoneEnd_[2] = zoneEnd_[1] + rear_;
    zoneEnd_[3] = zoneEnd_[2] + rear_;
    zoneEnd_[4] = zoneEnd_[3] + front_;

    for (int s = 0; s < kSpeakers; ++s) {
        angle_[s] = static_cast<float>(values.speakerAngle[s]);
    }
    const float aLF = angle_[LF], aRF = angle_[RF], aC = angle_[C], aLS = angle_[LS],
                aRS = angle_[RS];

    slopeCenterLeft_ = (aLF - aC) * inverseHalfCenter_;
    arcFrontLeft_ = aLS - aLF;
    arcRearLeft_ = half_ - aLS;
    arcRearRight_ = aRS - rightStart_;
    arcFrontRight_ = aRF - aRS;
    arcCenterRight_ = 360.0f - aRF;

    // 90 table steps per speaker pair, whatever its span.
    scaleRC_ = 90.0f / ((aC + 360.0f) - aRF);
    scaleCL_ = 90.0f / (aLF - aC);
    scaleLL_ = 90.0f / (aLS - aLF);
    scaleLR_ = 90.0f / (aRS - aLS);
    scaleRR_ = 90.0f / (aRF - aRS);
}

// The zone warp: the image circle is cut at e1..e5 into centre, front and
// rear zones on each side, and each zone is stretched linearly onto its arc
// of the speaker ring. The first zone whose end is not passed applies.
float Placement::ringAngleFor(float g) const {
    const float aLF = angle_[LF], aRF = angle_[RF], aC = angle_[C], aLS = angle_[LS],
                aRS = angle_[RS];
    if (g <= zoneEnd_[0]) {
        return slopeCenterLeft_ * g + aC;
    }
    if (g <= zoneEnd_[1]) {
        return ((g - halfCenter_) * arcFrontLeft_) * inverseFront_ + aLF;
    }
    if (g <= zoneEnd_[2]) {
        return (((g - halfCenter_) - front_) * arcRearLeft_) * inverseRear_ + aLS;
    }
    if (g <= zoneEnd_[3]) {
        return (arcRearRight_ * (g - 180.0f)) * inverseRear_ + rightStart_;
    }
    if (g <= zoneEnd_[4]) {
        return (((g - 180.0f) - rear_) * arcFrontRight_) * inverseFront_ + aRS;
    }
    return ((((g - 180.0f) - rear_) - front_) * arcCenterRight_) * inverseHalfCenter_ + aRF;
}

// Where the zone that holds image angle g starts on the ring: C, LF, LS, the
// start of the right half, RS, RF, in the order of ringAngleFor.
float Placement::zoneStartFor(float g) const {
    const float starts[] = {angle_[C], angle_[LF], angle_[LS], rightStart_, angle_[RS]};
    for (int zone = 0; zone < 5; ++zone) {
        if (g <= zoneEnd_[zone]) {
            return starts[zone];
        }
    }
    return angle_[RF];
}

// The gain law: the pair of speakers enclosing `o`, counter-clockwise, takes
// cosine and sine of the step within the pair. The six tests are independent
// and each rewrites all five gains, so the last one that holds decides: they
// are tried from the last. Their ranges chain C, LF, LS, RS, RF, 359, so even
// with speakers out of order every real angle meets one; an angle that is not
// a number (or a speaker angle that is not) meets none and leaves the gains
// as they were.
void Placement::setGainsForAngle(float o) {
    const float aLF = angle_[LF], aRF = angle_[RF], aC = angle_[C], aLS = angle_[LS],
                aRS = angle_[RS];
    auto setPair = [this](int first, int second, float step) {
        const std::size_t k = tableIndex(step);
        speakerGains_ = {};
        speakerGains_[static_cast<std::size_t>(first)] = cosineTable_[k];
        speakerGains_[static_cast<std::size_t>(second)] = sineTable_[k];
    };
    if (aRS <= o && o < aRF) {
        setPair(RS, RF, (o - aRS) * scaleRR_);
    } else if (aLS <= o && o < aRS) {
        setPair(LS, RS, (o - aLS) * scaleLR_);
    } else if (aLF <= o && o < aLS) {
        setPair(LF, LS, (o - aLF) * scaleLL_);
    } else if (aC <= o && o < aLF) {
        setPair(C, LF, (o - aC) * scaleCL_);
    } else if (aRF <= o && o <= 359.0f) {
        setPair(RF, C, (o - aRF) * scaleRC_);
    } else if (aC > o || o > 359.0f) {
        speakerGains_ = {};
        speakerGains_[C] = 1.0f;
    }
}

// Inlined into the block loop; placeBin is the same for callers outside it.
[[gnu::always_inline]] inline BinPlacement Placement::placeInline(float leftFrequency,
                                                                  float rightFrequency,
                                                                  float leftMagnitude,
                                                                  float rightMagnitude) {
    BinPlacement out;

    // Position: 0 is right only, 1 left only, 0.5 the middle.
    const float magnitudeAngle = arctangent(leftMagnitude, rightMagnitude);
    const float magnitudePosition = magnitudeAngle * 0.6366f - 0.5f;
    float p;
    if (frequencyRule_ == FrequencyRule::Disabled) {
        p = static_cast<float>(static_cast<double>(magnitudeAngle) * 0.6366);
    } else {
        bool swapped = false;
        switch (frequencyRule_) {
        case FrequencyRule::SwappedBelowHalf: swapped = !(magnitudePosition >= 0.5f); break;
        case FrequencyRule::SwappedFromHalf: swapped = magnitudePosition >= 0.5f; break;
        case FrequencyRule::Swapped: swapped = true; break;
        default: break;
        }
        const float frequencyAngle = swapped ? arctangent(rightFrequency, leftFrequency)
                                             : arctangent(leftFrequency, rightFrequency);
        const float frequencyPosition = (frequencyAngle * 0.6366f - 0.5f) * 1.7f;
        p = (frequencyShare_ * frequencyPosition + magnitudeShare_ * magnitudePosition) + 0.5f;
    }
    out.position = p;

    // Image angle: position 0.5 is the front, above it the left half.
    const float t = p * width_;
    const float imageAngle = p < 0.5f ? t + rightStart_ : t - half_;
    const float o = ringAngleFor(imageAngle);
    // A centre zone of width 0 ("Center Width" 0), or one so narrow that the
    // stretch overflows, gives no angle: the bin is shown at the zone's start.
    // Its gains follow o as they always have.
    out.ringAngle = std::isfinite(o) || !std::isfinite(imageAngle) ? o : zoneStartFor(imageAngle);

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
    return placeInline(leftFrequency, rightFrequency, leftMagnitude, rightMagnitude);
}

void Placement::processBlock(const float* const* const* frequencyIn,
                             const float* const* const* magnitudeIn,
                             float* const* const* magnitudeOut, uint32_t frames, uint32_t bins) {
    for (uint32_t f = 0; f < frames; ++f) {
        const float* leftFrequency = frequencyIn[0][f];
        const float* rightFrequency = frequencyIn[1][f];
        const float* leftMagnitude = magnitudeIn[0][f];
        const float* rightMagnitude = magnitudeIn[1][f];
        float* out[kOutputPins];
        for (std::size_t pin = 0; pin < kOutputPins; ++pin) {
            out[pin] = magnitudeOut[pin][f];
        }
        for (uint32_t b = 0; b < bins; ++b) {
            const BinPlacement bin =
                placeInline(leftFrequency[b], rightFrequency[b], leftMagnitude[b], rightMagnitude[b]);
            for (std::size_t s = 0; s < kSpeakers; ++s) {
                out[kDominantPin + s][b] = bin.dominant[s];
                out[kLesserPin + s][b] = bin.lesser[s];
            }
            out[kPositionPin][b] = bin.position;
            out[kRingAnglePin][b] = bin.ringAngle;
        }
    }
}

}  // namespace quorveil::arctan
