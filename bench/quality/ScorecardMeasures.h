// SPDX-License-Identifier: GPL-3.0-or-later
// The scorecard's measures: each runs an upmixer on its signal (both
// polarities where one part is measured under another) and returns figures.
// Energies are Σ x² over the spans named; "all" is the six channels; times
// are from each event's onset; "medians" are over the events after the
// first (the first finds the upmix's averages unsettled). Stationary
// signals are measured from 0.5 s on (kSettleSeconds). dB is 10·log10 of an
// energy ratio; −300 stands for "none at all".
//
// Own rendering (polarity): with A the output for bed + source and B for
// bed − source, the bed's own rendering is (A + B)/2 and the source's
// (A − B)/2.
//
// Sound that moves
//   pumping       the centred noise's own FC level in 10 ms frames, in dB
//                 against the same frame of the noise rendered alone:
//                 dip, the most negative frame in the second from 50 ms
//                 before an onset (an upmix may look ahead); below, the
//                 time it spends under −1 dB; recovery, from the burst's
//                 end (250 ms after onset) until it stays within ±1 dB for
//                 the rest of that second (0 if it is back by then). spill, its energy in FL+BL+BR against all
//                 channels over 0–150 ms and 150–450 ms; alone, the same
//                 ratio of the noise rendered alone, over the whole signal.
//   drum hits     the ambience's own FC energy against all channels, over
//                 0–300 ms and 400–600 ms after each hit; alone, the same
//                 of the ambience rendered alone, over the whole signal.
//   transients    the hit's own rendering: behind, BL+BR against all over
//                 0–20 ms (%); pre-echo, all channels over the 10 ms before
//                 the onset against 0–50 ms; smearing, 20–50 ms against
//                 0–50 ms, minus the same ratio of the input (L and R) in
//                 dB (NaN for a click, whose input has nothing there).
//   warble        per output channel, third-octave bands 250 Hz–8 kHz,
//                 each band's energy in Hann frames of 1024 (hop 1024) in
//                 dB; its standard deviation over time, averaged over the
//                 bands, minus the same of the input (L for FL and BL, R for
//                 FR and BR, the mean of the two for FC). modulation: FL's
//                 band envelopes (Hann frames of 1024, hop 256), each one's
//                 power between 4 and 32 Hz against its mean squared, in dB,
//                 averaged over the bands, minus L's.
//   chord         each partial's level in a channel, frame by frame: the
//                 largest of the three bins nearest it in a Hann STFT of
//                 4096, hop 1024. Partials with at least a tenth of their
//                 energy (Σ over frames, against all channels) in FC count;
//                 over those, the range of the std over time of their FC
//                 level in dB, and the same range of the std in L+R.
//   spaced pair   BL+BR against all (%), and the largest such share in any
//                 third-octave band from 100 Hz to 8 kHz (Welch, Hann 8192).
//   moving        a source jumping sides or sweeping, alone or over
//                 ambience: RMS over 20 ms frames of the energy vector's
//                 azimuth minus 30°·p (degrees); BL+BR's share (%)
//   matrix        the part of each output coherent with a reference
//                 (coherentEnergies, Welch 4096): C's share in FC (%), and
//                 its separation, FC against the other channels (dB); the
//                 surround alone: BL+BR against the rest (all energy, dB);
//                 the speech's coherent share in FC (%).
//
// Defaults a user meets
//   peak          the largest |sample|, dBFS, and how many samples reach
//                 1.0 or more
//   fold-down     L′ = FL + 0.707·FC + 0.707·BL, R′ = FR + 0.707·FC +
//                 0.707·BR (the LFE left out). ripple: per bin of Welch
//                 8192 (5.4 Hz), (P_L′ + P_R′)/(P_L + P_R) in dB, its peak
//                 to peak over 200 Hz–4 kHz; residual: downmixErrorDb (best
//                 single gain and lag); level and bass: the same ratio
//                 summed over 200 Hz–4 kHz and over 20–60 Hz, dB
//   rears         Pearson's correlation of BL and BR
//   crosstalk     FR's share of the output power (%)
//   azimuth       energyVector's direction minus 30°·p
//   shares        each channel's share of the output energy (%)
#pragma once

#include <array>
#include <string>
#include <vector>

#include "bench/quality/ScorecardSignals.h"
#include "bench/quality/Upmixers.h"

