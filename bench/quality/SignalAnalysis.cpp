// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/quality/SignalAnalysis.h"

#include <algorithm>
#include <numbers>
#include <stdexcept>

#include "host/spectral/Fft.h"

namespace quorveil::quality {

namespace {

constexpr double kPi = std::numbers::pi;

std::vector<float> hannWindow(std::size_t n) {
    std::vector<float> w(n);
    for (std::size_t i = 0; i < n; ++i) {
        w[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(i) /
                                                        static_cast<double>(n)));
    }
    return w;
}

// Windowed frames of one signal, `size` long, hop size/2, from `skip` on,
// each shifted by `lag` (frame m reads x[start + lag + i], zeros outside).
class FrameSpectra {
public:
    explicit FrameSpectra(std::size_t size)
        : size_(size), window_(hannWindow(size)), fft_(static_cast<int>(size)) {}

    std::size_t bins() const { return size_ / 2 + 1; }
    std::size_t frameCount(std::size_t length, std::size_t skip) const {
        return length >= skip + size_ ? (length - skip - size_) / (size_ / 2) + 1 : 0;
    }
    // The spectrum of frame `m`, valid until the next call.
    const std::complex<float>* frame(const std::vector<float>& x, std::size_t skip, std::size_t m,
                                     long lag = 0) {
        const long start = static_cast<long>(skip + m * (size_ / 2)) + lag;
        for (std::size_t i = 0; i < size_; ++i) {
            const long at = start + static_cast<long>(i);
            const float sample =
                at >= 0 && at < static_cast<long>(x.size()) ? x[static_cast<std::size_t>(at)] : 0.0f;
            fft_.time()[i] = sample * window_[i];
        }
        fft_.forward();
        return fft_.spectrum();
    }
    spectral::RealFft& fft() { return fft_; }

private:
    std::size_t size_;
    std::vector<float> window_;
    spectral::RealFft fft_;
};

// The lag (|lag| < size/2) where the circular cross-correlation whose
// spectrum is `cross` peaks in magnitude; y(t) ≈ r(t − lag).
long peakLag(const std::vector<std::complex<double>>& cross, spectral::RealFft& fft) {
    const auto size = static_cast<std::size_t>(fft.size());
    for (std::size_t k = 0; k < cross.size(); ++k) fft.spectrum()[k] = std::complex<float>(cross[k]);
    fft.inverse();
    long best = 0;
    float bestValue = -1.0f;
    for (std::size_t i = 0; i < size; ++i) {
        const long lag = i < size / 2 ? static_cast<long>(i) : static_cast<long>(i) - static_cast<long>(size);
        if (std::fabs(fft.time()[i]) > bestValue) {
            bestValue = std::fabs(fft.time()[i]);
            best = lag;
        }
    }
    return best;
}

}  // namespace

double energyIn(const std::vector<float>& x, long begin, long end) {
    begin = std::max(begin, 0L);
    end = std::min(end, static_cast<long>(x.size()));
    double sum = 0.0;
    for (long t = begin; t < end; ++t) {
        const double s = x[static_cast<std::size_t>(t)];
        sum += s * s;
    }
    return sum;
}

std::array<double, kChannels> energiesIn(const Surround& out, long begin, long end) {
    std::array<double, kChannels> energies{};
    for (std::size_t c = 0; c < kChannels; ++c) energies[c] = energyIn(out[c], begin, end);
    return energies;
}

double sumOf(const std::array<double, kChannels>& energies, std::initializer_list<int> channels) {
    double sum = 0.0;
    for (int c : channels) sum += energies[static_cast<std::size_t>(c)];
    return sum;
}

double sumOfAll(const std::array<double, kChannels>& energies) {
    double sum = 0.0;
    for (double e : energies) sum += e;
    return sum;
}

std::vector<double> frameEnergies(const std::vector<float>& x, std::size_t frame) {
    std::vector<double> energies(x.size() / frame);
    for (std::size_t f = 0; f < energies.size(); ++f) {
        energies[f] = energyIn(x, static_cast<long>(f * frame), static_cast<long>((f + 1) * frame));
    }
    return energies;
}

double decibelsOf(double numerator, double denominator) {
    if (!(denominator > 0.0)) return numerator > 0.0 ? 300.0 : NAN;
    if (!(numerator > 0.0)) return -300.0;
    return 10.0 * std::log10(numerator / denominator);
}

