// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/quality/ScorecardMeasures.h"

#include <algorithm>
#include <numbers>

#include "bench/quality/SignalAnalysis.h"
#include "host/spectral/Fft.h"

namespace quorveil::quality {

namespace {

constexpr double kFoldWeight = 1.0 / std::numbers::sqrt2;

long samplesAt(double seconds) { return std::lround(seconds * kSampleRate); }
std::size_t settle() { return static_cast<std::size_t>(samplesAt(kSettleSeconds)); }

// Half the sum (sign +1) or half the difference (sign −1) of two renderings.
Surround half(const Surround& a, const Surround& b, double sign) {
    Surround out;
    for (std::size_t c = 0; c < kChannels; ++c) {
        const std::size_t n = std::min(a[c].size(), b[c].size());
        out[c].resize(n);
        for (std::size_t i = 0; i < n; ++i) out[c][i] = static_cast<float>(0.5 * (a[c][i] + sign * b[c][i]));
    }
    return out;
}

struct OwnRenderings {
    Surround bed, source;
};
OwnRenderings ownRenderings(const Upmixer& upmixer, const BedAndSource& signal) {
    const Surround plus = upmixer.run(signal.mixed(+1.0), {});
    const Surround minus = upmixer.run(signal.mixed(-1.0), {});
    return {half(plus, minus, +1.0), half(plus, minus, -1.0)};
}

// The events after the first, each with the energies of the six channels
// over [from, to) seconds after its onset.
template <class PerEvent>
std::vector<double> overEvents(const BedAndSource& signal, PerEvent perEvent) {
    std::vector<double> values;
    for (std::size_t e = 1; e < signal.onsets.size(); ++e) values.push_back(perEvent(static_cast<long>(signal.onsets[e])));
    return values;
}

std::array<double, kChannels> span(const Surround& out, long onset, double from, double to) {
    return energiesIn(out, onset + samplesAt(from), onset + samplesAt(to));
}

double shareDb(const std::array<double, kChannels>& e, std::initializer_list<int> part) {
    return decibelsOf(sumOf(e, part), sumOfAll(e));
}

std::array<double, kChannels> settledEnergies(const Surround& out) {
    return energiesIn(out, static_cast<long>(settle()), static_cast<long>(out[FL].size()));
}

// Mean over bands of the std over frames of the band level in dB; NaN if
// any frame of any band is silent.
double meanBandStdDb(const std::vector<std::vector<double>>& levels) {
    double sum = 0.0;
    for (const std::vector<double>& band : levels) {
        double mean = 0.0, square = 0.0;
        for (double e : band) {
            if (!(e > 0.0)) return NAN;
            const double db = 10.0 * std::log10(e);
            mean += db;
            square += db * db;
        }
        const auto n = static_cast<double>(band.size());
        mean /= n;
        sum += std::sqrt(std::max(0.0, square / n - mean * mean));
    }
    return levels.empty() ? NAN : sum / static_cast<double>(levels.size());
}

double levelSpreadDb(const std::vector<float>& x) {
    return meanBandStdDb(bandEnergies(x, 1024, 1024, thirdOctaveBands(250.0, 8000.0), settle()));
}

// Mean over bands of each envelope's 4–32 Hz power against its mean
// squared, dB (envelopes at kSampleRate/256).
double modulationDb(const std::vector<float>& x) {
    constexpr std::size_t kHop = 256;
    const auto envelopes = bandEnergies(x, 1024, kHop, thirdOctaveBands(250.0, 8000.0), settle());
    double sum = 0.0;
    for (const std::vector<double>& envelope : envelopes) {
        const std::size_t m = envelope.size();
        double mean = 0.0;
        for (double e : envelope) mean += e;
        mean /= static_cast<double>(m);
        if (!(mean > 0.0)) return NAN;
        const std::size_t size = powerOfTwoAtLeast(m);
        spectral::RealFft fft(static_cast<int>(size));
        std::fill(fft.time(), fft.time() + size, 0.0f);
        for (std::size_t i = 0; i < m; ++i) fft.time()[i] = static_cast<float>((envelope[i] - mean) / mean);
        fft.forward();
        const double rate = kSampleRate / kHop;
        double band = 0.0;
        for (std::size_t k = 1; k <= size / 2; ++k) {
            const double f = static_cast<double>(k) * rate / static_cast<double>(size);
            if (f >= 4.0 && f <= 32.0) band += std::norm(std::complex<double>(fft.spectrum()[k]));
        }
        // Parseval on the padded circle: the mean power of the envelope
        // (relative to its mean) is Σ|D_k|²/(size·m), both sides counted.
        sum += decibelsOf(2.0 * band / (static_cast<double>(size) * static_cast<double>(m)), 1.0);
    }
    return envelopes.empty() ? NAN : sum / static_cast<double>(envelopes.size());
}

// Per partial, per frame: the largest power of the three bins nearest it
// (Hann STFT 4096, hop 1024, from the settling time on).
std::vector<std::vector<double>> partialPowers(const std::vector<float>& x, const std::vector<double>& partials) {
    constexpr std::size_t kSize = 4096;
    std::vector<Band> bins;  // one "band" per partial: its three nearest bins
    const double width = kSampleRate / kSize;
    for (double f : partials) bins.push_back({f - 1.5 * width, f, f + 1.5 * width});
    std::vector<std::vector<double>> powers(partials.size());
    std::vector<float> window(kSize);
    for (std::size_t i = 0; i < kSize; ++i) {
        window[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / kSize));
    }
    spectral::RealFft fft(static_cast<int>(kSize));
    for (std::size_t start = settle(); start + kSize <= x.size(); start += 1024) {
        for (std::size_t i = 0; i < kSize; ++i) fft.time()[i] = x[start + i] * window[i];
        fft.forward();
        for (std::size_t p = 0; p < partials.size(); ++p) {
            const auto centre = static_cast<std::size_t>(std::lround(partials[p] / width));
            double peak = 0.0;
            for (std::size_t k = centre - 1; k <= centre + 1; ++k) {
                peak = std::max(peak, static_cast<double>(std::norm(fft.spectrum()[k])));
            }
            powers[p].push_back(peak);
        }
    }
    return powers;
}

double stdDb(const std::vector<double>& powers) {
    double mean = 0.0, square = 0.0;
    for (double p : powers) {
        const double db = 10.0 * std::log10(std::max(p, 1e-30));
        mean += db;
        square += db * db;
    }
    const auto n = static_cast<double>(powers.size());
    mean /= n;
    return std::sqrt(std::max(0.0, square / n - mean * mean));
}

std::array<std::vector<float>, 2> foldDown(const Surround& out) {
    const std::size_t n = out[FL].size();
    std::array<std::vector<float>, 2> fold{std::vector<float>(n), std::vector<float>(n)};
    for (std::size_t t = 0; t < n; ++t) {
        fold[0][t] = static_cast<float>(out[FL][t] + kFoldWeight * (out[FC][t] + out[BL][t]));
        fold[1][t] = static_cast<float>(out[FR][t] + kFoldWeight * (out[FC][t] + out[BR][t]));
    }
    return fold;
}

// Per bin, P_L′ + P_R′ and P_L + P_R (Welch 8192 from the settling time).
std::pair<std::vector<double>, std::vector<double>> foldDownSpectra(const TestSignal& in, const Surround& out) {
    constexpr std::size_t kSize = 8192;
    const auto fold = foldDown(out);
    std::vector<double> folded = welchPower(fold[0], kSize, settle()), input = welchPower(in.left, kSize, settle());
    const std::vector<double> foldedRight = welchPower(fold[1], kSize, settle()), inputRight = welchPower(in.right, kSize, settle());
    for (std::size_t k = 0; k < folded.size(); ++k) {
        folded[k] += foldedRight[k];
        input[k] += inputRight[k];
    }
    return {folded, input};
}

std::size_t binOf(double hz, std::size_t size) {
    return static_cast<std::size_t>(std::lround(hz * static_cast<double>(size) / kSampleRate));
}

}  // namespace

