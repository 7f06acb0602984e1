// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/quality/ScorecardSignals.h"

#include <algorithm>
#include <numbers>

#include "bench/quality/SignalAnalysis.h"
#include "host/spectral/Fft.h"

namespace quorveil::quality {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kPinkRms = 0.1;  // pinkNoise's level
constexpr double kHalfPower = 1.0 / std::numbers::sqrt2;

std::size_t samplesOf(double seconds) { return static_cast<std::size_t>(seconds * kSampleRate + 0.5); }

std::vector<float> scaled(std::vector<float> x, double gain) {
    for (float& s : x) s = static_cast<float>(s * gain);
    return x;
}

double rmsOf(const std::vector<float>& x) {
    return x.empty() ? 0.0 : std::sqrt(energyIn(x, 0, static_cast<long>(x.size())) / static_cast<double>(x.size()));
}

double peakOf(const std::vector<float>& x) {
    float peak = 0.0f;
    for (float s : x) peak = std::max(peak, std::fabs(s));
    return peak;
}

// Sine-law pan gains: (cos θ, sin θ), θ = (p + 1)·45°.
std::pair<double, double> panGains(double pan) {
    const double theta = (pan + 1.0) * kPi / 4.0;
    return {std::cos(theta), std::sin(theta)};
}

// The events' onsets: one a second from 0.5 s; the signal runs a second
// past the last.
std::vector<std::size_t> onsetsFor(int events) {
    std::vector<std::size_t> onsets;
    for (int e = 0; e < events; ++e) onsets.push_back(samplesOf(0.5 + e));
    return onsets;
}

std::size_t lengthFor(int events) { return samplesOf(0.5 + events); }

// `event` added into `into` at each onset (cut at the end).
void addAtOnsets(std::vector<float>& into, const std::vector<float>& event,
                 const std::vector<std::size_t>& onsets) {
    for (std::size_t onset : onsets) {
        for (std::size_t i = 0; i < event.size() && onset + i < into.size(); ++i) into[onset + i] += event[i];
    }
}

BedAndSource decorrelatedBed(const std::string& name, int events, double rms, uint64_t seed) {
    BedAndSource s;
    s.name = name;
    s.onsets = onsetsFor(events);
    const std::size_t n = lengthFor(events);
    s.bedLeft = scaled(pinkNoise(n, seed), rms / kPinkRms);
    s.bedRight = scaled(pinkNoise(n, seed + 1), rms / kPinkRms);
    s.sourceLeft.assign(n, 0.0f);
    s.sourceRight.assign(n, 0.0f);
    return s;
}

void addCentred(BedAndSource& s, const std::vector<float>& event) {
    addAtOnsets(s.sourceLeft, event, s.onsets);
    addAtOnsets(s.sourceRight, event, s.onsets);
}

// Every onset a hit of its own, `hit(seed)` with seeds from `firstSeed` on:
// one noise repeated would be one hit measured five times, and how far a
// hit smears depends on its noise.
void addCentredHits(BedAndSource& s, std::vector<float> (*hit)(uint64_t), uint64_t firstSeed) {
    for (std::size_t i = 0; i < s.onsets.size(); ++i) {
        const std::vector<float> one = hit(firstSeed + i);
        addAtOnsets(s.sourceLeft, one, {s.onsets[i]});
        addAtOnsets(s.sourceRight, one, {s.onsets[i]});
    }
}

std::vector<float> drumHit(uint64_t seed) {
    const std::size_t kickLength = samplesOf(0.9), fade = samplesOf(0.01);
    std::vector<float> hit(kickLength, 0.0f);
    double phase = 0.0;
    for (std::size_t i = 0; i < kickLength; ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        phase += 2.0 * kPi * (45.0 + 75.0 * std::exp(-t / 0.040)) / kSampleRate;
        const double tail = i + fade > kickLength ? static_cast<double>(kickLength - i) / static_cast<double>(fade) : 1.0;
        hit[i] = static_cast<float>(std::sin(phase) * std::exp(-t / 0.150) * tail);
    }
    Random random(seed);
    for (std::size_t i = 0; i < samplesOf(0.040); ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        hit[i] += static_cast<float>(0.5 * random.gaussian() * std::exp(-t / 0.008));
    }
    return scaled(hit, 0.5 / peakOf(hit));
}

// 30 ms of noise band-limited to 1.5–6 kHz (a brick-wall filter on a 4096
// circle), under exp(−t/4 ms), peak 0.5; each seed a castanet of its own.
std::vector<float> castanet(uint64_t seed) {
    constexpr int kSize = 4096;
    spectral::RealFft fft(kSize);
    Random random(seed);
    for (int i = 0; i < kSize; ++i) fft.time()[i] = static_cast<float>(random.gaussian());
    fft.forward();
    for (int k = 0; k <= kSize / 2; ++k) {
        const double f = k * kSampleRate / kSize;
        if (f < 1500.0 || f > 6000.0) fft.spectrum()[k] = 0.0f;
    }
    fft.inverse();
    std::vector<float> hit(samplesOf(0.030));
    for (std::size_t i = 0; i < hit.size(); ++i) {
        hit[i] = static_cast<float>(fft.time()[i] * std::exp(-static_cast<double>(i) / kSampleRate / 0.004));
    }
    return scaled(hit, 0.5 / peakOf(hit));
}

TestSignal stereo(const std::string& name, std::vector<float> left, std::vector<float> right) {
    TestSignal s;
    s.name = name;
    s.kind = SignalKind::Demo;  // measured as programme: no placement answer
    s.left = std::move(left);
    s.right = std::move(right);
    return s;
}

// ---- music ---------------------------------------------------------------

// One period of a tone whose harmonic h has amplitude `amplitudes[h − 1]`,
// read with linear interpolation: a cheap oscillator for many voices.
class Wavetable {
public:
    explicit Wavetable(const std::vector<double>& amplitudes) : table_(kSize + 1) {
        for (std::size_t i = 0; i <= kSize; ++i) {
            double sum = 0.0;
            for (std::size_t h = 0; h < amplitudes.size(); ++h) {
                sum += amplitudes[h] * std::sin(2.0 * kPi * static_cast<double>((h + 1) * i) / kSize);
            }
            table_[i] = sum;
        }
    }
    double at(double phase) const {  // phase in cycles, [0, 1)
        const double x = phase * kSize;
        const auto i = static_cast<std::size_t>(x);
        return table_[i] + (x - static_cast<double>(i)) * (table_[i + 1] - table_[i]);
    }

private:
    static constexpr std::size_t kSize = 4096;
    std::vector<double> table_;
};

std::vector<double> harmonics(int count, double slope) {
    std::vector<double> a;
    for (int h = 1; h <= count; ++h) a.push_back(std::pow(static_cast<double>(h), -slope));
    return a;
}

struct Note {
    double start, length;  // s
    double frequency;      // Hz
    double level;
};

struct Voice {
    const Wavetable* timbre;
    double attack, decay, release;  // s; decay 0: held at full level
    double vibratoDepth, vibratoRate;  // relative, Hz
    double pan, gain;
};

class Mix {
public:
    explicit Mix(std::size_t length) : left_(length, 0.0), right_(length, 0.0) {}
    std::size_t length() const { return left_.size(); }

