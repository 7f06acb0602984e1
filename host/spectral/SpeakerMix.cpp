// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/SpeakerMix.h"

#include <algorithm>
#include <cmath>

namespace quorveil::spectral {

namespace {

using Complex = std::complex<float>;

constexpr float kPhantom = 0.70710678f;
// Bands for the sides and backs of 7.1: a third of an octave, at least this
// many bins.
constexpr std::size_t kFewestBandBins = 4;
constexpr double kBandwidth = 0.23;

}  // namespace

LayoutRouting::LayoutRouting(const SpeakerLayout& layout, int bins)
    : layout_(&layout), lfe_(layout.channelOf(SpeakerId::LFE)) {
    parity_.assign(static_cast<std::size_t>(bins), 0);
    uint8_t band = 0;
    for (std::size_t start = 0; start < parity_.size(); band ^= 1) {
        const auto width = std::max<std::size_t>(
            kFewestBandBins, static_cast<std::size_t>(std::lround(static_cast<double>(start) * kBandwidth)));
        const std::size_t end = std::min(parity_.size(), start + width);
        std::fill(parity_.begin() + static_cast<std::ptrdiff_t>(start),
                  parity_.begin() + static_cast<std::ptrdiff_t>(end), band);
        start = end;
    }

    const int fl = layout.channelOf(SpeakerId::FL), fr = layout.channelOf(SpeakerId::FR),
              fc = layout.channelOf(SpeakerId::FC), bl = layout.channelOf(SpeakerId::BL),
              br = layout.channelOf(SpeakerId::BR), sl = layout.channelOf(SpeakerId::SL),
              sr = layout.channelOf(SpeakerId::SR);
    for (int parity = 0; parity < 2; ++parity) {
        std::vector<Term>& t = terms_[static_cast<std::size_t>(parity)];
        t.push_back({fl, BusFL, 1.0f});
        t.push_back({fr, BusFR, 1.0f});
        t.push_back({fl, BusAmbientFrontL, 1.0f});
        t.push_back({fr, BusAmbientFrontR, 1.0f});
        if (fc >= 0) {
            t.push_back({fc, BusFC, 1.0f});
        } else {
            t.push_back({fl, BusFC, kPhantom});
            t.push_back({fr, BusFC, kPhantom});
        }
        if (sl >= 0) {
            // 7.1: ambience to the sides in even bands, to the backs in odd.
            t.push_back({parity == 0 ? sl : bl, BusAmbientL, 1.0f});
            t.push_back({parity == 0 ? sr : br, BusAmbientR, 1.0f});
            t.push_back({bl, BusRearL, 1.0f});
            t.push_back({br, BusRearR, 1.0f});
        } else if (bl >= 0) {
            t.push_back({bl, BusAmbientL, 1.0f});
            t.push_back({br, BusAmbientR, 1.0f});
            t.push_back({bl, BusRearL, 1.0f});
            t.push_back({br, BusRearR, 1.0f});
        } else {
            // No surrounds: whatever reaches the rear buses joins its front.
            t.push_back({fl, BusAmbientL, 1.0f});
            t.push_back({fr, BusAmbientR, 1.0f});
            t.push_back({fl, BusRearL, 1.0f});
            t.push_back({fr, BusRearR, 1.0f});
        }
    }
}

SurroundSplit LayoutRouting::split() const {
    if (layout_->hasSurrounds()) return SurroundSplit{};
    return SurroundSplit{1.0f, 0.0f, 1.0f, 0.0f};
}

void mixSpeakers(const BinMatrix* matrix, const Complex* left, const Complex* right,
                 const LayoutRouting& routing, const float* lfeShare, LfeMode lfeMode, float scale,
                 const std::array<Complex*, kMostSpeakers>& out, std::size_t bins) {
    const int channels = routing.channels(), lfe = routing.lfeChannel();
    const uint8_t* parity = routing.parities();
    for (std::size_t k = 0; k < bins; ++k) {
        const Complex l = left[k], r = right[k];
        std::array<Complex, kMostSpeakers> y{};
        const BinMatrix& m = matrix[k];
        for (const LayoutRouting::Term& term : routing.terms(parity[k])) {
            const BusRow& row = m[static_cast<std::size_t>(term.bus)];
            y[static_cast<std::size_t>(term.channel)] += term.gain * (row[0] * l + row[1] * r);
        }
        float mains = 1.0f;
        if (lfeShare != nullptr && lfe >= 0) {
            const float h = lfeShare[k];
            if (lfeMode == LfeMode::Crossover) mains = std::sqrt(std::max(1.0f - h * h, 0.0f));
            // The phase of X_L + X_R, or of the louder channel where the two
            // are more than 90 degrees apart.
            const bool together = (l * std::conj(r)).real() >= 0.0f;
            const bool leftLouder = std::norm(l) >= std::norm(r);
            const Complex sum = together ? l + r : (leftLouder ? l : r);
            const float length = std::sqrt(std::norm(sum));  // bins are far below float's range
            const float input = std::sqrt(std::norm(l) + std::norm(r));
            y[static_cast<std::size_t>(lfe)] =
                length > 0.0f ? (kLfeLevel * h * input * scale / length) * sum : Complex(kLfeLevel * h * input * scale);
        }
        for (int c = 0; c < channels; ++c) {
            if (c == lfe) {
                if (lfeShare != nullptr) out[static_cast<std::size_t>(c)][k] = y[static_cast<std::size_t>(c)];
                continue;
            }
            out[static_cast<std::size_t>(c)][k] = mains * y[static_cast<std::size_t>(c)];
        }
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
