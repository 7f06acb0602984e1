#include "host/spectral/SpeakerMix.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace quorveil::spectral {

namespace {

using Complex = std::complex<float>;

// The power normalisation lifts a bin by at most this factor (24 dB): only a
// bin whose estimates all vanish while its input does not would need more.
constexpr float kMostLift = 16.0f;

float squared(Complex z) { return z.real() * z.real() + z.imag() * z.imag(); }

// A weight the placement gave, or 0 for anything that is not a level.
float level(float w) { return w > 0.0f && w <= FLT_MAX ? w : 0.0f; }

struct DirectGains {
    float fl, fr, fc, bl, br;
};

DirectGains directGains(const std::array<const float*, kMainSpeakers>& weights, std::size_t k,
                        float width) {
    DirectGains g{level(weights[MainFL][k]), level(weights[MainFR][k]), level(weights[MainFC][k]),
                  level(weights[MainBL][k]), level(weights[MainBR][k])};
    const float sum = g.fl * g.fl + g.fr * g.fr + g.fc * g.fc + g.bl * g.bl + g.br * g.br;
    if (!(sum > 0.0f) || !(sum <= FLT_MAX)) return {0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
    const float inverse = 1.0f / std::sqrt(sum);
    g = {g.fl * inverse, g.fr * inverse, g.fc * inverse, g.bl * inverse, g.br * inverse};
    // Narrowing: FL and FR give up 1 − width² of their power to FC.
    const float sides = g.fl * g.fl + g.fr * g.fr;
    g.fc = std::sqrt(g.fc * g.fc + (1.0f - width * width) * sides);
    g.fl *= width;
    g.fr *= width;
    return g;
}

// X_L + X_R, or the louder channel where they are more than 90° apart.
Complex lfeReference(Complex left, Complex right) {
    const float together = left.real() * right.real() + left.imag() * right.imag();
    if (together >= 0.0f) return left + right;
    return squared(left) >= squared(right) ? left : right;
}

Complex unit(Complex z) {
    const float length = std::sqrt(squared(z));
    return length > 0.0f ? z * (1.0f / length) : Complex(1.0f, 0.0f);
}

}  // namespace

void mixSpeakers(const MixInputs& in, const MixLevels& levels,
                 const std::array<Complex*, kUpmixChannels>& out, std::size_t bins) {
    for (std::size_t k = 0; k < bins; ++k) {
        const DirectGains g = directGains(in.weights, k, levels.width);
        const Complex d = in.direct[k], al = in.ambientLeft[k], ar = in.ambientRight[k];

        // At unit levels first, for the power to keep.
        const Complex fl = g.fl * d + kAmbienceFront * al;
        const Complex fr = g.fr * d + kAmbienceFront * ar;
        const Complex fc = g.fc * d;
        const Complex bl = g.bl * d + kAmbienceRear * al;
        const Complex br = g.br * d + kAmbienceRear * ar;
        const float produced = squared(fl) + squared(fr) + squared(fc) + squared(bl) + squared(br);
        const float input = squared(in.left[k]) + squared(in.right[k]);
        const float lift =
            produced > 0.0f ? std::min(std::sqrt(input / produced), kMostLift) : 0.0f;

        const float h = in.lfeShare[k];
        const float mains = lift * std::sqrt(std::max(1.0f - h * h, 0.0f)) * levels.scale;
        const float front = kAmbienceFront * levels.ambience;
        const float rear = kAmbienceRear * levels.ambience;
        out[FL][k] = mains * (g.fl * d + front * al);
        out[FR][k] = mains * (g.fr * d + front * ar);
        out[FC][k] = mains * levels.centre * g.fc * d;
        out[BL][k] = mains * (g.bl * d + rear * al);
        out[BR][k] = mains * (g.br * d + rear * ar);
        out[LFE][k] = (h * std::sqrt(input) * levels.scale) * unit(lfeReference(in.left[k], in.right[k]));
    }
}

void fillLfeShares(float* shares, std::size_t bins, double cutoffHz, double sampleRate,
                   int fftSize) {
    for (std::size_t k = 0; k < bins; ++k) {
        if (!(cutoffHz > 0.0)) {
            shares[k] = 0.0f;
            continue;
        }
        const double ratio = static_cast<double>(k) * sampleRate / fftSize / cutoffHz;
        shares[k] = static_cast<float>(1.0 / std::sqrt(1.0 + std::pow(ratio, 24.0)));
    }
}

}  // namespace quorveil::spectral