double median(std::vector<double> values) {
    std::erase_if(values, [](double v) { return !std::isfinite(v); });
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    const std::size_t half = values.size() / 2;
    return values.size() % 2 == 1 ? values[half] : 0.5 * (values[half - 1] + values[half]);
}

double correlation(const std::vector<float>& a, const std::vector<float>& b, std::size_t skip) {
    const std::size_t n = std::min(a.size(), b.size());
    if (n <= skip + 1) return NAN;
    double meanA = 0.0, meanB = 0.0;
    for (std::size_t t = skip; t < n; ++t) {
        meanA += a[t];
        meanB += b[t];
    }
    meanA /= static_cast<double>(n - skip);
    meanB /= static_cast<double>(n - skip);
    double ab = 0.0, aa = 0.0, bb = 0.0;
    for (std::size_t t = skip; t < n; ++t) {
        const double x = a[t] - meanA, y = b[t] - meanB;
        ab += x * y;
        aa += x * x;
        bb += y * y;
    }
    return aa > 0.0 && bb > 0.0 ? ab / std::sqrt(aa * bb) : NAN;
}

std::vector<double> welchPower(const std::vector<float>& x, std::size_t size, std::size_t skip) {
    FrameSpectra spectra(size);
    std::vector<double> power(spectra.bins(), 0.0);
    const std::size_t frames = spectra.frameCount(x.size(), skip);
    for (std::size_t m = 0; m < frames; ++m) {
        const std::complex<float>* bins = spectra.frame(x, skip, m);
        for (std::size_t k = 0; k < power.size(); ++k) power[k] += std::norm(std::complex<double>(bins[k]));
    }
    return power;
}

std::array<double, kChannels> coherentEnergies(const std::vector<float>& reference,
                                               const Surround& out, std::size_t size,
                                               std::size_t skip) {
    FrameSpectra spectra(size);
    const std::size_t bins = spectra.bins();
    const std::size_t frames = spectra.frameCount(reference.size(), skip);
    std::vector<std::complex<float>> referenceFrames(frames * bins);
    std::vector<double> referencePower(bins, 0.0);
    for (std::size_t m = 0; m < frames; ++m) {
        const std::complex<float>* r = spectra.frame(reference, skip, m);
        std::copy(r, r + bins, referenceFrames.begin() + static_cast<long>(m * bins));
        for (std::size_t k = 0; k < bins; ++k) referencePower[k] += std::norm(std::complex<double>(r[k]));
    }
    double largestReference = 0.0;
    for (double p : referencePower) largestReference = std::max(largestReference, p);

    std::array<double, kChannels> coherent{};
    std::vector<std::complex<double>> cross(bins);
    auto crossSpectrum = [&](const std::vector<float>& y, long lag) {
        std::fill(cross.begin(), cross.end(), std::complex<double>());
        for (std::size_t m = 0; m < frames; ++m) {
            const std::complex<float>* ys = spectra.frame(y, skip, m, lag);
            const std::complex<float>* rs = referenceFrames.data() + m * bins;
            for (std::size_t k = 0; k < bins; ++k) {
                cross[k] += std::complex<double>(ys[k]) * std::conj(std::complex<double>(rs[k]));
            }
        }
    };
    for (std::size_t c = 0; c < kChannels; ++c) {
        crossSpectrum(out[c], 0);
        const long lag = peakLag(cross, spectra.fft());
        if (lag != 0) crossSpectrum(out[c], lag);
        double sum = 0.0;
        for (std::size_t k = 0; k < bins; ++k) {
            // Bins the reference leaves (all but) empty say nothing.
            if (referencePower[k] > 1e-12 * largestReference) sum += std::norm(cross[k]) / referencePower[k];
        }
        coherent[c] = sum;
    }
    return coherent;
}

std::vector<Band> thirdOctaveBands(double from, double to) {
    std::vector<Band> bands;
    for (int k = -30; k <= 15; ++k) {
        const double centre = 1000.0 * std::pow(2.0, k / 3.0);
        if (centre < from * 0.99 || centre > to * 1.01) continue;
        bands.push_back({centre * std::pow(2.0, -1.0 / 6.0), centre, centre * std::pow(2.0, 1.0 / 6.0)});
    }
    return bands;
}

