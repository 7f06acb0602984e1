// SPDX-License-Identifier: GPL-3.0-or-later
// What the quality bench and the upmix tests measure on a 5.1 result, with
// the stereo it came from:
//   share      each channel's part of the output energy, %
//   power      output energy over input energy, dB
//   azimuth    the energy vector's direction, atan2(Σ E sin a, Σ E cos a),
//              over FL −30°, FC 0°, FR +30°, BL −110°, BR +110° (LFE left
//              out), negative to the left; its length (0..1) says how
//              focused the image is
//   downmix    the ITU downmix L′ = FL + FC/√2 + BL/√2, R′ likewise,
//              aligned with the input (best lag within ±4096 samples) and
//              scaled by the best single gain g: 10·log10(‖g·d − x‖²/‖x‖²)
//   dialogue   in FC, the part a slowly varying filter of the dialogue
//              explains (per bin, a complex gain fitted every 16 hops of a
//              2048-point STFT, about 190 ms) against the rest, dB
//   LFE leak   the LFE's energy above 200 Hz against its total, dB
//   peak       the largest |sample| of the six channels, dBFS
#pragma once

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "bench/quality/TestSignals.h"

namespace quorveil::quality {

inline constexpr int kChannels = 6;  // FL FR FC LFE BL BR
enum Channel : int { FL = 0, FR = 1, FC = 2, LFE = 3, BL = 4, BR = 5 };
inline constexpr std::array<const char*, kChannels> kChannelNames{"FL", "FR", "FC",
                                                                  "LFE", "BL", "BR"};
// Speaker directions, degrees; the LFE has none.
inline constexpr std::array<double, kChannels> kSpeakerAzimuth{-30.0, 30.0, 0.0, NAN, -110.0, 110.0};

using Surround = std::array<std::vector<float>, kChannels>;

std::array<double, kChannels> channelEnergies(const Surround& out);
// Share of the total, %, of the channels listed.
double sharePercent(const std::array<double, kChannels>& energies, std::initializer_list<int> channels);
double powerRatioDb(const TestSignal& in, const Surround& out);

struct EnergyVector {
    double azimuth = NAN;  // degrees
    double length = 0.0;   // 0 (all around) to 1 (one speaker)
};
EnergyVector energyVector(const std::array<double, kChannels>& energies);

double downmixErrorDb(const TestSignal& in, const Surround& out);
// The downmix's measure for any stereo made from the output (a layout's own
// fold-down): aligned with the input, best single gain, error over input, dB.
double stereoErrorDb(const TestSignal& in, const std::vector<float>& left, const std::vector<float>& right);
double dialogueToRestDb(const std::vector<float>& centre, const std::vector<float>& dialogue);
double lfeLeakageDb(const std::vector<float>& lfe, double aboveHz = 200.0);
double peakDbfs(const Surround& out);

// The whole row of one signal through one upmixer: `plain` at default
// settings, `noDelay` with the rear delay at 0 (for the downmix), `withLfe`
// with the LFE cutoff at 120 Hz (null where not run: NaN in the row).
struct QualityRow {
    std::string signal;
    std::array<double, kChannels> share{};
    double powerDb = NAN;
    EnergyVector vector;
    double expectedAzimuth = NAN;
    double downmixDb = NAN;
    double dialogueDb = NAN;
    double lfeLeakDb = NAN;
    double peakDb = NAN;
};
QualityRow measure(const TestSignal& in, const Surround& plain, const Surround& noDelay,
                   const Surround* withLfe);

}  // namespace quorveil::quality
