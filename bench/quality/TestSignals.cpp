// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/quality/TestSignals.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <numbers>
#include <stdexcept>

#include "host/cli/DemoSignal.h"
#include "host/soundfiles/SoundFile.h"

namespace quorveil::quality {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kNoiseRms = 0.1;

void scaleToRms(std::vector<float>& samples, double rms) {
    double sum = 0.0;
    for (float s : samples) sum += static_cast<double>(s) * s;
    if (!(sum > 0.0)) return;
    const double factor = rms / std::sqrt(sum / static_cast<double>(samples.size()));
    for (float& s : samples) s = static_cast<float>(s * factor);
}

// Band-limited resampling by a rational factor up/down with a windowed sinc
// (Blackman, 32 zero crossings each side), cut off below the lower Nyquist
// frequency. The kernel of each of the `up` phases is computed once.
std::vector<float> resampled(const std::vector<float>& in, long fromRate, long toRate) {
    if (fromRate == toRate) return in;
    constexpr long kHalfTaps = 32;
    const long common = std::gcd(fromRate, toRate);
    const long up = toRate / common, down = fromRate / common;
    const double cutoff = std::min(1.0, static_cast<double>(up) / static_cast<double>(down)) * 0.95;
    const long reach = static_cast<long>(std::ceil(kHalfTaps / cutoff));
    // phase p, tap j: the input sample j - reach + 1 away from floor(position).
    const long taps = 2 * reach;
    std::vector<double> kernels(static_cast<std::size_t>(up * taps));
    for (long p = 0; p < up; ++p) {
        const double fraction = static_cast<double>(p) / static_cast<double>(up);
        for (long j = 0; j < taps; ++j) {
            const double x = (static_cast<double>(j - reach + 1) - fraction) * cutoff;
            const double sinc = x == 0.0 ? 1.0 : std::sin(kPi * x) / (kPi * x);
            const double w = std::fabs(x) >= kHalfTaps
                                 ? 0.0
                                 : 0.42 + 0.5 * std::cos(kPi * x / kHalfTaps) +
                                       0.08 * std::cos(2.0 * kPi * x / kHalfTaps);
            kernels[static_cast<std::size_t>(p * taps + j)] = cutoff * sinc * w;
        }
    }
    const auto length = static_cast<std::size_t>(static_cast<long>(in.size()) * up / down);
    std::vector<float> out(length);
    for (std::size_t i = 0; i < length; ++i) {
        const long position = static_cast<long>(i) * down;  // in units of 1/up input samples
        const long base = position / up, phase = position % up;
        const double* kernel = kernels.data() + phase * taps;
        double sum = 0.0;
        for (long j = 0; j < taps; ++j) {
            const long at = base + j - reach + 1;
            if (at >= 0 && at < static_cast<long>(in.size())) {
                sum += in[static_cast<std::size_t>(at)] * kernel[j];
            }
        }
        out[i] = static_cast<float>(sum);
    }
    return out;
}

// A voice without words: a pulse train at a gliding pitch through three
// formant resonators that move from vowel to vowel, 5 syllables a second,
// phrases of 1.8 s with 0.5 s pauses.
std::vector<float> syntheticVoice(double seconds) {
    struct Vowel {
        double f1, f2, f3;
    };
    constexpr Vowel vowels[] = {{730, 1090, 2440}, {270, 2290, 3010}, {300, 870, 2240},
                                {530, 1840, 2480}, {570, 840, 2410}};
    const auto length = static_cast<std::size_t>(seconds * kSampleRate);
    std::vector<float> out(length);
    double phase = 0.0;
    double state[3][2] = {};
    for (std::size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        const double f0 = 115.0 + 15.0 * std::sin(2.0 * kPi * 0.7 * t);
        phase += f0 / kSampleRate;
        const double pulse = phase >= 1.0 ? 1.0 : 0.0;
        phase -= std::floor(phase);
        const auto syllable = static_cast<std::size_t>(t / 0.2);
        const Vowel& v = vowels[syllable % std::size(vowels)];
        double signal = pulse;
        const double formants[3] = {v.f1, v.f2, v.f3};
        for (int f = 0; f < 3; ++f) {
            const double r = 0.985;
            const double c = 2.0 * r * std::cos(2.0 * kPi * formants[f] / kSampleRate);
            const double y = signal + c * state[f][0] - r * r * state[f][1];
            state[f][1] = state[f][0];
            state[f][0] = y;
            signal = y * (1.0 - r);
        }
        const double inPhrase = std::fmod(t, 2.3);
        const double syllableEnvelope = std::pow(std::sin(kPi * std::fmod(t, 0.2) / 0.2), 2.0);
        out[i] = static_cast<float>(inPhrase < 1.8 ? signal * syllableEnvelope : 0.0);
    }
    return out;
}

}  // namespace

std::vector<float> pinkNoise(std::size_t length, uint64_t seed) {
    Random random(seed);
    std::vector<float> out(length);
    double b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0, b6 = 0;
    for (float& sample : out) {
        const double white = random.gaussian();
        b0 = 0.99886 * b0 + white * 0.0555179;
        b1 = 0.99332 * b1 + white * 0.0750759;
        b2 = 0.96900 * b2 + white * 0.1538520;
        b3 = 0.86650 * b3 + white * 0.3104856;
        b4 = 0.55000 * b4 + white * 0.5329522;
        b5 = -0.7616 * b5 - white * 0.0168980;
        sample = static_cast<float>(b0 + b1 + b2 + b3 + b4 + b5 + b6 + white * 0.5362);
        b6 = white * 0.115926;
    }
    scaleToRms(out, kNoiseRms);
    return out;
}