PumpingFigures measurePumping(const Upmixer& upmixer, const BedAndSource& signal) {
    constexpr std::size_t kFrame = 441;  // 10 ms
    const Surround own = ownRenderings(upmixer, signal).bed;
    const Surround alone = upmixer.run(signal.bedAlone(), {});
    const std::vector<double> mixed = frameEnergies(own[FC], kFrame), single = frameEnergies(alone[FC], kFrame);
    std::vector<double> deviation(std::min(mixed.size(), single.size()));
    for (std::size_t f = 0; f < deviation.size(); ++f) deviation[f] = decibelsOf(mixed[f], single[f]);

    std::vector<double> dips, below, recovery;
    for (std::size_t e = 1; e < signal.onsets.size(); ++e) {
        // The second around the onset, from 50 ms before it: an upmix that
        // looks ahead may react early, and the next burst's early reaction
        // must not count as this one's slow recovery.
        const std::size_t onset = signal.onsets[e] / kFrame;
        const std::size_t first = onset - 5, end = std::min(deviation.size(), onset + 95);
        double dip = INFINITY, under = 0.0;
        long lastOut = -100;  // the last frame outside ±1 dB, from the onset's
        bool measured = false;  // not where FC is silent alone
        for (std::size_t f = first; f < end; ++f) {
            if (std::isnan(deviation[f])) continue;
            measured = true;
            dip = std::min(dip, deviation[f]);
            if (deviation[f] < -1.0) under += 10.0;
            if (std::fabs(deviation[f]) > 1.0) lastOut = static_cast<long>(f) - static_cast<long>(onset);
        }
        dips.push_back(measured ? dip : NAN);
        below.push_back(measured ? under : NAN);
        recovery.push_back(measured ? std::max(0.0, 10.0 * static_cast<double>(lastOut + 1) - 250.0) : NAN);
    }
    PumpingFigures figures;
    figures.dipDb = median(dips);
    figures.belowMs = median(below);
    figures.recoveryMs = median(recovery);
    figures.spillEarlyDb = median(overEvents(signal, [&](long onset) { return shareDb(span(own, onset, 0.0, 0.150), {FL, BL, BR}); }));
    figures.spillLateDb = median(overEvents(signal, [&](long onset) { return shareDb(span(own, onset, 0.150, 0.450), {FL, BL, BR}); }));
    figures.spillAloneDb = shareDb(settledEnergies(alone), {FL, BL, BR});
    return figures;
}

