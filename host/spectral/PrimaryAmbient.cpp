// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/PrimaryAmbient.h"

#include <algorithm>
#include <cmath>

#include "compiler/VectorClones.h"

namespace quorveil::spectral {

namespace {

// Averages below this are silence: they would otherwise decay through the
// subnormal range, where every operation is slow.
constexpr float kSilentPower = 1e-30f;

// A channel's ambience is post-scaled by at most this power ratio (60 dB):
// the least-squares residual is tiny exactly where the ratio is huge.
constexpr float kMostAmbientBoost = 1e6f;

float flushedToSilence(float power) { return power > kSilentPower ? power : 0.0f; }

}  // namespace

float smoothingWeight(double timeConstantSeconds, int hop, double sampleRate) {
    if (!(timeConstantSeconds > 0.0)) return 1.0f;
    return static_cast<float>(1.0 - std::exp(-hop / (timeConstantSeconds * sampleRate)));
}

// For independent frames a one-pole average of weight a leaves
// E|γ|² = a / (2 − a). Frames m hops apart share samples: their bins
// correlate by r(m) = Σ w(n) w(n + m·hop) / Σ w², which adds the terms
// r(m)² (1 − a)^|m|.
float coherenceFloor(const std::vector<float>& window, int hop, float weight) {
    const std::size_t n = window.size();
    double energy = 0.0;
    for (float w : window) energy += static_cast<double>(w) * w;
    if (!(energy > 0.0) || hop <= 0) return 0.0f;
    const double a = weight;
    double sum = 1.0;
    for (std::size_t shift = static_cast<std::size_t>(hop), m = 1; shift < n; shift += static_cast<std::size_t>(hop), ++m) {
        double shared = 0.0;
        for (std::size_t i = 0; i + shift < n; ++i) {
            shared += static_cast<double>(window[i]) * window[i + shift];
        }
        const double r = shared / energy;
        sum += 2.0 * r * r * std::pow(1.0 - a, static_cast<double>(m));
    }
    return static_cast<float>(std::min(1.0, a / (2.0 - a) * sum));
}

PrimaryAmbientSplit::PrimaryAmbientSplit(int bins)
    : powerLeft_(static_cast<std::size_t>(bins)), powerRight_(static_cast<std::size_t>(bins)),
      crossReal_(static_cast<std::size_t>(bins)), direct_(static_cast<std::size_t>(bins)),
      ambientLeft_(static_cast<std::size_t>(bins)), ambientRight_(static_cast<std::size_t>(bins)),
      levelLeft_(static_cast<std::size_t>(bins)), levelRight_(static_cast<std::size_t>(bins)) {}

void PrimaryAmbientSplit::reset() {
    std::fill(powerLeft_.begin(), powerLeft_.end(), 0.0f);
    std::fill(powerRight_.begin(), powerRight_.end(), 0.0f);
    std::fill(crossReal_.begin(), crossReal_.end(), 0.0f);
}

QUORVEIL_VECTOR_CLONES
void PrimaryAmbientSplit::split(const std::complex<float>* left, const std::complex<float>* right) {
    const float weight = weight_, keep = 1.0f - weight_, floor = floor_;
    const std::size_t bins = powerLeft_.size();
    // The inputs and every array written are apart: tell the compiler, which
    // cannot see it across so many arrays.
QUORVEIL_ARRAYS_APART
    for (std::size_t k = 0; k < bins; ++k) {
        const float lr = left[k].real(), li = left[k].imag();
        const float rr = right[k].real(), ri = right[k].imag();

        // The averages.
        const float pl = flushedToSilence(keep * powerLeft_[k] + weight * (lr * lr + li * li));
        const float pr = flushedToSilence(keep * powerRight_[k] + weight * (rr * rr + ri * ri));
        const float cross = keep * crossReal_[k] + weight * (lr * rr + li * ri);
        powerLeft_[k] = pl;
        powerRight_[k] = pr;
        crossReal_[k] = std::fabs(cross) > kSilentPower ? cross : 0.0f;

        // Shared in-phase power, less the bias of its estimate: averaged over
        // N frames, a coherence γ² shows on average γ² + (1 − γ²)²/N, and
        // 1/N is the floor. A coherent bin (γ² = 1) loses nothing.
        const float inPhase = std::max(cross, 0.0f);
        const float product = pl * pr;
        const float coherence = product > 0.0f ? std::min(inPhase * inPhase / product, 1.0f) : 0.0f;
        const float incoherence = 1.0f - coherence;
        const float shared =
            std::max(inPhase * inPhase - floor * incoherence * incoherence * product, 0.0f);

        // Ambient power per channel: the covariance's smaller eigenvalue.
        const float difference = pl - pr;
        const float spread = std::sqrt(difference * difference + 4.0f * shared);
        const float ambient = std::clamp(0.5f * ((pl + pr) - spread), 0.0f, std::min(pl, pr));
        const float directLeft = pl - ambient, directRight = pr - ambient;
        const float directPower = directLeft + directRight;
        const float total = directPower + ambient;
        levelLeft_[k] = std::sqrt(directLeft);
        levelRight_[k] = std::sqrt(directRight);

        // The direct signal's direction (uL, uR) and its projection y.
        const float perDirect = directPower > 0.0f ? 1.0f / directPower : 0.0f;
        const float ul = std::sqrt(directLeft * perDirect), ur = std::sqrt(directRight * perDirect);
        const float yr = ul * lr + ur * rr, yi = ul * li + ur * ri;
        // Least squares: the Wiener share of y. Post-scaled to the direct
        // power, that is y times the share's square root.
        const float share = total > 0.0f ? directPower * (1.0f / total) : 0.0f;
        const float lsr = share * yr, lsi = share * yi;
        const float scaled = std::sqrt(share);
        direct_[k] = {scaled * yr, scaled * yi};

        // What the least-squares direct part leaves of each channel has, on
        // average, σ(d_other + σ) / total of power; post-scaled to σ.
        const float boostLeft =
            std::min(total, kMostAmbientBoost * (directRight + ambient)) /
            std::max(directRight + ambient, kSilentPower);
        const float boostRight =
            std::min(total, kMostAmbientBoost * (directLeft + ambient)) /
            std::max(directLeft + ambient, kSilentPower);
        const float gl = ambient > 0.0f ? std::sqrt(boostLeft) : 0.0f;
        const float gr = ambient > 0.0f ? std::sqrt(boostRight) : 0.0f;
        ambientLeft_[k] = {gl * (lr - ul * lsr), gl * (li - ul * lsi)};
        ambientRight_[k] = {gr * (rr - ur * lsr), gr * (ri - ur * lsi)};
    }
}

}  // namespace quorveil::spectral