    void play(const Voice& voice, const Note& note, Random& random) {
        const auto [gl, gr] = panGains(voice.pan);
        const std::size_t begin = samplesOf(note.start);
        const std::size_t end = std::min(length(), samplesOf(note.start + note.length + voice.release));
        double phase = random.uniform();
        const double vibratoPhase = 2.0 * kPi * random.uniform();
        for (std::size_t i = begin; i < end; ++i) {
            const double t = static_cast<double>(i - begin) / kSampleRate;
            double envelope = std::min(1.0, t / voice.attack);
            if (voice.decay > 0.0) envelope *= std::exp(-t / voice.decay);
            if (t > note.length) envelope *= std::max(0.0, 1.0 - (t - note.length) / voice.release);
            const double f = note.frequency *
                             (1.0 + voice.vibratoDepth * std::sin(2.0 * kPi * voice.vibratoRate * t + vibratoPhase));
            phase += f / kSampleRate;
            phase -= std::floor(phase);
            const double y = voice.gain * note.level * envelope * voice.timbre->at(phase);
            left_[i] += gl * y;
            right_[i] += gr * y;
        }
    }
    // A sampled event (a drum), placed at `start` seconds.
    void place(const std::vector<float>& event, double start, double gain, double pan) {
        const auto [gl, gr] = panGains(pan);
        const std::size_t begin = samplesOf(start);
        for (std::size_t i = 0; i < event.size() && begin + i < length(); ++i) {
            left_[begin + i] += gl * gain * event[i];
            right_[begin + i] += gr * gain * event[i];
        }
    }
    std::vector<float> left() const { return {left_.begin(), left_.end()}; }
    std::vector<float> right() const { return {right_.begin(), right_.end()}; }

private:
    std::vector<double> left_, right_;
};

double noteHz(double midi) { return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0); }

