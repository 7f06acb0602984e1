// SPDX-License-Identifier: GPL-3.0-or-later
// The signals of the upmix's scorecard: sound that moves (bursts, hits,
// clicks), stationary sound whose level must not wobble, spaced-microphone
// and matrix-encoded stereo, and programme material at real levels. All
// made in code from fixed seeds, at 44.1 kHz; "pink" is pinkNoise (RMS 0.1
// before any scaling named here).
//
//   pumping        centred pink (L = R) at −26 dBFS RMS; once a second a
//                  burst in R only: 250 ms of white noise at 0.3 RMS under
//                  an exp(−t/50 ms) envelope
//   drum hits      two independent pinks at 0.03 RMS; once a second a
//                  centred kick (a sine gliding from 120 Hz down towards
//                  45 Hz, 45 + 75·exp(−t/40 ms), under exp(−t/150 ms)) and
//                  snare (40 ms of white noise under exp(−t/8 ms), each
//                  hit's noise its own), the hit scaled to a peak of 0.5
//   clicks         two independent pinks at 0.015 RMS; once a second a
//                  centred one-sample click of 0.5
//   castanets      the same bed; once a second a centred castanet: 30 ms of
//                  1.5–6 kHz band-limited noise under exp(−t/4 ms), peak 0.5,
//                  each hit's noise its own
//   reverbed snare two independent pinks at 0.01 RMS; once a second a
//                  centred snare, 20 ms of white noise at 0.5 RMS under
//                  exp(−t/5 ms), and its reverb beginning with it: in each
//                  channel its own white noise at 0.25 RMS rising over
//                  10 ms and decaying 60 dB in 1 s, so that the reverb
//                  outweighs the snare in every frame that holds both
//   spaced snare   the same snare without its reverb, over the same bed,
//                  in R an exact fraction of a millisecond after L (a
//                  spaced pair's overheads)
//   coherence 0.5  L = a·s + b·n1, R = a·s + b·n2 from three pinks,
//                  a² = b² = 0.5
//   chord          an A major chord held throughout: A3 (220 Hz) centred,
//                  C#4 panned half left, E4 half right (sine law, as
//                  pannedNoise), each five harmonics of amplitude 1/h, in
//                  just intonation so that the partials they share (660 and
//                  1100 Hz) do not beat; RMS 0.1 per channel; decorrelated
//                  pink 25 dB below it (power of both channels)
//   spaced pair    pink at 0.1 RMS in L, R the same delayed by an exact
//                  fraction of a sample (a linear phase shift)
//   matrix         independent pinks L, C, R, S at 0.1 RMS:
//                  Lt = L + C/√2 − H{S}/√2, Rt = R + C/√2 + H{S}/√2, with H
//                  a +90° phase shift; also S alone, and speech (at the RMS
//                  of S) in place of C over S alone
//   music          a synthetic mastered mix (see music())
//   film           speech at 0 dBFS peak, centred, over the band mix 10 dB
//                  down
//   hard left      pink in L; R digital silence, or white noise at −90 dBFS
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "bench/quality/TestSignals.h"

namespace quorveil::quality {

// Two parts that play together, so that each one's own rendering can be
// taken out of two runs (bed + source, bed − source): half their sum is the
// bed's, half their difference the source's. The source's events start at
// `onsets`, one a second from 0.5 s on, and the signal ends a second after
// the last.
struct BedAndSource {
    std::string name;
    std::vector<float> bedLeft, bedRight, sourceLeft, sourceRight;
    std::vector<std::size_t> onsets;

    std::size_t length() const { return bedLeft.size(); }
    TestSignal mixed(double sign) const;  // bed + sign·source
    TestSignal bedAlone() const;
    TestSignal sourceAlone() const;
};

// The bed is the steady centred noise, the source the bursts.
BedAndSource pumpingNoise(int events);
// The bed is the ambience, the source the hits.
BedAndSource drumHitsOverAmbience(int events);
BedAndSource clicksOverBed(int events);
BedAndSource castanetsOverBed(int events);
// The bed is the quiet pinks and the reverb, the source the dry snares.
BedAndSource reverbedSnares(int events);
// The bed is the quiet pinks, the source the snares, R `delayMs` late.
BedAndSource spacedSnares(int events, double delayMs);

TestSignal partlyCoherentNoise(double seconds);

struct ChordSignal {
    TestSignal signal;
    std::vector<double> partials;  // Hz, each once, rising
};
ChordSignal chordOverAmbience(double seconds);

TestSignal spacedPair(double delayMs, double seconds);

// Diffuse bursts: twenty a second at random instants (the same in L and R),
// each 35 ms of noise under exp(−t/5 ms) at a random level, drawn apart for
// each channel: a reverberant burst, applause or crackle, which belongs
// behind as steady decorrelated noise does.
TestSignal diffuseBursts(double seconds);

// A pink source that moves: it jumps from hard left to hard right and back,
// a second on each side (a ping-pong, a cut between two shots); it sweeps
// between them by the sine law, across the stage in a second; or an
// auto-panner swings it there and back twice a second, across the stage in
// a quarter of a second. `pan` is its place at every sample, −1 (left) to
// +1 (right).
enum class Motion { Jumps, Sweeps, AutoPan };
struct MovingSource {
    TestSignal signal;
    std::vector<float> pan;
    // Over ambience, the ambience is the bed and the moving source the
    // source (signal = their mix), so that the source's own rendering is
    // measured; empty otherwise.
    std::optional<BedAndSource> parts;
};
MovingSource movingSource(Motion motion, double seconds);
// The sweeping source over ambience `bedDb` below it in each channel (two
// independent pinks): a panned instrument in a reverberant mix.
MovingSource sweepingOverAmbience(double bedDb, double seconds);

struct MatrixSignal {
    TestSignal encoded;
    std::vector<float> centre;  // C (or the speech); empty for S alone
};
MatrixSignal matrixFourSources(double seconds);
MatrixSignal matrixSurroundAlone(double seconds);
// The speech's first `seconds` (less if it is shorter) in place of C.
MatrixSignal speechOverMatrixSurround(const Speech& speech, double seconds);

// A stereo mix as a mastered track would be: dry instruments panned by the
// sine law, a reverb made by convolving each side with its own exponentially
// decaying noise tail (independent seeds), all through a soft saturating
// master stage to a peak of −1 dBFS.
//   Band        120 BPM, A minor–F–C–G: kick (centred), snare (slightly
//               right), hats (left of centre), an eighth-note bass
//               (centred), pads (one voicing left, a detuned one right), a
//               lead (near centre); RT60 1.5 s at −12 dB; loud (the master
//               stage drives into saturation)
//   Orchestral  D–Bm–G–A, a chord every 2.5 s: string sections seated left
//               to right (violins, violas, cellos, basses) with slow bows
//               and vibrato, a woodwind melody near centre, timpani; a wide
//               hall, RT60 2.2 s at −5 dB; gentler mastering
enum class MusicStyle { Band, Orchestral };
TestSignal music(MusicStyle style, double seconds);

// The speech (its first `music`'s length) scaled to a peak of 1.0 in both
// channels, over `music` 10 dB down; if the sum peaks above 1.0 the whole
// mix is scaled back to exactly 1.0, so the input never exceeds full scale.
TestSignal filmMix(const Speech& speech, const TestSignal& music);

TestSignal hardLeft(double seconds, bool noiseFloor);

}  // namespace quorveil::quality