std::pair<std::size_t, std::size_t> binRange(const Band& band, std::size_t size) {
    const double binWidth = kSampleRate / static_cast<double>(size);
    const auto first = static_cast<std::size_t>(std::ceil(band.low / binWidth));
    const auto end = static_cast<std::size_t>(std::ceil(band.high / binWidth));
    if (end > first) return {first, end};
    const auto nearest = static_cast<std::size_t>(std::lround(band.centre / binWidth));
    return {nearest, nearest + 1};
}

std::vector<std::vector<double>> bandEnergies(const std::vector<float>& x, std::size_t size,
                                              std::size_t hop, const std::vector<Band>& bands,
                                              std::size_t skip) {
    const std::vector<float> window = hannWindow(size);
    spectral::RealFft fft(static_cast<int>(size));
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    for (const Band& band : bands) ranges.push_back(binRange(band, size));
    std::vector<std::vector<double>> levels(bands.size());
    for (std::size_t start = skip; start + size <= x.size(); start += hop) {
        for (std::size_t i = 0; i < size; ++i) fft.time()[i] = x[start + i] * window[i];
        fft.forward();
        for (std::size_t b = 0; b < bands.size(); ++b) {
            double sum = 0.0;
            for (std::size_t k = ranges[b].first; k < ranges[b].second; ++k) {
                sum += std::norm(std::complex<double>(fft.spectrum()[k]));
            }
            levels[b].push_back(sum);
        }
    }
    return levels;
}

std::size_t powerOfTwoAtLeast(std::size_t n) {
    std::size_t m = 1;
    while (m < n) m <<= 1;
    return m;
}

namespace {

// x through a filter given by its response per bin (k = 0 .. N/2), on the
// circle of x's length.
template <class Response>
std::vector<float> filteredOnCircle(const std::vector<float>& x, Response response) {
    const std::size_t n = x.size();
    if (n == 0 || powerOfTwoAtLeast(n) != n) {
        throw std::invalid_argument("a whole-signal FFT wants a power-of-two length");
    }
    spectral::RealFft fft(static_cast<int>(n));
    std::copy(x.begin(), x.end(), fft.time());
    fft.forward();
    for (std::size_t k = 0; k <= n / 2; ++k) {
        fft.spectrum()[k] = std::complex<float>(std::complex<double>(fft.spectrum()[k]) * response(k, n));
    }
    fft.inverse();
    std::vector<float> out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = fft.time()[i] / static_cast<float>(n);
    return out;
}

}  // namespace

std::vector<float> delayed(const std::vector<float>& x, double samples) {
    return filteredOnCircle(x, [samples](std::size_t k, std::size_t n) {
        const double phase = -2.0 * kPi * static_cast<double>(k) * samples / static_cast<double>(n);
        // At Nyquist a real signal keeps a real bin: only the cosine part.
        if (k == n / 2) return std::complex<double>(std::cos(phase), 0.0);
        return std::polar(1.0, phase);
    });
}

std::vector<float> phaseShifted(const std::vector<float>& x) {
    return filteredOnCircle(x, [](std::size_t k, std::size_t n) {
        return k == 0 || k == n / 2 ? std::complex<double>() : std::complex<double>(0.0, 1.0);
    });
}

std::vector<float> convolved(const std::vector<float>& x, const std::vector<float>& h) {
    const std::size_t size = powerOfTwoAtLeast(x.size() + h.size());
    spectral::RealFft fft(static_cast<int>(size));
    const std::size_t bins = size / 2 + 1;
    std::fill(fft.time(), fft.time() + size, 0.0f);
    std::copy(h.begin(), h.end(), fft.time());
    fft.forward();
    const std::vector<std::complex<float>> response(fft.spectrum(), fft.spectrum() + bins);
    std::fill(fft.time(), fft.time() + size, 0.0f);
    std::copy(x.begin(), x.end(), fft.time());
    fft.forward();
    for (std::size_t k = 0; k < bins; ++k) fft.spectrum()[k] *= response[k];
    fft.inverse();
    std::vector<float> out(x.size());
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = fft.time()[i] / static_cast<float>(size);
    return out;
}

}  // namespace quorveil::quality