std::vector<float> decaying(std::size_t length, double seconds, double tone, double noise,
                            double toneHz, Random& random, bool highPassed = false) {
    std::vector<float> out(length);
    double last = 0.0;
    for (std::size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        const double white = random.gaussian();
        const double n = highPassed ? white - last : white;  // a first difference is bright
        last = white;
        out[i] = static_cast<float>(std::exp(-t / seconds) *
                                    (tone * std::sin(2.0 * kPi * toneHz * t) + noise * n));
    }
    return out;
}

std::vector<float> kick(Random& random) {
    std::vector<float> out(samplesOf(0.5));
    double phase = 0.0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        phase += 2.0 * kPi * (45.0 + 75.0 * std::exp(-t / 0.040)) / kSampleRate;
        out[i] = static_cast<float>(std::sin(phase) * std::exp(-t / 0.120) +
                                    0.2 * random.gaussian() * std::exp(-t / 0.004));
    }
    return out;
}

// Each side's reverb: the dry side convolved with its own noise tail
// (20 ms pre-delay, amplitude down 60 dB after rt60, unit energy).
void addReverb(std::vector<float>& left, std::vector<float>& right, double rt60, double wetGain,
               uint64_t seed) {
    for (int side = 0; side < 2; ++side) {
        Random random(seed + static_cast<uint64_t>(side));
        std::vector<float> tail(samplesOf(0.02 + 1.1 * rt60), 0.0f);
        double energy = 0.0;
        for (std::size_t i = samplesOf(0.02); i < tail.size(); ++i) {
            const double t = static_cast<double>(i) / kSampleRate - 0.02;
            tail[i] = static_cast<float>(random.gaussian() * std::exp(-std::log(1000.0) * t / rt60));
            energy += static_cast<double>(tail[i]) * tail[i];
        }
        std::vector<float>& dry = side == 0 ? left : right;
        const std::vector<float> wet = convolved(dry, scaled(tail, wetGain / std::sqrt(energy)));
        for (std::size_t i = 0; i < dry.size(); ++i) dry[i] += wet[i];
    }
}

// Scaled to `rms` (both channels), through tanh, then to a peak of −1 dBFS.
void master(std::vector<float>& left, std::vector<float>& right, double rms) {
    const double now = std::sqrt(0.5 * (rmsOf(left) * rmsOf(left) + rmsOf(right) * rmsOf(right)));
    for (std::vector<float>* side : {&left, &right}) {
        for (float& s : *side) s = static_cast<float>(std::tanh(s * rms / now));
    }
    const double gain = std::pow(10.0, -1.0 / 20.0) / std::max(peakOf(left), peakOf(right));
    left = scaled(left, gain);
    right = scaled(right, gain);
}

