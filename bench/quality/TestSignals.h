// SPDX-License-Identifier: GPL-3.0-or-later
// The stereo signals the upmix is measured with, each with a known answer,
// made in code (the speech comes from espeak-ng when it is installed):
//   pan p         pink noise panned with gains (cos θ, sin θ), θ = (p + 1)·45°;
//                 it belongs at 30·p degrees (FL −30, FC 0, FR +30)
//   decorrelated  two independent pink noises: all ambience
//   L = −R        one pink noise in anti-phase: all ambience
//   dialogue      speech in the centre over decorrelated pink ambience 10 dB
//                 down (power of both channels)
//   demo          the built-in demo of `surround-host upmix`
// Pink noise is at −20 dBFS RMS. Everything is at 44.1 kHz.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

namespace quorveil::quality {

inline constexpr double kSampleRate = 44100.0;

enum class SignalKind { Panned, Decorrelated, AntiPhase, Dialogue, Demo };

struct TestSignal {
    std::string name;
    SignalKind kind = SignalKind::Panned;
    std::vector<float> left, right;
    double pan = 0.0;                    // Panned: p, −1 (left) to 1 (right)
    double expectedAzimuth = NAN;        // Panned: 30·p degrees
    std::vector<float> dialogue;         // Dialogue: the speech in each channel
};

// splitmix64: a small generator whose sequence is the same everywhere.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    double uniform() {  // in (0, 1)
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return (static_cast<double>(z >> 11) + 0.5) / 9007199254740992.0;
    }
    double gaussian() {  // Box-Muller, one of the pair
        return std::sqrt(-2.0 * std::log(uniform())) * std::cos(2.0 * std::numbers::pi * uniform());
    }

private:
    uint64_t state_;
};

// Pink noise of RMS 0.1 from a seed: white Gaussian noise (splitmix64,
// Box-Muller) through Paul Kellet's pink filter. The same for a seed on every
// machine.
std::vector<float> pinkNoise(std::size_t length, uint64_t seed);

TestSignal pannedNoise(double pan, std::size_t length);
TestSignal decorrelatedNoise(std::size_t length);
TestSignal antiPhaseNoise(std::size_t length);
// `speech` at any level; it is scaled to RMS 0.1 over its length.
TestSignal dialogueOverAmbience(const std::vector<float>& speech);
TestSignal demoSignal();

struct Speech {
    std::vector<float> samples;  // at kSampleRate
    std::string source;          // "espeak-ng" or "synthetic vowels"
};

// A few sentences spoken by espeak-ng, resampled to 44.1 kHz; where
// espeak-ng is not installed, a synthetic voice (a pulse train through
// moving vowel formants, in syllables and phrases). `scratch` is a folder of
// the caller's own for espeak-ng's file (quality-speech.wav), which is
// removed afterwards. Throws std::runtime_error when espeak-ng is installed
// but its speech cannot be read back.
Speech loadSpeech(const std::string& scratch);

// The whole set, in table order: five pans, decorrelated, L = −R, dialogue,
// demo. Noises last `seconds`.
std::vector<TestSignal> standardSignals(double seconds, const Speech& speech);

}  // namespace quorveil::quality
