// SPDX-License-Identifier: GPL-3.0-or-later
// The upmix's scorecard: every measure of ScorecardMeasures for one upmixer,
// in two suites that can run apart, and the table that sets upmixers side
// by side with the target of each measure.
//   motion    pumping, hits, transients, warble, spaced-pair and
//             matrix-encoded stereo (about 2 minutes of signal a column)
//   defaults  peak on programme, the stereo fold-down, the bass with an
//             LFE, the rears' correlation, crosstalk, the nine pans, the
//             methods' shares on music (about 1.5 minutes a column)
// The signals are made once (scorecardSignals) and shared by every column.
#pragma once

#include <string>
#include <vector>

#include "bench/quality/ScorecardMeasures.h"

namespace quorveil::quality {

struct ScorecardSuites {
    bool motion = true;
    bool defaults = true;
};

struct ScorecardSignals {
    ScorecardSuites suites;
    // motion
    BedAndSource pumping, drumHits, clicks, castanets, reverbedSnares;
    std::vector<BedAndSource> spacedSnares;  // as spacedSnareDelaysMs
    std::vector<double> spacedSnareDelaysMs;
    TestSignal partlyCoherent;
    ChordSignal chord;
    std::vector<double> spacedDelaysMs;
    std::vector<TestSignal> spacedPairs;
    TestSignal diffuseBursts;
    MovingSource jumping, sweeping, autoPanned, overAmbience;
    MatrixSignal matrix, surroundAlone, speechOverSurround;
    // defaults
    TestSignal band, orchestral, film, decorrelated, partlyCoherentShort;
    std::vector<double> pans;
    std::vector<TestSignal> panned;
    TestSignal hardLeftSilent, hardLeftFloor;
};
ScorecardSignals scorecardSignals(const Speech& speech, ScorecardSuites suites);

// One upmixer's figures; those of a suite not run stay NaN.
struct Scorecard {
    std::string upmixer;
    ScorecardSuites suites;
    double seconds = NAN;  // time taken to measure
    // motion
    PumpingFigures pumping;
    AmbienceUnderHitsFigures drumHits;
    TransientFigures clicks, castanets;
    ReverbedHitFigures reverbedSnares;
    std::vector<double> spacedSnaresBehindPercent;  // as ScorecardSignals::spacedSnareDelaysMs
    WarbleFigures warble;
    ChordFigures chord;
    std::vector<SpacedPairFigures> spacedPairs;  // as ScorecardSignals::spacedDelaysMs
    CoherentFigures matrixCentre, speechCentre;
    double surroundBehindDb = NAN;
    double diffuseBurstsBehindPercent = NAN;
    // RMS azimuth error of a moving source
    double jumpingErrorDeg = NAN, sweepingErrorDeg = NAN, autoPanErrorDeg = NAN;
    MovingFigures overAmbience;  // the sweeping source over ambience 10 dB down
    // defaults
    ProgrammeFigures film, band, orchestral;
    double rippleDecorrelatedDb = NAN, ripplePartlyCoherentDb = NAN;
    double foldLevelDecorrelatedDb = NAN, foldLevelPartlyCoherentDb = NAN;
    double bassWithLfeDb = NAN;  // LFE cutoff 120 Hz
    double rearCorrelationNoise = NAN;
    double crosstalkSilentPercent = NAN, crosstalkFloorPercent = NAN;
    double worstAzimuthErrorDeg = NAN, worstAzimuthPan = NAN;
};

Scorecard runScorecard(const Upmixer& upmixer, const ScorecardSignals& signals);

// The table: one row per measure (with its target), one column per card.
// `methods` names the columns whose channel shares on music are compared
// with each other (the engine's methods at their defaults).
void printScorecards(const std::vector<Scorecard>& cards, const std::vector<std::string>& methods,
                     bool markdown);

}  // namespace quorveil::quality
