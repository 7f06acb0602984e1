// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/quality/LayoutQuality.h"

#include <algorithm>
#include <cstdio>
#include <numbers>

#include "bench/quality/ScorecardSignals.h"
#include "host/spectral/UpmixEngine.h"
#include "host/spectral/UpmixStream.h"

namespace quorveil::quality {

namespace {

constexpr double kFrontArc = 30.0;  // FL and FR; beyond it is no longer "front"

double decibels(double ratio) { return 10.0 * std::log10(ratio); }

double energyOf(const std::vector<float>& x) {
    double sum = 0.0;
    for (float s : x) sum += static_cast<double>(s) * s;
    return sum;
}

double total(const std::vector<double>& energies) {
    double sum = 0.0;
    for (double e : energies) sum += e;
    return sum;
}

std::vector<double> sharesPercent(const std::vector<double>& energies) {
    const double all = total(energies);
    std::vector<double> shares;
    for (double e : energies) shares.push_back(all > 0.0 ? 100.0 * e / all : NAN);
    return shares;
}

double powerDb(const TestSignal& in, const std::vector<double>& energies) {
    return decibels(total(energies) / (energyOf(in.left) + energyOf(in.right)));
}

}  // namespace

SpeakerSignals upmixLayout(const host::PluginLibrary& library, const spectral::SpeakerLayout& layout,
                           const TestSignal& signal) {
    spectral::UpmixSetup setup;
    setup.sampleRate = kSampleRate;
    setup.layout = &layout;
    spectral::UpmixEngine engine(library, setup);
    SpeakerSignals out;
    spectral::upmixBuffers(engine, signal.left.data(), signal.right.data(), signal.left.size(), out);
    return out;
}

LayoutSignals layoutSignals(double seconds, const Speech& speech) {
    const auto length = static_cast<std::size_t>(seconds * kSampleRate);
    LayoutSignals signals;
    for (int step = -4; step <= 4; ++step) signals.pans.push_back(pannedNoise(step / 4.0, length));
    signals.decorrelated = decorrelatedNoise(length);
    signals.antiPhase = antiPhaseNoise(length);
    signals.band = music(MusicStyle::Band, seconds);
    signals.film = filmMix(speech, signals.band);
    return signals;
}

std::vector<double> speakerEnergies(const SpeakerSignals& out) {
    std::vector<double> energies;
    for (const std::vector<float>& channel : out) energies.push_back(energyOf(channel));
    return energies;
}

EnergyVector energyVector(const spectral::SpeakerLayout& layout, const std::vector<double>& energies) {
    double x = 0.0, y = 0.0, sum = 0.0;
    const auto speakers = layout.positions();
    for (std::size_t c = 0; c < speakers.size() && c < energies.size(); ++c) {
        if (std::isnan(speakers[c].azimuth)) continue;
        const double a = speakers[c].azimuth * std::numbers::pi / 180.0;
        x += energies[c] * std::cos(a);
        y += energies[c] * std::sin(a);
        sum += energies[c];
    }
    if (!(sum > 0.0)) return {};
    return {std::atan2(y, x) * 180.0 / std::numbers::pi, std::hypot(x, y) / sum};
}

double foldDownErrorDb(const spectral::SpeakerLayout& layout, const TestSignal& in,
                       const SpeakerSignals& out) {
    const auto speakers = layout.positions();
    std::size_t n = in.left.size();
    for (const std::vector<float>& channel : out) n = std::min(n, channel.size());
    std::vector<float> left(n), right(n);
    for (std::size_t t = 0; t < n; ++t) {
        double l = 0.0, r = 0.0;
        for (std::size_t c = 0; c < speakers.size() && c < out.size(); ++c) {
            l += speakers[c].foldLeft * out[c][t];
            r += speakers[c].foldRight * out[c][t];
        }
        left[t] = static_cast<float>(l);
        right[t] = static_cast<float>(r);
    }
    return stereoErrorDb(in, left, right);
}

double shareBetween(const spectral::SpeakerLayout& layout, const std::vector<double>& sharePercent,
                    double from, double to) {
    const auto speakers = layout.positions();
    double sum = 0.0;
    bool any = false;
    for (std::size_t c = 0; c < speakers.size() && c < sharePercent.size(); ++c) {
        const double a = std::fabs(speakers[c].azimuth);  // NaN for the LFE: never in range
        if (!(a > from && a <= to)) continue;
        sum += sharePercent[c];
        any = true;
    }
    return any ? sum : NAN;
}

LayoutRow measureLayout(const host::PluginLibrary& library, const spectral::SpeakerLayout& layout,
                        const LayoutSignals& signals) {
    LayoutRow row;
    row.layout = &layout;
    row.lowestPowerDb = INFINITY;
    row.highestPowerDb = -INFINITY;
    auto run = [&](const TestSignal& signal) {
        SpeakerSignals out = upmixLayout(library, layout, signal);
        const double db = powerDb(signal, speakerEnergies(out));
        row.lowestPowerDb = std::min(row.lowestPowerDb, db);
        row.highestPowerDb = std::max(row.highestPowerDb, db);
        return out;
    };
    row.worstAzimuthErrorDeg = -1.0;
    row.dryOutsideFrontPercent = 0.0;
    for (const TestSignal& pan : signals.pans) {
        const std::vector<double> energies = speakerEnergies(run(pan));
        const PanLanding landing{pan.pan, pan.expectedAzimuth, energyVector(layout, energies).azimuth};
        row.pans.push_back(landing);
        const double error = std::fabs(landing.azimuth - landing.expectedAzimuth);
        if (!(error <= row.worstAzimuthErrorDeg)) {  // a NaN azimuth is the worst
            row.worstAzimuthErrorDeg = error;
            row.worstPan = pan.pan;
        }
        const double outside = shareBetween(layout, sharesPercent(energies), kFrontArc + 0.5, 180.0);
        if (!std::isnan(outside)) row.dryOutsideFrontPercent = std::max(row.dryOutsideFrontPercent, outside);
    }
    const std::vector<double> decorrelated = speakerEnergies(run(signals.decorrelated));
    row.decorrelatedShare = sharesPercent(decorrelated);
    row.decorrelatedPowerDb = powerDb(signals.decorrelated, decorrelated);
    const std::vector<double> antiPhase = speakerEnergies(run(signals.antiPhase));
    row.antiPhaseShare = sharesPercent(antiPhase);
    row.antiPhasePowerDb = powerDb(signals.antiPhase, antiPhase);
    row.foldDownDb = foldDownErrorDb(layout, signals.band, run(signals.band));
    SpeakerSignals film = run(signals.film);
    float peak = 0.0f;
    for (const std::vector<float>& channel : film) {
        for (float s : channel) peak = std::max(peak, std::fabs(s));
    }
    row.peakDb = 20.0 * std::log10(static_cast<double>(std::max(peak, 1e-30f)));
    return row;
}

RingPanel layoutPanel(const LayoutRow& row) {
    RingPanel panel{row.layout->name, {}, {}};
    for (const spectral::SpeakerPosition& speaker : row.layout->positions()) {
        panel.speakers.push_back({speaker.name, speaker.azimuth});
    }
    for (const PanLanding& landing : row.pans) {
        char name[24];
        std::snprintf(name, sizeof name, "pan %+.2f", landing.pan);
        panel.sources.push_back({name, landing.expectedAzimuth, landing.azimuth, {}, NAN});
    }
    panel.sources.push_back({"decorrelated", NAN, NAN, row.decorrelatedShare, row.decorrelatedPowerDb});
    panel.sources.push_back({"L = -R", NAN, NAN, row.antiPhaseShare, row.antiPhasePowerDb});
    return panel;
}

}  // namespace quorveil::quality