AmbienceUnderHitsFigures measureAmbienceUnderHits(const Upmixer& upmixer, const BedAndSource& signal) {
    const Surround own = ownRenderings(upmixer, signal).bed;
    const Surround alone = upmixer.run(signal.bedAlone(), {});
    AmbienceUnderHitsFigures figures;
    figures.centreAfterHitDb = median(overEvents(signal, [&](long onset) { return shareDb(span(own, onset, 0.0, 0.300), {FC}); }));
    figures.centreLaterDb = median(overEvents(signal, [&](long onset) { return shareDb(span(own, onset, 0.400, 0.600), {FC}); }));
    figures.centreAloneDb = shareDb(settledEnergies(alone), {FC});
    return figures;
}

TransientFigures measureTransients(const Upmixer& upmixer, const BedAndSource& signal) {
    const Surround hit = ownRenderings(upmixer, signal).source;
    const TestSignal input = signal.sourceAlone();
    TransientFigures figures;
    figures.behindPercent = median(overEvents(signal, [&](long onset) {
        const auto e = span(hit, onset, 0.0, 0.020);
        return 100.0 * sumOf(e, {BL, BR}) / sumOfAll(e);
    }));
    figures.preEchoDb = median(overEvents(signal, [&](long onset) {
        return decibelsOf(sumOfAll(span(hit, onset, -0.010, 0.0)), sumOfAll(span(hit, onset, 0.0, 0.050)));
    }));
    figures.earlyPreEchoDb = median(overEvents(signal, [&](long onset) {
        return decibelsOf(sumOfAll(span(hit, onset, -0.010, -0.001)), sumOfAll(span(hit, onset, 0.0, 0.050)));
    }));
    figures.smearingDb = median(overEvents(signal, [&](long onset) {
        auto inputIn = [&](double from, double to) {
            return energyIn(input.left, onset + samplesAt(from), onset + samplesAt(to)) +
                   energyIn(input.right, onset + samplesAt(from), onset + samplesAt(to));
        };
        const double inputTail = inputIn(0.020, 0.050);
        if (!(inputTail > 0.0)) return static_cast<double>(NAN);
        return decibelsOf(sumOfAll(span(hit, onset, 0.020, 0.050)), sumOfAll(span(hit, onset, 0.0, 0.050))) -
               decibelsOf(inputTail, inputIn(0.0, 0.050));
    }));
    return figures;
}

ReverbedHitFigures measureReverbedHits(const Upmixer& upmixer, const BedAndSource& signal) {
    const OwnRenderings own = ownRenderings(upmixer, signal);
    auto behind = [&](const Surround& part, double from, double to) {
        return median(overEvents(signal, [&](long onset) {
            const auto e = span(part, onset, from, to);
            return 100.0 * sumOf(e, {BL, BR}) / sumOfAll(e);
        }));
    };
    return {behind(own.source, 0.0, 0.050), behind(own.bed, 0.050, 1.0)};
}