TestSignal pannedNoise(double pan, std::size_t length) {
    const std::vector<float> source = pinkNoise(length, 101);
    const double theta = (pan + 1.0) * kPi / 4.0;
    TestSignal s;
    char name[32];
    std::snprintf(name, sizeof name, "pan %+.1f", pan);
    s.name = name;
    s.kind = SignalKind::Panned;
    s.pan = pan;
    s.expectedAzimuth = 30.0 * pan;
    for (float x : source) {
        s.left.push_back(static_cast<float>(std::cos(theta) * x));
        s.right.push_back(static_cast<float>(std::sin(theta) * x));
    }
    return s;
}

TestSignal decorrelatedNoise(std::size_t length) {
    TestSignal s;
    s.name = "decorrelated";
    s.kind = SignalKind::Decorrelated;
    s.left = pinkNoise(length, 201);
    s.right = pinkNoise(length, 202);
    return s;
}

TestSignal antiPhaseNoise(std::size_t length) {
    TestSignal s;
    s.name = "L = -R";
    s.kind = SignalKind::AntiPhase;
    s.left = pinkNoise(length, 301);
    for (float x : s.left) s.right.push_back(-x);
    return s;
}

TestSignal dialogueOverAmbience(const std::vector<float>& speech) {
    std::vector<float> voice = speech;
    scaleToRms(voice, kNoiseRms);
    TestSignal s;
    s.name = "dialogue";
    s.kind = SignalKind::Dialogue;
    // Speech power P in both channels together, ambience P/10 likewise.
    const double ambienceRms = kNoiseRms * std::sqrt(0.1 / 2.0);
    std::vector<float> left = pinkNoise(voice.size(), 401), right = pinkNoise(voice.size(), 402);
    for (std::size_t i = 0; i < voice.size(); ++i) {
        const auto d = static_cast<float>(voice[i] / std::numbers::sqrt2);
        s.dialogue.push_back(d);
        s.left.push_back(d + static_cast<float>(left[i] * ambienceRms / kNoiseRms));
        s.right.push_back(d + static_cast<float>(right[i] * ambienceRms / kNoiseRms));
    }
    return s;
}

TestSignal demoSignal() {
    cli::DemoSignal demo;
    std::vector<float> interleaved(cli::DemoSignal::kLength * 2);
    const std::size_t n = demo.read(interleaved.data(), cli::DemoSignal::kLength);
    TestSignal s;
    s.name = "demo";
    s.kind = SignalKind::Demo;
    for (std::size_t i = 0; i < n; ++i) {
        s.left.push_back(interleaved[2 * i]);
        s.right.push_back(interleaved[2 * i + 1]);
    }
    return s;
}

Speech loadSpeech(const std::string& scratch) {
    if (std::system("command -v espeak-ng > /dev/null 2>&1") != 0) {
        return {syntheticVoice(12.0), "synthetic vowels"};
    }
    const std::string path = (std::filesystem::path(scratch) / "quality-speech.wav").string();
    const std::string command =
        "espeak-ng -v en-us -s 150 -w '" + path +
        "' 'The quick brown fox jumps over the lazy dog. She sells sea shells by the sea "
        "shore, and the shells she sells are surely sea shells. Peter Piper picked a peck of "
        "pickled peppers. How much wood would a woodchuck chuck?' > /dev/null 2>&1";
    // espeak-ng exits with 0 even when it cannot write the file: the reader
    // is what tells.
    std::vector<float> mono;
    long rate = 0;
    try {
        if (std::system(command.c_str()) != 0) throw std::runtime_error("it exited with an error");
        host::SoundFileReader reader(path);
        std::vector<float> samples(static_cast<std::size_t>(std::max<int64_t>(reader.frames(), 0)) *
                                   static_cast<std::size_t>(reader.channels()));
        const int64_t got = reader.read(samples.data(), reader.frames());
        for (int64_t i = 0; i < got; ++i) {
            mono.push_back(samples[static_cast<std::size_t>(i * reader.channels())]);
        }
        rate = reader.sampleRate();
    } catch (const std::exception& error) {
        throw std::runtime_error("espeak-ng did not speak the dialogue into " + path + ": " +
                                 error.what());
    }
    std::filesystem::remove(path);
    if (mono.empty()) {
        throw std::runtime_error("espeak-ng spoke no samples into " + path);
    }
    return {resampled(mono, rate, static_cast<long>(kSampleRate)), "espeak-ng"};
}

std::vector<TestSignal> standardSignals(double seconds, const Speech& speech) {
    const auto length = static_cast<std::size_t>(seconds * kSampleRate);
    std::vector<TestSignal> signals;
    for (double pan : {-1.0, -0.5, 0.0, 0.5, 1.0}) signals.push_back(pannedNoise(pan, length));
    signals.push_back(decorrelatedNoise(length));
    signals.push_back(antiPhaseNoise(length));
    signals.push_back(dialogueOverAmbience(speech.samples));
    signals.push_back(demoSignal());
    return signals;
}

}  // namespace quorveil::quality