namespace quorveil::quality {

inline constexpr double kSettleSeconds = 0.5;

struct PumpingFigures {
    double dipDb = NAN, belowMs = NAN, recoveryMs = NAN;
    double spillEarlyDb = NAN, spillLateDb = NAN, spillAloneDb = NAN;
};
PumpingFigures measurePumping(const Upmixer& upmixer, const BedAndSource& signal);

struct AmbienceUnderHitsFigures {
    double centreAfterHitDb = NAN, centreLaterDb = NAN, centreAloneDb = NAN;
};
AmbienceUnderHitsFigures measureAmbienceUnderHits(const Upmixer& upmixer, const BedAndSource& signal);

struct TransientFigures {
    double behindPercent = NAN, preEchoDb = NAN, smearingDb = NAN;
    // The pre-echo from 10 ms to 1 ms before the onset only: what a listener
    // can hear as a separate pre-echo; a spread within the last millisecond
    // (a gain that tilts smoothly across the spectrum, zero phase) is masked
    // by the hit itself.
    double earlyPreEchoDb = NAN;
};
TransientFigures measureTransients(const Upmixer& upmixer, const BedAndSource& signal);

// A dry hit and its own reverb: the hit's share behind in its first 50 ms,
// and the reverb's (the bed's own rendering) from 50 ms to 1 s after.
struct ReverbedHitFigures {
    double hitBehindPercent = NAN, reverbBehindPercent = NAN;
};
ReverbedHitFigures measureReverbedHits(const Upmixer& upmixer, const BedAndSource& signal);

struct WarbleFigures {
    std::array<double, kChannels> stdAboveInputDb{NAN, NAN, NAN, NAN, NAN, NAN};
    double modulationAboveInputDb = NAN;  // FL
    double worstStdAboveInputDb() const;
    int worstChannel() const;
};
WarbleFigures measureWarble(const Upmixer& upmixer, const TestSignal& signal);

struct ChordFigures {
    double lowestStdDb = NAN, highestStdDb = NAN;            // FC, partials that count
    double inputLowestStdDb = NAN, inputHighestStdDb = NAN;  // the same partials in L+R
    int partialsCounted = 0;
};
ChordFigures measureChord(const Upmixer& upmixer, const ChordSignal& chord);

struct SpacedPairFigures {
    double behindPercent = NAN, worstBandPercent = NAN, worstBandHz = NAN;
};
SpacedPairFigures measureSpacedPair(const Upmixer& upmixer, const TestSignal& signal);

// The reference's coherent share in FC (%) and its separation (dB).
struct CoherentFigures {
    double centrePercent = NAN, separationDb = NAN;
};
CoherentFigures measureCoherentCentre(const Upmixer& upmixer, const MatrixSignal& signal);
// BL+BR against the rest, dB.
double measureBehindAgainstRest(const Upmixer& upmixer, const TestSignal& signal);
// BL+BR's share of the whole, %.
double measureBehindPercent(const Upmixer& upmixer, const TestSignal& signal);
// A moving source: the energy vector's azimuth in 20 ms frames against
// 30°·p of the frame's mean pan, RMS over the frames after the first
// second (degrees), and BL+BR's share over those frames (%); over
// ambience, of the source's own rendering.
struct MovingFigures {
    double errorDeg = NAN, behindPercent = NAN;
};
MovingFigures measureMovingSource(const Upmixer& upmixer, const MovingSource& source);

// One run of a programme signal at the defaults.
struct ProgrammeFigures {
    double peakDb = NAN;
    long overs = 0;  // samples at or above full scale
    double rippleDb = NAN, residualDb = NAN, rearCorrelation = NAN;
    double foldLevelDb = NAN;  // the fold-down's energy against the input's, 200 Hz–4 kHz
    std::array<double, kChannels> share{};
};
ProgrammeFigures measureProgramme(const Upmixer& upmixer, const TestSignal& signal);

// The fold-down's spectrum against the input's, peak to peak, 200 Hz–4 kHz.
double foldDownRippleDb(const TestSignal& in, const Surround& out);
// The fold-down's energy between two frequencies against the input's, dB,
// and at 20–60 Hz.
double foldDownLevelDb(const TestSignal& in, const Surround& out, double lowHz, double highHz);
double foldDownBassDb(const TestSignal& in, const Surround& out);
// BL against BR, from kSettleSeconds on.
double rearCorrelation(const Surround& out);

}  // namespace quorveil::quality