TestSignal bandMix(double seconds) {
    Mix mix(samplesOf(seconds));
    Random random(1001);
    const Wavetable bassTone(harmonics(6, 1.5)), padTone(harmonics(8, 2.0)), leadTone(harmonics(10, 1.0));
    const Voice bass{&bassTone, 0.005, 0.30, 0.01, 0.0, 0.0, 0.0, 0.30};
    const Voice padLeft{&padTone, 0.30, 0.0, 0.30, 0.0023, 0.3, -0.7, 0.16};
    const Voice padRight{&padTone, 0.30, 0.0, 0.30, -0.0023, 0.3, 0.7, 0.16};
    const Voice guitar{&leadTone, 0.003, 0.25, 0.05, 0.0, 0.0, 0.8, 0.12};
    const Voice lead{&leadTone, 0.02, 0.8, 0.05, 0.003, 5.5, 0.1, 0.16};
    constexpr double kBeat = 0.5;
    const double roots[] = {45, 41, 48, 43};  // A2 F2 C3 G2 (MIDI)
    const double thirds[] = {3, 4, 4, 4};      // minor, major, major, major
    const double scale[] = {69, 72, 74, 76, 79, 81, 84};  // A minor pentatonic
    const std::vector<float> kickSound = kick(random);
    for (int bar = 0; bar * 4 * kBeat < seconds; ++bar) {
        const double start = bar * 4 * kBeat, root = roots[bar % 4];
        for (int beat = 0; beat < 4; ++beat) {
            const double at = start + beat * kBeat;
            if (beat % 2 == 0 || random.uniform() < 0.2) mix.place(kickSound, at + (beat % 2) * 0.25, 0.6, 0.0);
            if (beat % 2 == 1) {
                mix.place(decaying(samplesOf(0.3), 0.06, 0.5, 0.7, 190.0, random), at, 0.55, 0.15);
            }
            for (int eighth = 0; eighth < 2; ++eighth) {
                const double hat = at + eighth * kBeat / 2;
                mix.place(decaying(samplesOf(0.1), eighth == 1 ? 0.04 : 0.015, 0.0, 1.0, 0.0, random, true),
                          hat, 0.12 * (0.6 + 0.4 * random.uniform()), -0.5);
                const double octave = random.uniform() < 0.25 ? 12.0 : 0.0;
                mix.play(bass, {hat, kBeat / 2 - 0.02, noteHz(root + octave), 1.0}, random);
                const double arpeggio[] = {24.0, 24.0 + thirds[bar % 4], 31.0, 36.0};
                mix.play(guitar, {hat, kBeat / 2, noteHz(root + arpeggio[(beat * 2 + eighth) % 4]), 1.0}, random);
            }
        }
        // Two voicings of the chord, one each side.
        for (double interval : {24.0, 24.0 + thirds[bar % 4], 31.0}) {
            mix.play(padLeft, {start, 4 * kBeat - 0.3, noteHz(root + interval), 1.0}, random);
        }
        for (double interval : {19.0, 24.0, 36.0 + thirds[bar % 4]}) {
            mix.play(padRight, {start, 4 * kBeat - 0.3, noteHz(root + interval), 1.0}, random);
        }
        for (double at = start; at < start + 4 * kBeat;) {
            const double length = random.uniform() < 0.5 ? kBeat / 2 : kBeat;
            if (random.uniform() < 0.8) {
                const double note = scale[static_cast<std::size_t>(random.uniform() * std::size(scale))];
                mix.play(lead, {at, length * 0.9, noteHz(note), 0.7 + 0.3 * random.uniform()}, random);
            }
            at += length;
        }
    }
    std::vector<float> left = mix.left(), right = mix.right();
    addReverb(left, right, 1.5, std::pow(10.0, -12.0 / 20.0), 3101);
    master(left, right, std::pow(10.0, -10.0 / 20.0));
    return stereo("music: band", std::move(left), std::move(right));
}

