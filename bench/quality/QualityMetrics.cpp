// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/quality/QualityMetrics.h"

#include <algorithm>
#include <complex>
#include <numbers>

#include "host/spectral/Fft.h"

namespace quorveil::quality {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDownmixWeight = 1.0 / std::numbers::sqrt2;  // ITU: −3 dB
constexpr long kLongestLag = 4096;

double decibels(double ratio) { return 10.0 * std::log10(ratio); }

double energy(const std::vector<float>& x) {
    double sum = 0.0;
    for (float s : x) sum += static_cast<double>(s) * s;
    return sum;
}

std::size_t powerOfTwoAtLeast(std::size_t n) {
    std::size_t m = 1;
    while (m < n) m <<= 1;
    return m;
}

// The lag τ (|τ| ≤ kLongestLag) at which Σ over the pairs of Σ_t a(t+τ) b(t)
// is largest, by FFT.
long bestLag(const std::vector<std::pair<const std::vector<float>*, const std::vector<float>*>>& pairs) {
    std::size_t n = 0;
    for (const auto& [a, b] : pairs) n = std::max({n, a->size(), b->size()});
    const std::size_t size = powerOfTwoAtLeast(n + static_cast<std::size_t>(kLongestLag) + 1);
    spectral::RealFft fft(static_cast<int>(size));
    const std::size_t bins = size / 2 + 1;
    std::vector<std::complex<float>> sum(bins), first(bins);
    for (const auto& [a, b] : pairs) {
        std::fill(fft.time(), fft.time() + size, 0.0f);
        std::copy(a->begin(), a->end(), fft.time());
        fft.forward();
        std::copy(fft.spectrum(), fft.spectrum() + bins, first.begin());
        std::fill(fft.time(), fft.time() + size, 0.0f);
        std::copy(b->begin(), b->end(), fft.time());
        fft.forward();
        for (std::size_t k = 0; k < bins; ++k) sum[k] += first[k] * std::conj(fft.spectrum()[k]);
    }
    std::copy(sum.begin(), sum.end(), fft.spectrum());
    fft.inverse();
    long best = 0;
    float bestValue = -INFINITY;
    for (long lag = -kLongestLag; lag <= kLongestLag; ++lag) {
        const float value = fft.time()[lag >= 0 ? static_cast<std::size_t>(lag)
                                                : size - static_cast<std::size_t>(-lag)];
        if (value > bestValue) {
            bestValue = value;
            best = lag;
        }
    }
    return best;
}

std::vector<float> shifted(const std::vector<float>& x, long lag, std::size_t length) {
    std::vector<float> out(length, 0.0f);
    for (std::size_t t = 0; t < length; ++t) {
        const long from = static_cast<long>(t) + lag;
        if (from >= 0 && from < static_cast<long>(x.size())) out[t] = x[static_cast<std::size_t>(from)];
    }
    return out;
}

std::vector<float> hann(std::size_t n) {
    std::vector<float> w(n);
    for (std::size_t i = 0; i < n; ++i) {
        w[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(i) / static_cast<double>(n)));
    }
    return w;
}

}  // namespace

std::array<double, kChannels> channelEnergies(const Surround& out) {
    std::array<double, kChannels> energies{};
    for (std::size_t c = 0; c < kChannels; ++c) energies[c] = energy(out[c]);
    return energies;
}

double sharePercent(const std::array<double, kChannels>& energies, std::initializer_list<int> channels) {
    double total = 0.0, part = 0.0;
    for (double e : energies) total += e;
    for (int c : channels) part += energies[static_cast<std::size_t>(c)];
    return total > 0.0 ? 100.0 * part / total : NAN;
}

double powerRatioDb(const TestSignal& in, const Surround& out) {
    double produced = 0.0;
    for (double e : channelEnergies(out)) produced += e;
    return decibels(produced / (energy(in.left) + energy(in.right)));
}

EnergyVector energyVector(const std::array<double, kChannels>& energies) {
    double x = 0.0, y = 0.0, total = 0.0;
    for (std::size_t c = 0; c < kChannels; ++c) {
        if (std::isnan(kSpeakerAzimuth[c])) continue;
        const double a = kSpeakerAzimuth[c] * kPi / 180.0;
        x += energies[c] * std::cos(a);
        y += energies[c] * std::sin(a);
        total += energies[c];
    }
    if (!(total > 0.0)) return {};
    return {std::atan2(y, x) * 180.0 / kPi, std::hypot(x, y) / total};
}

double downmixErrorDb(const TestSignal& in, const Surround& out) {
    const std::size_t n = std::min(in.left.size(), out[FL].size());
    std::vector<float> left(n), right(n);
    for (std::size_t t = 0; t < n; ++t) {
        left[t] = static_cast<float>(out[FL][t] + kDownmixWeight * (out[FC][t] + out[BL][t]));
        right[t] = static_cast<float>(out[FR][t] + kDownmixWeight * (out[FC][t] + out[BR][t]));
    }
    return stereoErrorDb(in, left, right);
}

