// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/SpeakerMix.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "compiler/VectorClones.h"

namespace quorveil::spectral {

namespace {

using Complex = std::complex<float>;

// The power normalisation lifts a bin by at most this factor (24 dB): only a
// bin whose estimates all vanish while its input does not would need more.
constexpr float kMostLift = 16.0f;

// Complex arrays as float pairs, and selects instead of branches, so the
// compiler runs several bins at once.
const float* pairs(const Complex* z) { return reinterpret_cast<const float*>(z); }
float* pairs(Complex* z) { return reinterpret_cast<float*>(z); }

// A weight the placement gave, or 0 for anything that is not a level.
float level(float w) { return w > 0.0f && w <= FLT_MAX ? w : 0.0f; }

// One frame; with an LFE when `lfeShare` is given.
template <bool WithLfe>
QUORVEIL_INLINE_INTO_CLONES void mixFrame(const MixInputs& in, const MixLevels& levels,
              const std::array<Complex*, kUpmixChannels>& out, std::size_t bins) {
    const float *x = pairs(in.left), *y = pairs(in.right), *d = pairs(in.direct),
                *al = pairs(in.ambientLeft), *ar = pairs(in.ambientRight);
    const float *wfl = in.weights[MainFL], *wfr = in.weights[MainFR], *wfc = in.weights[MainFC],
                *wbl = in.weights[MainBL], *wbr = in.weights[MainBR], *share = in.lfeShare;
    float *ofl = pairs(out[FL]), *ofr = pairs(out[FR]), *ofc = pairs(out[FC]),
          *olfe = pairs(out[LFE]), *obl = pairs(out[BL]), *obr = pairs(out[BR]);
    const float width = levels.width, narrowing = 1.0f - width * width;
    const float front = kAmbienceFront * levels.ambience, rear = kAmbienceRear * levels.ambience;
    const float centre = levels.centre, scale = levels.scale;
    // No output shares memory with an input or another output: tell the
    // compiler, which cannot see it across so many arrays.
QUORVEIL_ARRAYS_APART
    for (std::size_t k = 0; k < bins; ++k) {
        const std::size_t re = 2 * k, im = 2 * k + 1;
        // Direct gains: the weights normalised (FC alone when all are 0),
        // then narrowed: FL and FR give 1 - width^2 of their power to FC.
        float fl = level(wfl[k]), fr = level(wfr[k]), fc = level(wfc[k]), bl = level(wbl[k]),
              br = level(wbr[k]);
        const float sum = fl * fl + fr * fr + fc * fc + bl * bl + br * br;
        const bool placed = sum > 0.0f && sum <= FLT_MAX;
        const float inverse = 1.0f / std::sqrt(placed ? sum : 1.0f);
        fl = placed ? fl * inverse : 0.0f;
        fr = placed ? fr * inverse : 0.0f;
        fc = placed ? fc * inverse : 1.0f;
        bl = placed ? bl * inverse : 0.0f;
        br = placed ? br * inverse : 0.0f;
        fc = std::sqrt(fc * fc + narrowing * (fl * fl + fr * fr));
        fl *= width;
        fr *= width;

        // At unit levels first, for the power to keep.
        const float flr = fl * d[re] + kAmbienceFront * al[re], fli = fl * d[im] + kAmbienceFront * al[im];
        const float frr = fr * d[re] + kAmbienceFront * ar[re], fri = fr * d[im] + kAmbienceFront * ar[im];
        const float fcr = fc * d[re], fci = fc * d[im];
        const float blr = bl * d[re] + kAmbienceRear * al[re], bli = bl * d[im] + kAmbienceRear * al[im];
        const float brr = br * d[re] + kAmbienceRear * ar[re], bri = br * d[im] + kAmbienceRear * ar[im];
        const float produced = flr * flr + fli * fli + frr * frr + fri * fri + fcr * fcr +
                               fci * fci + blr * blr + bli * bli + brr * brr + bri * bri;
        const float input = x[re] * x[re] + x[im] * x[im] + y[re] * y[re] + y[im] * y[im];
        const float ratio = produced > 0.0f ? input / (produced > 0.0f ? produced : 1.0f) : 0.0f;
        float mains = std::min(std::sqrt(ratio), kMostLift) * scale;

        if constexpr (WithLfe) {
            // The LFE's share of the power, with the phase of X_L + X_R, or
            // of the louder channel where the two are more than 90 degrees
            // apart (so it never cancels).
            const float h = share[k];
            mains *= std::sqrt(std::max(1.0f - h * h, 0.0f));
            const bool together = x[re] * y[re] + x[im] * y[im] >= 0.0f;
            const bool leftLouder = x[re] * x[re] + x[im] * x[im] >= y[re] * y[re] + y[im] * y[im];
            const float mr = together ? x[re] + y[re] : (leftLouder ? x[re] : y[re]);
            const float mi = together ? x[im] + y[im] : (leftLouder ? x[im] : y[im]);
            const float length = std::sqrt(mr * mr + mi * mi);
            const bool silent = !(length > 0.0f);
            const float lfe = h * std::sqrt(input) * scale / (silent ? 1.0f : length);
            olfe[re] = silent ? lfe : lfe * mr;
            olfe[im] = silent ? 0.0f : lfe * mi;
        }

        ofl[re] = mains * (fl * d[re] + front * al[re]);
        ofl[im] = mains * (fl * d[im] + front * al[im]);
        ofr[re] = mains * (fr * d[re] + front * ar[re]);
        ofr[im] = mains * (fr * d[im] + front * ar[im]);
        ofc[re] = mains * centre * fcr;
        ofc[im] = mains * centre * fci;
        obl[re] = mains * (bl * d[re] + rear * al[re]);
        obl[im] = mains * (bl * d[im] + rear * al[im]);
        obr[re] = mains * (br * d[re] + rear * ar[re]);
        obr[im] = mains * (br * d[im] + rear * ar[im]);
    }
}

QUORVEIL_VECTOR_CLONES
void mixFrameWithLfe(const MixInputs& in, const MixLevels& levels,
                     const std::array<Complex*, kUpmixChannels>& out, std::size_t bins) {
    mixFrame<true>(in, levels, out, bins);
}

QUORVEIL_VECTOR_CLONES
void mixFrameWithoutLfe(const MixInputs& in, const MixLevels& levels,
                        const std::array<Complex*, kUpmixChannels>& out, std::size_t bins) {
    mixFrame<false>(in, levels, out, bins);
}

}  // namespace

void mixSpeakers(const MixInputs& in, const MixLevels& levels,
                 const std::array<Complex*, kUpmixChannels>& out, std::size_t bins) {
    if (in.lfeShare != nullptr) {
        mixFrameWithLfe(in, levels, out, bins);
    } else {
        mixFrameWithoutLfe(in, levels, out, bins);
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
