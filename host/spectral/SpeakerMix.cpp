// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/SpeakerMix.h"

#include <algorithm>
#include <cmath>

#include "host/spectral/BinLanes.h"

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

    blockParity_.assign(matrixBlocks(parity_.size()), -1);
    for (std::size_t b = 0; b < blockParity_.size(); ++b) {
        const std::size_t first = b * kBlockBins;
        if (first + kBlockBins > parity_.size()) continue;
        const bool one = std::all_of(parity_.begin() + static_cast<std::ptrdiff_t>(first),
                                     parity_.begin() + static_cast<std::ptrdiff_t>(first + kBlockBins),
                                     [&](uint8_t p) { return p == parity_[first]; });
        if (one) blockParity_[b] = static_cast<int8_t>(parity_[first]);
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

namespace {

using lanes::Cx;

// The speakers' spectra of bin k, or of a block's kLanes bins from k
// (V = Lanes, lane 0), each lane as one bin (BinLanes.h).
template <typename V>
void mixBins(const MatrixBlock& block, int lane, std::size_t k, const Complex* left, const Complex* right,
             const std::vector<LayoutRouting::Term>& terms, int channels, int lfe, const float* lfeShare,
             LfeMode lfeMode, float scale, const std::array<Complex*, kMostSpeakers>& out) {
    using lanes::loaded;
    using lanes::select;
    const Cx<V> l = lanes::loadCx<V>(left + k), r = lanes::loadCx<V>(right + k);
    std::array<Cx<V>, kMostSpeakers> y{};
    for (const LayoutRouting::Term& term : terms) {
        const auto& row = block.at[term.bus];
        const Cx<V> a{loaded<V>(&row[0][MatrixBlock::Re][lane]), loaded<V>(&row[0][MatrixBlock::Im][lane])};
        const Cx<V> b{loaded<V>(&row[1][MatrixBlock::Re][lane]), loaded<V>(&row[1][MatrixBlock::Im][lane])};
        Cx<V>& to = y[static_cast<std::size_t>(term.channel)];
        to = to + lanes::splat<V>(term.gain) * (a * l + b * r);
    }
    V mains = lanes::splat<V>(1.0f);
    if (lfeShare != nullptr && lfe >= 0) {
        const V h = loaded<V>(lfeShare + k);
        if (lfeMode == LfeMode::Crossover) mains = lanes::sqrtOf(lanes::maxOf(1.0f - h * h, V{}));
        // The phase of X_L + X_R, or of the louder channel where the two
        // are more than 90 degrees apart.
        const auto together = (l * lanes::conj(r)).re >= 0.0f;
        const auto leftLouder = lanes::norm(l) >= lanes::norm(r);
        const Cx<V> sum = lanes::select(together, l + r, lanes::select(leftLouder, l, r));
        const V length = lanes::sqrtOf(lanes::norm(sum));  // bins are far below float's range
        const V input = lanes::sqrtOf(lanes::norm(l) + lanes::norm(r));
        const V level = kLfeLevel * h * input * scale;
        y[static_cast<std::size_t>(lfe)] = lanes::select(length > V{}, (level / length) * sum, Cx<V>{level, V{}});
    }
    for (int c = 0; c < channels; ++c) {
        if (c == lfe) {
            if (lfeShare != nullptr) lanes::storeCx(out[static_cast<std::size_t>(c)] + k, y[static_cast<std::size_t>(c)]);
            continue;
        }
        lanes::storeCx(out[static_cast<std::size_t>(c)] + k, mains * y[static_cast<std::size_t>(c)]);
    }
}

}  // namespace

void mixSpeakers(const MatrixBlock* matrix, const Complex* left, const Complex* right,
                 const LayoutRouting& routing, const float* lfeShare, LfeMode lfeMode, float scale,
                 const std::array<Complex*, kMostSpeakers>& out, std::size_t bins) {
    const int channels = routing.channels(), lfe = routing.lfeChannel();
    const uint8_t* parity = routing.parities();
    // A block's bins at once where they share their band's parity, one at a
    // time elsewhere.
    for (std::size_t k = 0; k < bins; k += kBlockBins) {
        const MatrixBlock& block = matrix[k / kBlockBins];
        const auto* terms = k + kBlockBins <= bins ? routing.blockTerms(k / kBlockBins) : nullptr;
        if (terms != nullptr) {
            mixBins<lanes::Lanes>(block, 0, k, left, right, *terms, channels, lfe, lfeShare, lfeMode, scale, out);
            continue;
        }
        for (std::size_t j = k; j < std::min(bins, k + kBlockBins); ++j)
            mixBins<float>(block, static_cast<int>(j - k), j, left, right, routing.terms(parity[j]), channels, lfe,
                           lfeShare, lfeMode, scale, out);
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