TestSignal orchestralMix(double seconds) {
    Mix mix(samplesOf(seconds));
    Random random(2001);
    const Wavetable strings(harmonics(12, 1.0)), woodwind(harmonics(3, 2.5)), timpaniTone({1.0, 0.3, 0.1});
    struct Section {
        double pan, gain, octave;
        int chordTone;  // 0 root, 1 third, 2 fifth; −1 the tune
    };
    const Section sections[] = {
        {-0.6, 0.08, 0, -1}, {-0.2, 0.07, 0, 1}, {0.4, 0.05, -12, 2}, {0.6, 0.045, -24, 0}};
    const double roots[] = {50, 47, 43, 45};  // D3 B2 G2 A2
    const double thirds[] = {4, 3, 4, 4};
    const double tune[] = {74, 76, 78, 81, 79, 78, 76, 74, 71, 73, 74, 76};  // D major, octave 5
    constexpr double kChord = 2.5;
    for (int chord = 0; chord * kChord < seconds; ++chord) {
        const double start = chord * kChord, root = roots[chord % 4];
        const double tones[] = {0.0, thirds[chord % 4], 7.0};
        for (const Section& section : sections) {
            for (int desk = 0; desk < 3; ++desk) {  // three players a section, slightly apart
                const Voice bow{&strings, 0.4, 0.0, 0.5, 0.002, 5.0 + 0.4 * desk,
                                section.pan + 0.08 * (desk - 1), section.gain};
                const double cents = 6.0 * (desk - 1);
                if (section.chordTone < 0) {
                    for (int half = 0; half < 2; ++half) {
                        const double note = tune[static_cast<std::size_t>(chord * 2 + half) % std::size(tune)];
                        mix.play(bow, {start + half * kChord / 2, kChord / 2 - 0.1,
                                       noteHz(note + cents / 100.0), 1.0}, random);
                    }
                } else {
                    const double note = root + tones[section.chordTone] + section.octave + 12.0;
                    mix.play(bow, {start, kChord - 0.2, noteHz(note + cents / 100.0), 1.0}, random);
                }
            }
        }
        const Voice flute{&woodwind, 0.05, 0.0, 0.1, 0.004, 5.5, -0.1, 0.10};
        for (int quarter = 0; quarter < 5; ++quarter) {
            const double note = tune[static_cast<std::size_t>(random.uniform() * std::size(tune))] + 12.0;
            mix.play(flute, {start + quarter * kChord / 5, kChord / 5 - 0.05, noteHz(note), 1.0}, random);
        }
        const Voice timpani{&timpaniTone, 0.002, 0.4, 0.05, 0.0, 0.0, 0.3, 0.5};
        mix.play(timpani, {start, 0.9, noteHz(root - 12), 1.0}, random);
        mix.place(decaying(samplesOf(0.05), 0.01, 0.0, 0.3, 0.0, random), start, 1.0, 0.3);
    }
    std::vector<float> left = mix.left(), right = mix.right();
    addReverb(left, right, 2.2, std::pow(10.0, -5.0 / 20.0), 3201);
    master(left, right, std::pow(10.0, -16.0 / 20.0));
    return stereo("music: orchestral", std::move(left), std::move(right));
}

}  // namespace

TestSignal BedAndSource::mixed(double sign) const {
    TestSignal s = stereo(name, bedLeft, bedRight);
    for (std::size_t i = 0; i < length(); ++i) {
        s.left[i] += static_cast<float>(sign * sourceLeft[i]);
        s.right[i] += static_cast<float>(sign * sourceRight[i]);
    }
    return s;
}

TestSignal BedAndSource::bedAlone() const { return stereo(name + ": bed", bedLeft, bedRight); }

TestSignal BedAndSource::sourceAlone() const { return stereo(name + ": source", sourceLeft, sourceRight); }

BedAndSource pumpingNoise(int events) {
    BedAndSource s;
    s.name = "pumping";
    s.onsets = onsetsFor(events);
    const std::size_t n = lengthFor(events);
    s.bedLeft = scaled(pinkNoise(n, 1101), std::pow(10.0, -26.0 / 20.0) / kPinkRms);
    s.bedRight = s.bedLeft;
    s.sourceLeft.assign(n, 0.0f);
    s.sourceRight.assign(n, 0.0f);
    Random random(1102);
    for (std::size_t onset : s.onsets) {
        for (std::size_t i = 0; i < samplesOf(0.250) && onset + i < n; ++i) {
            const double t = static_cast<double>(i) / kSampleRate;
            s.sourceRight[onset + i] = static_cast<float>(0.3 * random.gaussian() * std::exp(-t / 0.050));
        }
    }
    return s;
}

BedAndSource drumHitsOverAmbience(int events) {
    BedAndSource s = decorrelatedBed("drum hits", events, 0.03, 1201);
    addCentredHits(s, drumHit, 1203);
    return s;
}

BedAndSource clicksOverBed(int events) {
    BedAndSource s = decorrelatedBed("clicks", events, 0.015, 1301);
    addCentred(s, {0.5f});
    return s;
}

BedAndSource castanetsOverBed(int events) {
    BedAndSource s = decorrelatedBed("castanets", events, 0.015, 1301);
    addCentredHits(s, castanet, 1303);
    return s;
}