double WarbleFigures::worstStdAboveInputDb() const {
    const int c = worstChannel();
    return c < 0 ? NAN : stdAboveInputDb[static_cast<std::size_t>(c)];
}

int WarbleFigures::worstChannel() const {
    int worst = -1;
    for (int c = 0; c < kChannels; ++c) {
        const double v = stdAboveInputDb[static_cast<std::size_t>(c)];
        if (std::isnan(v)) continue;
        if (worst < 0 || v > stdAboveInputDb[static_cast<std::size_t>(worst)]) worst = c;
    }
    return worst;
}

WarbleFigures measureWarble(const Upmixer& upmixer, const TestSignal& signal) {
    const Surround out = upmixer.run(signal, {});
    const double left = levelSpreadDb(signal.left), right = levelSpreadDb(signal.right);
    const double input[kChannels] = {left, right, 0.5 * (left + right), NAN, left, right};
    WarbleFigures figures;
    for (int c : {FL, FR, FC, BL, BR}) {
        const auto i = static_cast<std::size_t>(c);
        figures.stdAboveInputDb[i] = levelSpreadDb(out[i]) - input[i];
    }
    figures.modulationAboveInputDb = modulationDb(out[FL]) - modulationDb(signal.left);
    return figures;
}

ChordFigures measureChord(const Upmixer& upmixer, const ChordSignal& chord) {
    const Surround out = upmixer.run(chord.signal, {});
    std::vector<float> sum(chord.signal.left.size());
    for (std::size_t i = 0; i < sum.size(); ++i) sum[i] = chord.signal.left[i] + chord.signal.right[i];
    std::array<std::vector<std::vector<double>>, kChannels> channels;
    for (std::size_t c = 0; c < kChannels; ++c) channels[c] = partialPowers(out[c], chord.partials);
    const auto input = partialPowers(sum, chord.partials);
    ChordFigures figures;
    double low = INFINITY, high = -INFINITY, inputLow = INFINITY, inputHigh = -INFINITY;
    for (std::size_t p = 0; p < chord.partials.size(); ++p) {
        double centre = 0.0, total = 0.0;
        for (std::size_t c = 0; c < kChannels; ++c) {
            for (double power : channels[c][p]) {
                total += power;
                if (c == FC) centre += power;
            }
        }
        if (!(total > 0.0) || centre < 0.1 * total) continue;
        ++figures.partialsCounted;
        const double spread = stdDb(channels[FC][p]), inputSpread = stdDb(input[p]);
        low = std::min(low, spread);
        high = std::max(high, spread);
        inputLow = std::min(inputLow, inputSpread);
        inputHigh = std::max(inputHigh, inputSpread);
    }
    if (figures.partialsCounted > 0) {
        figures.lowestStdDb = low;
        figures.highestStdDb = high;
        figures.inputLowestStdDb = inputLow;
        figures.inputHighestStdDb = inputHigh;
    }
    return figures;
}

SpacedPairFigures measureSpacedPair(const Upmixer& upmixer, const TestSignal& signal) {
    constexpr std::size_t kSize = 8192;
    const Surround out = upmixer.run(signal, {});
    SpacedPairFigures figures;
    const auto energies = settledEnergies(out);
    figures.behindPercent = 100.0 * sumOf(energies, {BL, BR}) / sumOfAll(energies);
    std::array<std::vector<double>, kChannels> spectra;
    for (std::size_t c = 0; c < kChannels; ++c) spectra[c] = welchPower(out[c], kSize, settle());
    figures.worstBandPercent = -INFINITY;
    for (const Band& band : thirdOctaveBands(100.0, 8000.0)) {
        const auto [first, end] = binRange(band, kSize);
        std::array<double, kChannels> inBand{};
        for (std::size_t c = 0; c < kChannels; ++c) {
            for (std::size_t k = first; k < end; ++k) inBand[c] += spectra[c][k];
        }
        const double share = 100.0 * sumOf(inBand, {BL, BR}) / sumOfAll(inBand);
        if (share > figures.worstBandPercent) {
            figures.worstBandPercent = share;
            figures.worstBandHz = band.centre;
        }
    }
    return figures;
}

