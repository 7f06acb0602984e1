// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/quality/Scorecard.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

#include "bench/quality/TextTable.h"

namespace quorveil::quality {

ScorecardSignals scorecardSignals(const Speech& speech, ScorecardSuites suites) {
    ScorecardSignals s;
    s.suites = suites;
    if (suites.motion) {
        constexpr int kEvents = 6;  // medians over five
        s.pumping = pumpingNoise(kEvents);
        s.drumHits = drumHitsOverAmbience(kEvents);
        s.clicks = clicksOverBed(kEvents);
        s.castanets = castanetsOverBed(kEvents);
        s.reverbedSnares = reverbedSnares(kEvents);
        s.spacedSnareDelaysMs = {0.5, 1.0};
        for (double delay : s.spacedSnareDelaysMs) s.spacedSnares.push_back(spacedSnares(kEvents, delay));
        s.partlyCoherent = partlyCoherentNoise(10.0);
        s.chord = chordOverAmbience(10.0);
        s.spacedDelaysMs = {0.25, 0.5, 1.0};
        for (double delay : s.spacedDelaysMs) s.spacedPairs.push_back(spacedPair(delay, 6.0));
        s.diffuseBursts = diffuseBursts(6.0);
        s.jumping = movingSource(Motion::Jumps, 8.0);
        s.sweeping = movingSource(Motion::Sweeps, 8.0);
        s.autoPanned = movingSource(Motion::AutoPan, 8.0);
        s.overAmbience = sweepingOverAmbience(-10.0, 8.0);
        s.matrix = matrixFourSources(8.0);
        s.surroundAlone = matrixSurroundAlone(8.0);
        s.speechOverSurround = speechOverMatrixSurround(speech, 8.0);
    }
    if (suites.defaults) {
        s.band = music(MusicStyle::Band, 10.0);
        s.orchestral = music(MusicStyle::Orchestral, 10.0);
        s.film = filmMix(speech, s.band);
        s.decorrelated = decorrelatedNoise(static_cast<std::size_t>(6.0 * kSampleRate));
        s.partlyCoherentShort = partlyCoherentNoise(6.0);
        s.pans = {-1.0, -0.75, -0.5, -0.25, 0.0, 0.25, 0.5, 0.75, 1.0};
        for (double pan : s.pans) s.panned.push_back(pannedNoise(pan, static_cast<std::size_t>(3.0 * kSampleRate)));
        s.hardLeftSilent = hardLeft(3.0, false);
        s.hardLeftFloor = hardLeft(3.0, true);
    }
    return s;
}

namespace {

void runMotion(const Upmixer& upmixer, const ScorecardSignals& s, Scorecard& card) {
    card.pumping = measurePumping(upmixer, s.pumping);
    card.drumHits = measureAmbienceUnderHits(upmixer, s.drumHits);
    card.clicks = measureTransients(upmixer, s.clicks);
    card.castanets = measureTransients(upmixer, s.castanets);
    card.reverbedSnares = measureReverbedHits(upmixer, s.reverbedSnares);
    for (const BedAndSource& snares : s.spacedSnares) {
        card.spacedSnaresBehindPercent.push_back(measureReverbedHits(upmixer, snares).hitBehindPercent);
    }
    card.warble = measureWarble(upmixer, s.partlyCoherent);
    card.chord = measureChord(upmixer, s.chord);
    for (const TestSignal& pair : s.spacedPairs) card.spacedPairs.push_back(measureSpacedPair(upmixer, pair));
    card.diffuseBurstsBehindPercent = measureBehindPercent(upmixer, s.diffuseBursts);
    card.jumpingErrorDeg = measureMovingSource(upmixer, s.jumping).errorDeg;
    card.sweepingErrorDeg = measureMovingSource(upmixer, s.sweeping).errorDeg;
    card.autoPanErrorDeg = measureMovingSource(upmixer, s.autoPanned).errorDeg;
    card.overAmbience = measureMovingSource(upmixer, s.overAmbience);
    card.matrixCentre = measureCoherentCentre(upmixer, s.matrix);
    card.surroundBehindDb = measureBehindAgainstRest(upmixer, s.surroundAlone.encoded);
    card.speechCentre = measureCoherentCentre(upmixer, s.speechOverSurround);
}

double frontRightPercent(const Upmixer& upmixer, const TestSignal& signal) {
    return sharePercent(channelEnergies(upmixer.run(signal, {})), {FR});
}

void runDefaults(const Upmixer& upmixer, const ScorecardSignals& s, Scorecard& card) {
    card.film = measureProgramme(upmixer, s.film);
    card.band = measureProgramme(upmixer, s.band);
    card.orchestral = measureProgramme(upmixer, s.orchestral);
    const Surround decorrelated = upmixer.run(s.decorrelated, {});
    card.rippleDecorrelatedDb = foldDownRippleDb(s.decorrelated, decorrelated);
    card.foldLevelDecorrelatedDb = foldDownLevelDb(s.decorrelated, decorrelated, 200.0, 4000.0);
    const Surround partly = upmixer.run(s.partlyCoherentShort, {});
    card.ripplePartlyCoherentDb = foldDownRippleDb(s.partlyCoherentShort, partly);
    card.foldLevelPartlyCoherentDb = foldDownLevelDb(s.partlyCoherentShort, partly, 200.0, 4000.0);
    card.rearCorrelationNoise = rearCorrelation(partly);
    RunSettings withLfe;
    withLfe.lfe120 = true;
    card.bassWithLfeDb = foldDownBassDb(s.partlyCoherentShort,
                                        upmixer.hasLfeCutoff ? upmixer.run(s.partlyCoherentShort, withLfe) : partly);
    card.crosstalkSilentPercent = frontRightPercent(upmixer, s.hardLeftSilent);
    card.crosstalkFloorPercent = frontRightPercent(upmixer, s.hardLeftFloor);
    card.worstAzimuthErrorDeg = -1.0;
    for (std::size_t i = 0; i < s.panned.size(); ++i) {
        const double error = std::fabs(energyVector(channelEnergies(upmixer.run(s.panned[i], {}))).azimuth -
                                       s.panned[i].expectedAzimuth);
        if (!(error <= card.worstAzimuthErrorDeg)) {
            card.worstAzimuthErrorDeg = error;
            card.worstAzimuthPan = s.pans[i];
        }
    }
}

}  // namespace

Scorecard runScorecard(const Upmixer& upmixer, const ScorecardSignals& signals) {
    const auto start = std::chrono::steady_clock::now();
    Scorecard card;
    card.upmixer = upmixer.name;
    card.suites = signals.suites;
    if (signals.suites.motion) runMotion(upmixer, signals, card);
    if (signals.suites.defaults) runDefaults(upmixer, signals, card);
    card.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return card;
}

namespace {

std::string number(double value, const char* pattern) {
    if (std::isnan(value)) return "-";
    if (value <= -299.0) return "none";
    char text[32];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

// `part` after `text`, with `separator` between them if text is not empty.
void append(std::string& text, const char* separator, const std::string& part) {
    if (!text.empty()) text += separator;
    text += part;
}

template <class... Values>
std::string joined(const char* pattern, Values... values) {
    std::string text;
    for (double v : {values...}) append(text, "; ", number(v, pattern));
    return text;
}

std::string shares(const ProgrammeFigures& p) {
    std::string text;
    for (double share : p.share) append(text, " ", number(share, "%.0f"));
    return text;
}

// The largest difference, in percentage points, between this card's shares
// on music and another method's, in any channel; "-" for a card that is not
// one of `methods`.
std::string shareDifference(const Scorecard& card, const std::vector<Scorecard>& all,
                            const std::vector<std::string>& methods) {
    auto isMethod = [&](const Scorecard& c) {
        return std::find(methods.begin(), methods.end(), c.upmixer) != methods.end();
    };
    if (!isMethod(card)) return "-";
    // Against the nearest other method: every pair of methods must differ,
    // not just the one most unlike the rest.
    double nearest = -1.0;
    for (const Scorecard& other : all) {
        if (&other == &card || !isMethod(other)) continue;
        double largest = 0.0;
        for (std::size_t c = 0; c < kChannels; ++c) {
            largest = std::max({largest, std::fabs(card.band.share[c] - other.band.share[c]),
                                std::fabs(card.orchestral.share[c] - other.orchestral.share[c])});
        }
        nearest = nearest < 0.0 ? largest : std::min(nearest, largest);
    }
    return nearest < 0.0 ? "-" : number(nearest, "%.1f");
}

struct Row {
    bool motion;  // else defaults
    const char* measure;
    const char* target;
    std::function<std::string(const Scorecard&, const std::vector<Scorecard>&, const std::vector<std::string>&)> value;
};

template <class F>
Row row(bool motion, const char* measure, const char* target, F f) {
    return {motion, measure, target,
            [f](const Scorecard& c, const std::vector<Scorecard>&, const std::vector<std::string>&) { return f(c); }};
}

std::vector<Row> rows() {
    constexpr bool kMotion = true, kDefaults = false;
    return {
        row(kMotion, "pumping: noise's FC dip (dB); time below -1 dB (ms)", ">= -1; -",
            [](const Scorecard& c) { return number(c.pumping.dipDb, "%+.1f") + "; " + number(c.pumping.belowMs, "%.0f"); }),
        row(kMotion, "pumping: back within 1 dB, after the burst's end (ms)", "<= 50",
            [](const Scorecard& c) { return number(c.pumping.recoveryMs, "%.0f"); }),
        row(kMotion, "pumping: noise in FL+BL+BR 0-150; 150-450 ms (dB) [alone]", "<= -15; <= -25",
            [](const Scorecard& c) {
                return joined("%+.1f", c.pumping.spillEarlyDb, c.pumping.spillLateDb) + " [" +
                       number(c.pumping.spillAloneDb, "%+.1f") + "]";
            }),
        row(kMotion, "drum hits: ambience in FC 0-300; 400-600 ms (dB) [alone]", "<= -15",
            [](const Scorecard& c) {
                return joined("%+.1f", c.drumHits.centreAfterHitDb, c.drumHits.centreLaterDb) + " [" +
                       number(c.drumHits.centreAloneDb, "%+.1f") + "]";
            }),
        row(kMotion, "click: behind in its first 20 ms (%) [castanet]", "<= 10",
            [](const Scorecard& c) {
                return number(c.clicks.behindPercent, "%.1f") + " [" + number(c.castanets.behindPercent, "%.1f") + "]";
            }),
        row(kMotion, "castanet: pre-echo, 10 ms before against 0-50 ms (dB) [click]", "<= -30",
            [](const Scorecard& c) {
                return number(c.castanets.preEchoDb, "%+.1f") + " [" + number(c.clicks.preEchoDb, "%+.1f") + "]";
            }),
        row(kMotion, "castanet: pre-echo from 10 to 1 ms before (dB) [click]", "-",
            [](const Scorecard& c) {
                return number(c.castanets.earlyPreEchoDb, "%+.1f") + " [" + number(c.clicks.earlyPreEchoDb, "%+.1f") + "]";
            }),
        row(kMotion, "castanet: smearing, 20-50 ms above the input's (dB)", "<= +6",
            [](const Scorecard& c) { return number(c.castanets.smearingDb, "%+.1f"); }),
        row(kMotion, "snare with its own reverb: snare; reverb behind (%)", "<= 10; -",
            [](const Scorecard& c) {
                return joined("%.1f", c.reverbedSnares.hitBehindPercent, c.reverbedSnares.reverbBehindPercent);
            }),
        row(kMotion, "spaced-pair snare, R 0.5; 1 ms late: behind (%)", "<= 10",
            [](const Scorecard& c) {
                std::string cells;
                for (double v : c.spacedSnaresBehindPercent) cells += (cells.empty() ? "" : "; ") + number(v, "%.1f");
                return cells.empty() ? std::string("-") : cells;
            }),
        row(kMotion, "coherence 0.5: band-level std above input, FL; FC (dB)", "<= +0.2",
            [](const Scorecard& c) { return joined("%+.2f", c.warble.stdAboveInputDb[FL], c.warble.stdAboveInputDb[FC]); }),
        row(kMotion, "coherence 0.5: the same, worst channel (dB)", "<= +0.2",
            [](const Scorecard& c) {
                const int worst = c.warble.worstChannel();
                return number(c.warble.worstStdAboveInputDb(), "%+.2f") +
                       (worst < 0 ? "" : std::string(" ") + kChannelNames[static_cast<std::size_t>(worst)]);
            }),
        row(kMotion, "coherence 0.5: 4-32 Hz modulation in FL above input (dB)", "<= +0.3",
            [](const Scorecard& c) { return number(c.warble.modulationAboveInputDb, "%+.2f"); }),
        row(kMotion, "chord: std of partials' FC levels (dB) [input] (partials)", "<= 1.5",
            [](const Scorecard& c) {
                return number(c.chord.lowestStdDb, "%.1f") + "-" + number(c.chord.highestStdDb, "%.1f") + " [" +
                       number(c.chord.inputLowestStdDb, "%.1f") + "-" + number(c.chord.inputHighestStdDb, "%.1f") +
                       "] (" + std::to_string(c.chord.partialsCounted) + ")";
            }),
        row(kMotion, "spaced pair 0.25; 0.5; 1 ms: behind (%)", "<= 10",
            [](const Scorecard& c) {
                std::string text;
                for (const SpacedPairFigures& p : c.spacedPairs) append(text, "; ", number(p.behindPercent, "%.1f"));
                return text;
            }),
        row(kMotion, "spaced pair: worst third-octave behind (%) @ band (Hz)", "<= 20",
            [](const Scorecard& c) {
                std::string text;
                for (const SpacedPairFigures& p : c.spacedPairs) {
                    append(text, "; ", number(p.worstBandPercent, "%.0f") + "@" + number(p.worstBandHz, "%.0f"));
                }
                return text;
            }),
        row(kMotion, "diffuse bursts, 20 a second: behind (%)", "-",
            [](const Scorecard& c) { return number(c.diffuseBurstsBehindPercent, "%.1f"); }),
        row(kMotion, "a source moving: azimuth error, jumping sides; sweeping; auto-pan (deg RMS)", "-",
            [](const Scorecard& c) {
                return joined("%.1f", c.jumpingErrorDeg, c.sweepingErrorDeg, c.autoPanErrorDeg);
            }),
        row(kMotion, "sweeping over ambience 10 dB down: azimuth error (deg RMS); behind (%)", "-",
            [](const Scorecard& c) { return joined("%.1f", c.overAmbience.errorDeg, c.overAmbience.behindPercent); }),
        row(kMotion, "matrix: C in FC (%); C's separation (dB)", ">= 50; >= 0",
            [](const Scorecard& c) {
                return number(c.matrixCentre.centrePercent, "%.1f") + "; " + number(c.matrixCentre.separationDb, "%+.1f");
            }),
        row(kMotion, "matrix, S alone: behind against the rest (dB)", ">= +15",
            [](const Scorecard& c) { return number(c.surroundBehindDb, "%+.1f"); }),
        row(kMotion, "matrix, speech over S: speech in FC (%)", ">= 90",
            [](const Scorecard& c) { return number(c.speechCentre.centrePercent, "%.1f"); }),

        row(kDefaults, "peak: film; band; orchestral (dBFS)", "< 0",
            [](const Scorecard& c) { return joined("%+.1f", c.film.peakDb, c.band.peakDb, c.orchestral.peakDb); }),
        row(kDefaults, "samples at or over full scale: film; band; orchestral", "0",
            [](const Scorecard& c) {
                return std::to_string(c.film.overs) + "; " + std::to_string(c.band.overs) + "; " +
                       std::to_string(c.orchestral.overs);
            }),
        row(kDefaults, "fold-down ripple: decorrelated; coherence 0.5 (dB p-p)", "<= 1",
            [](const Scorecard& c) { return joined("%.1f", c.rippleDecorrelatedDb, c.ripplePartlyCoherentDb); }),
        row(kDefaults, "fold-down ripple: band; orchestral (dB p-p)", "<= 2",
            [](const Scorecard& c) { return joined("%.1f", c.band.rippleDb, c.orchestral.rippleDb); }),
        row(kDefaults, "fold-down level 0.2-4 kHz: decorrelated; coherence 0.5; band; orchestral (dB)", "about 0",
            [](const Scorecard& c) {
                return joined("%+.1f", c.foldLevelDecorrelatedDb, c.foldLevelPartlyCoherentDb, c.band.foldLevelDb,
                              c.orchestral.foldLevelDb);
            }),
        row(kDefaults, "fold-down residual: band; orchestral (dB)", "<= -15",
            [](const Scorecard& c) { return joined("%.1f", c.band.residualDb, c.orchestral.residualDb); }),
        row(kDefaults, "LFE at 120 Hz: fold-down 20-60 Hz against input (dB)", "about 0",
            [](const Scorecard& c) { return number(c.bassWithLfeDb, "%+.1f"); }),
        row(kDefaults, "BL/BR correlation: band; orchestral; coherence 0.5", "within +-0.2",
            [](const Scorecard& c) {
                return joined("%+.2f", c.band.rearCorrelation, c.orchestral.rearCorrelation, c.rearCorrelationNoise);
            }),
        row(kDefaults, "hard left: FR's share, R silent; R at -90 dBFS (%)", "<= 0.1",
            [](const Scorecard& c) { return joined("%.2f", c.crosstalkSilentPercent, c.crosstalkFloorPercent); }),
        row(kDefaults, "nine pans: largest azimuth error (deg) @ pan", "<= 2",
            [](const Scorecard& c) {
                return number(c.worstAzimuthErrorDeg, "%.1f") + " @ " + number(c.worstAzimuthPan, "%+.2f");
            }),
        row(kDefaults, "band: shares FL FR FC LFE BL BR (%)", "",
            [](const Scorecard& c) { return shares(c.band); }),
        row(kDefaults, "orchestral: shares FL FR FC LFE BL BR (%)", "",
            [](const Scorecard& c) { return shares(c.orchestral); }),
        {kDefaults, "methods: share difference to the nearest other (pp)", ">= 10", shareDifference},
    };
}

}  // namespace

void printScorecards(const std::vector<Scorecard>& cards, const std::vector<std::string>& methods,
                     bool markdown) {
    if (cards.empty()) return;
    std::vector<std::string> head{"measure", "target"};
    for (const Scorecard& card : cards) head.push_back(card.upmixer);
    std::vector<std::vector<std::string>> lines{head};
    for (const Row& r : rows()) {
        if (r.motion ? !cards[0].suites.motion : !cards[0].suites.defaults) continue;
        std::vector<std::string> line{r.measure, r.target};
        for (const Scorecard& card : cards) line.push_back(r.value(card, cards, methods));
        lines.push_back(line);
    }
    std::vector<std::string> timing{"time to measure (s)", ""};
    for (const Scorecard& card : cards) timing.push_back(number(card.seconds, "%.1f"));
    lines.push_back(timing);
    std::printf("\n%sScorecard\n\n", markdown ? "#### " : "");
    printTextTable(lines, markdown, Columns::LeftAligned);
}

}  // namespace quorveil::quality