namespace {

// 20 ms of white noise at 0.5 RMS under exp(−t/5 ms), then silence to
// `length` samples.
std::vector<float> drySnare(Random& random, std::size_t length) {
    std::vector<float> snare(length, 0.0f);
    for (std::size_t i = 0; i < std::min(length, samplesOf(0.020)); ++i) {
        snare[i] = static_cast<float>(0.5 * random.gaussian() * std::exp(-static_cast<double>(i) / kSampleRate / 0.005));
    }
    return snare;
}

}  // namespace

BedAndSource reverbedSnares(int events) {
    BedAndSource s = decorrelatedBed("reverbed snares", events, 0.01, 1311);
    const double decay = 1.0 / std::log(1000.0);  // 60 dB in 1 s
    for (std::size_t e = 0; e < s.onsets.size(); ++e) {
        Random random(1313 + 2 * e);
        const std::vector<float> snare = drySnare(random, samplesOf(0.020));
        std::vector<float> reverbLeft(samplesOf(1.0)), reverbRight(reverbLeft.size());
        for (std::size_t i = 0; i < reverbLeft.size(); ++i) {
            const double t = static_cast<double>(i) / kSampleRate;
            const double envelope = 0.25 * std::min(t / 0.010, 1.0) * std::exp(-t / decay);
            reverbLeft[i] = static_cast<float>(envelope * random.gaussian());
            reverbRight[i] = static_cast<float>(envelope * random.gaussian());
        }
        addAtOnsets(s.sourceLeft, snare, {s.onsets[e]});
        addAtOnsets(s.sourceRight, snare, {s.onsets[e]});
        addAtOnsets(s.bedLeft, reverbLeft, {s.onsets[e]});
        addAtOnsets(s.bedRight, reverbRight, {s.onsets[e]});
    }
    return s;
}

BedAndSource spacedSnares(int events, double delayMs) {
    BedAndSource s = decorrelatedBed("spaced snares", events, 0.01, 1311);
    for (std::size_t e = 0; e < s.onsets.size(); ++e) {
        Random random(1313 + 2 * e);
        const std::vector<float> snare = drySnare(random, 2048);  // room for the delay on the FFT's circle
        addAtOnsets(s.sourceLeft, snare, {s.onsets[e]});
        addAtOnsets(s.sourceRight, delayed(snare, delayMs * 1e-3 * kSampleRate), {s.onsets[e]});
    }
    return s;
}

TestSignal partlyCoherentNoise(double seconds) {
    const std::size_t n = samplesOf(seconds);
    const std::vector<float> shared = pinkNoise(n, 1401), left = pinkNoise(n, 1402),
                             right = pinkNoise(n, 1403);
    TestSignal s = stereo("coherence 0.5", std::vector<float>(n), std::vector<float>(n));
    for (std::size_t i = 0; i < n; ++i) {
        s.left[i] = static_cast<float>(kHalfPower * (shared[i] + left[i]));
        s.right[i] = static_cast<float>(kHalfPower * (shared[i] + right[i]));
    }
    return s;
}

ChordSignal chordOverAmbience(double seconds) {
    const std::size_t n = samplesOf(seconds), fade = samplesOf(0.05);
    struct Tone {
        double frequency, pan;
    };
    const Tone tones[] = {{220.0, 0.0}, {220.0 * 5.0 / 4.0, -0.5}, {220.0 * 3.0 / 2.0, 0.5}};
    ChordSignal chord;
    chord.signal = stereo("chord", std::vector<float>(n), std::vector<float>(n));
    Random random(1501);
    for (const Tone& tone : tones) {
        const auto [gl, gr] = panGains(tone.pan);
        for (int h = 1; h <= 5; ++h) {
            const double f = tone.frequency * h, phase = 2.0 * kPi * random.uniform();
            chord.partials.push_back(f);
            for (std::size_t i = 0; i < n; ++i) {
                const double ramp = std::min(1.0, static_cast<double>(i) / static_cast<double>(fade));
                const double y = ramp * std::sin(2.0 * kPi * f * static_cast<double>(i) / kSampleRate + phase) / h;
                chord.signal.left[i] += static_cast<float>(gl * y);
                chord.signal.right[i] += static_cast<float>(gr * y);
            }
        }
    }
    std::sort(chord.partials.begin(), chord.partials.end());
    chord.partials.erase(std::unique(chord.partials.begin(), chord.partials.end(),
                                     [](double a, double b) { return std::fabs(a - b) < 1e-6; }),
                         chord.partials.end());
    const double rms = std::sqrt(0.5 * (std::pow(rmsOf(chord.signal.left), 2) + std::pow(rmsOf(chord.signal.right), 2)));
    chord.signal.left = scaled(chord.signal.left, kPinkRms / rms);
    chord.signal.right = scaled(chord.signal.right, kPinkRms / rms);
    const double ambience = kPinkRms * std::pow(10.0, -25.0 / 20.0);
    const std::vector<float> left = pinkNoise(n, 1502), right = pinkNoise(n, 1503);
    for (std::size_t i = 0; i < n; ++i) {
        chord.signal.left[i] += static_cast<float>(left[i] * ambience / kPinkRms);
        chord.signal.right[i] += static_cast<float>(right[i] * ambience / kPinkRms);
    }
    return chord;
}