CoherentFigures measureCoherentCentre(const Upmixer& upmixer, const MatrixSignal& signal) {
    const Surround out = upmixer.run(signal.encoded, {});
    const auto coherent = coherentEnergies(signal.centre, out, 4096, settle());
    return {100.0 * coherent[FC] / sumOfAll(coherent),
            decibelsOf(coherent[FC], sumOfAll(coherent) - coherent[FC])};
}

double measureBehindAgainstRest(const Upmixer& upmixer, const TestSignal& signal) {
    const auto energies = settledEnergies(upmixer.run(signal, {}));
    return decibelsOf(sumOf(energies, {BL, BR}), sumOfAll(energies) - sumOf(energies, {BL, BR}));
}

double measureBehindPercent(const Upmixer& upmixer, const TestSignal& signal) {
    const auto energies = settledEnergies(upmixer.run(signal, {}));
    return 100.0 * sumOf(energies, {BL, BR}) / sumOfAll(energies);
}

MovingFigures measureMovingSource(const Upmixer& upmixer, const MovingSource& source) {
    const Surround out = source.parts ? ownRenderings(upmixer, *source.parts).source : upmixer.run(source.signal, {});
    const auto frame = static_cast<std::size_t>(0.020 * kSampleRate);
    std::array<std::vector<double>, kChannels> channelFrames;
    for (std::size_t c = 0; c < channelFrames.size(); ++c) channelFrames[c] = frameEnergies(out[c], frame);
    const std::size_t frames = std::min(channelFrames[FL].size(), source.pan.size() / frame);
    double squares = 0.0;
    std::size_t counted = 0;
    std::array<double, kChannels> total{};
    for (std::size_t f = static_cast<std::size_t>(kSampleRate) / frame; f < frames; ++f) {
        std::array<double, kChannels> energies{};
        for (std::size_t c = 0; c < energies.size(); ++c) {
            energies[c] = channelFrames[c][f];
            total[c] += energies[c];
        }
        double pan = 0.0;
        for (std::size_t i = f * frame; i < (f + 1) * frame; ++i) pan += source.pan[i];
        const double error = energyVector(energies).azimuth - 30.0 * pan / static_cast<double>(frame);
        squares += error * error;
        ++counted;
    }
    if (counted == 0) return {};
    return {std::sqrt(squares / static_cast<double>(counted)), sharePercent(total, {BL, BR})};
}

ProgrammeFigures measureProgramme(const Upmixer& upmixer, const TestSignal& signal) {
    const Surround out = upmixer.run(signal, {});
    ProgrammeFigures figures;
    figures.peakDb = peakDbfs(out);
    for (const std::vector<float>& channel : out) {
        figures.overs += std::count_if(channel.begin(), channel.end(), [](float s) { return std::fabs(s) >= 1.0f; });
    }
    figures.rippleDb = foldDownRippleDb(signal, out);
    figures.foldLevelDb = foldDownLevelDb(signal, out, 200.0, 4000.0);
    figures.residualDb = downmixErrorDb(signal, out);
    figures.rearCorrelation = rearCorrelation(out);
    const auto energies = channelEnergies(out);
    for (int c = 0; c < kChannels; ++c) figures.share[static_cast<std::size_t>(c)] = sharePercent(energies, {c});
    return figures;
}

double foldDownRippleDb(const TestSignal& in, const Surround& out) {
    constexpr std::size_t kSize = 8192;
    const auto [folded, input] = foldDownSpectra(in, out);
    double low = INFINITY, high = -INFINITY;
    for (std::size_t k = binOf(200.0, kSize); k <= binOf(4000.0, kSize); ++k) {
        const double db = decibelsOf(folded[k], input[k]);
        low = std::min(low, db);
        high = std::max(high, db);
    }
    return high - low;
}

double foldDownLevelDb(const TestSignal& in, const Surround& out, double lowHz, double highHz) {
    constexpr std::size_t kSize = 8192;
    const auto [folded, input] = foldDownSpectra(in, out);
    double f = 0.0, x = 0.0;
    for (std::size_t k = binOf(lowHz, kSize); k <= binOf(highHz, kSize); ++k) {
        f += folded[k];
        x += input[k];
    }
    return decibelsOf(f, x);
}

double foldDownBassDb(const TestSignal& in, const Surround& out) { return foldDownLevelDb(in, out, 20.0, 60.0); }

double rearCorrelation(const Surround& out) { return correlation(out[BL], out[BR], settle()); }

}  // namespace quorveil::quality