double stereoErrorDb(const TestSignal& in, const std::vector<float>& left, const std::vector<float>& right) {
    const std::size_t n = std::min({in.left.size(), left.size(), right.size()});
    const long lag = bestLag({{&left, &in.left}, {&right, &in.right}});
    double dd = 0.0, dx = 0.0, xx = 0.0;
    for (std::size_t t = 0; t < n; ++t) {
        const long from = static_cast<long>(t) + lag;
        if (from < 0 || from >= static_cast<long>(n)) continue;
        const auto f = static_cast<std::size_t>(from);
        dd += static_cast<double>(left[f]) * left[f] + static_cast<double>(right[f]) * right[f];
        dx += static_cast<double>(left[f]) * in.left[t] + static_cast<double>(right[f]) * in.right[t];
        xx += static_cast<double>(in.left[t]) * in.left[t] +
              static_cast<double>(in.right[t]) * in.right[t];
    }
    if (!(dd > 0.0) || !(xx > 0.0)) return 0.0;
    // ‖g·d − x‖² at the best g = dx / dd.
    return decibels(std::max(xx - dx * dx / dd, 1e-30 * xx) / xx);
}

double dialogueToRestDb(const std::vector<float>& centre, const std::vector<float>& dialogue) {
    constexpr std::size_t kSize = 2048, kHop = 512, kBlock = 16;
    const std::size_t n = std::min(centre.size(), dialogue.size());
    const long lag = bestLag({{&centre, &dialogue}});
    const std::vector<float> y = shifted(centre, lag, n);
    const std::vector<float> window = hann(kSize);
    spectral::RealFft fft(static_cast<int>(kSize));
    const std::size_t bins = kSize / 2 + 1;
    std::vector<std::complex<double>> cross(bins);
    std::vector<double> dialoguePower(bins), centrePower(bins);
    double explained = 0.0, rest = 0.0;
    auto spectrumOf = [&](const std::vector<float>& x, std::size_t at, std::vector<std::complex<float>>& bins_) {
        for (std::size_t i = 0; i < kSize; ++i) fft.time()[i] = x[at + i] * window[i];
        fft.forward();
        std::copy(fft.spectrum(), fft.spectrum() + bins, bins_.begin());
    };
    std::vector<std::complex<float>> ys(bins), ds(bins);
    std::size_t framesInBlock = 0;
    auto closeBlock = [&] {
        for (std::size_t k = 0; k < bins; ++k) {
            const double fitted = dialoguePower[k] > 0.0 ? std::norm(cross[k]) / dialoguePower[k] : 0.0;
            explained += fitted;
            rest += centrePower[k] - fitted;
        }
        std::fill(cross.begin(), cross.end(), std::complex<double>());
        std::fill(dialoguePower.begin(), dialoguePower.end(), 0.0);
        std::fill(centrePower.begin(), centrePower.end(), 0.0);
        framesInBlock = 0;
    };
    for (std::size_t at = 0; at + kSize <= n; at += kHop) {
        spectrumOf(y, at, ys);
        spectrumOf(dialogue, at, ds);
        for (std::size_t k = 0; k < bins; ++k) {
            const std::complex<double> yk(ys[k]), dk(ds[k]);
            cross[k] += yk * std::conj(dk);
            dialoguePower[k] += std::norm(dk);
            centrePower[k] += std::norm(yk);
        }
        if (++framesInBlock == kBlock) closeBlock();
    }
    if (framesInBlock > 0) closeBlock();
    return decibels(explained / std::max(rest, 1e-30));
}

double lfeLeakageDb(const std::vector<float>& lfe, double aboveHz) {
    constexpr std::size_t kSize = 8192, kHop = 4096;
    const std::vector<float> window = hann(kSize);
    spectral::RealFft fft(static_cast<int>(kSize));
    const std::size_t bins = kSize / 2 + 1;
    double above = 0.0, total = 0.0;
    for (std::size_t at = 0; at + kSize <= lfe.size(); at += kHop) {
        for (std::size_t i = 0; i < kSize; ++i) fft.time()[i] = lfe[at + i] * window[i];
        fft.forward();
        for (std::size_t k = 0; k < bins; ++k) {
            const double p = std::norm(std::complex<double>(fft.spectrum()[k]));
            total += p;
            if (static_cast<double>(k) * kSampleRate / kSize > aboveHz) above += p;
        }
    }
    if (!(total > 0.0)) return NAN;
    return decibels(std::max(above, 1e-30 * total) / total);
}

double peakDbfs(const Surround& out) {
    float peak = 0.0f;
    for (const std::vector<float>& channel : out) {
        for (float s : channel) peak = std::max(peak, std::fabs(s));
    }
    return 20.0 * std::log10(static_cast<double>(std::max(peak, 1e-30f)));
}

QualityRow measure(const TestSignal& in, const Surround& plain, const Surround& noDelay,
                   const Surround* withLfe) {
    QualityRow row;
    row.signal = in.name;
    const std::array<double, kChannels> energies = channelEnergies(plain);
    for (int c = 0; c < kChannels; ++c) row.share[static_cast<std::size_t>(c)] = sharePercent(energies, {c});
    row.powerDb = powerRatioDb(in, plain);
    row.vector = energyVector(energies);
    row.expectedAzimuth = in.expectedAzimuth;
    row.downmixDb = downmixErrorDb(in, noDelay);
    if (in.kind == SignalKind::Dialogue) row.dialogueDb = dialogueToRestDb(plain[FC], in.dialogue);
    if (withLfe != nullptr) row.lfeLeakDb = lfeLeakageDb((*withLfe)[LFE]);
    row.peakDb = peakDbfs(plain);
    return row;
}

}  // namespace quorveil::quality