TestSignal diffuseBursts(double seconds) {
    const std::size_t n = samplesOf(seconds), length = samplesOf(0.035);
    std::vector<float> left(n, 0.0f), right(n, 0.0f);
    Random instants(1601), noise(1602);
    const auto gap = [&instants] { return -std::log(instants.uniform()) / 20.0; };  // Poisson, 20 a second
    for (double t = gap(); samplesOf(t) + length < n; t += gap()) {
        const std::size_t start = samplesOf(t);
        const double level = 0.1 + 0.2 * instants.uniform();
        for (std::size_t i = 0; i < length; ++i) {
            const double envelope = level * std::exp(-static_cast<double>(i) / kSampleRate / 0.005);
            left[start + i] += static_cast<float>(envelope * noise.gaussian());
            right[start + i] += static_cast<float>(envelope * noise.gaussian());
        }
    }
    return stereo("diffuse bursts", std::move(left), std::move(right));
}

MovingSource movingSource(Motion motion, double seconds) {
    const std::size_t n = samplesOf(seconds);
    const std::vector<float> source = pinkNoise(powerOfTwoAtLeast(n), 1701);
    MovingSource moving;
    std::vector<float> left(n), right(n);
    moving.pan.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        const double pan = motion == Motion::Jumps   ? (std::fmod(t, 2.0) < 1.0 ? -1.0 : 1.0)
                           : motion == Motion::Sweeps ? std::sin(kPi * t)
                                                      : std::sin(4.0 * kPi * t);
        const double theta = (pan + 1.0) * kPi / 4.0;
        left[i] = static_cast<float>(std::cos(theta) * source[i]);
        right[i] = static_cast<float>(std::sin(theta) * source[i]);
        moving.pan[i] = static_cast<float>(pan);
    }
    const char* name = motion == Motion::Jumps    ? "jumping source"
                       : motion == Motion::Sweeps ? "sweeping source"
                                                  : "auto-panned source";
    moving.signal = stereo(name, std::move(left), std::move(right));
    return moving;
}

MovingSource sweepingOverAmbience(double bedDb, double seconds) {
    MovingSource moving = movingSource(Motion::Sweeps, seconds);
    const std::size_t n = moving.signal.left.size();
    auto ambience = [&](uint64_t seed) {
        std::vector<float> noise = scaled(pinkNoise(powerOfTwoAtLeast(n), seed), std::pow(10.0, bedDb / 20.0));
        noise.resize(n);
        return noise;
    };
    BedAndSource parts{"sweeping over ambience", ambience(1711), ambience(1712), moving.signal.left,
                       moving.signal.right, {}};
    moving.signal = parts.mixed(+1.0);
    moving.parts = std::move(parts);
    return moving;
}

TestSignal spacedPair(double delayMs, double seconds) {
    const std::size_t n = samplesOf(seconds);
    const std::vector<float> source = pinkNoise(powerOfTwoAtLeast(n), 1601);
    const std::vector<float> late = delayed(source, delayMs * 1e-3 * kSampleRate);
    char name[48];
    std::snprintf(name, sizeof name, "spaced pair %.2f ms", delayMs);
    return stereo(name, {source.begin(), source.begin() + static_cast<long>(n)},
                  {late.begin(), late.begin() + static_cast<long>(n)});
}

namespace {

// Lt = L + g·C − g·H{S}, Rt = R + g·C + g·H{S}, g = 1/√2; any part may be
// empty (silent).
TestSignal matrixEncode(const std::string& name, std::size_t n, const std::vector<float>& left,
                        const std::vector<float>& centre, const std::vector<float>& right,
                        const std::vector<float>& surround) {
    const std::vector<float> shifted = phaseShifted(surround);
    auto at = [](const std::vector<float>& x, std::size_t i) { return i < x.size() ? static_cast<double>(x[i]) : 0.0; };
    TestSignal s = stereo(name, std::vector<float>(n), std::vector<float>(n));
    for (std::size_t i = 0; i < n; ++i) {
        const double c = kHalfPower * at(centre, i), h = kHalfPower * at(shifted, i);
        s.left[i] = static_cast<float>(at(left, i) + c - h);
        s.right[i] = static_cast<float>(at(right, i) + c + h);
    }
    return s;
}

// S on the power-of-two circle phaseShifted wants.
std::vector<float> surroundSource(std::size_t n) { return pinkNoise(powerOfTwoAtLeast(n), 1704); }

}  // namespace

MatrixSignal matrixFourSources(double seconds) {
    const std::size_t n = samplesOf(seconds);
    MatrixSignal m;
    m.centre = pinkNoise(n, 1702);
    m.encoded = matrixEncode("matrix L C R S", n, pinkNoise(n, 1701), m.centre, pinkNoise(n, 1703),
                             surroundSource(n));
    return m;
}

MatrixSignal matrixSurroundAlone(double seconds) {
    const std::size_t n = samplesOf(seconds);
    MatrixSignal m;
    m.encoded = matrixEncode("matrix S alone", n, {}, {}, {}, surroundSource(n));
    return m;
}

MatrixSignal speechOverMatrixSurround(const Speech& speech, double seconds) {
    const std::size_t n = std::min(samplesOf(seconds), speech.samples.size());
    MatrixSignal m;
    m.centre.assign(speech.samples.begin(), speech.samples.begin() + static_cast<long>(n));
    m.centre = scaled(m.centre, kPinkRms / rmsOf(m.centre));
    m.encoded = matrixEncode("matrix speech over S", n, {}, m.centre, {}, surroundSource(n));
    return m;
}

TestSignal music(MusicStyle style, double seconds) {
    return style == MusicStyle::Band ? bandMix(seconds) : orchestralMix(seconds);
}

TestSignal filmMix(const Speech& speech, const TestSignal& musicBed) {
    const std::size_t n = std::min(speech.samples.size(), musicBed.left.size());
    std::vector<float> voice(speech.samples.begin(), speech.samples.begin() + static_cast<long>(n));
    voice = scaled(voice, 1.0 / peakOf(voice));
    const double under = std::pow(10.0, -10.0 / 20.0);
    TestSignal s = stereo("film", voice, voice);
    for (std::size_t i = 0; i < n; ++i) {
        s.left[i] += static_cast<float>(under * musicBed.left[i]);
        s.right[i] += static_cast<float>(under * musicBed.right[i]);
    }
    const double peak = std::max(peakOf(s.left), peakOf(s.right));
    if (peak > 1.0) {
        s.left = scaled(s.left, 1.0 / peak);
        s.right = scaled(s.right, 1.0 / peak);
        for (std::vector<float>* side : {&s.left, &s.right}) {
            for (float& x : *side) x = std::clamp(x, -1.0f, 1.0f);  // rounding
        }
    }
    return s;
}

TestSignal hardLeft(double seconds, bool noiseFloor) {
    const std::size_t n = samplesOf(seconds);
    std::vector<float> right(n, 0.0f);
    if (noiseFloor) {
        Random random(1802);
        for (float& s : right) s = static_cast<float>(std::pow(10.0, -90.0 / 20.0) * random.gaussian());
    }
    return stereo(noiseFloor ? "hard left, R -90 dBFS floor" : "hard left, R silent", pinkNoise(n, 1801),
                  std::move(right));
}

}  // namespace quorveil::quality
