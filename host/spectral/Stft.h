// SPDX-License-Identifier: GPL-3.0-or-later
// The host's short-time Fourier path, one channel at a time.
//
// Analysis: a periodic Hann window over the last fftSize samples, one frame
// every hop = fftSize / overlap samples. Per bin it gives the magnitude,
// scaled so that a sine of amplitude A shows A in its peak bin, and the
// frequency in Hz as a phase vocoder estimates it: the bin's expected phase
// advance over one hop plus the wrapped deviation of the measured advance.
//
// Resynthesis: a magnitude frame with the phase of a reference spectrum,
// inverse FFT, synthesis window, overlap-add. The synthesis window is the
// analysis window divided by the sum of squared analysis windows that overlap
// at each point, so that analysis followed by resynthesis of unchanged
// magnitudes returns the input, for every overlap (Hann squared only sums to
// a constant from overlap 4 up).
#pragma once

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <complex>
#include <numbers>
#include <string>
#include <vector>

#include "frame/HostRecords.h"
#include "host/spectral/Fft.h"

namespace quorveil::spectral {

inline constexpr int kDefaultFftSize = 2048;
inline constexpr int kDefaultOverlap = 4;

struct StftSettings {
    double sampleRate = 44100.0;
    int fftSize = kDefaultFftSize;
    int overlap = kDefaultOverlap;

    int hop() const { return fftSize / overlap; }
    int binCount() const { return fftSize / 2 + 1; }
    // Samples by which resynthesised output trails its input.
    int latency() const { return fftSize - hop(); }
};

// The sample rates the spectral engines run at, 8 kHz to 768 kHz.
inline constexpr double kLowestSampleRate = 8000.0;
inline constexpr double kHighestSampleRate = 768000.0;

// Empty when the settings can be run (the sizes and overlaps listed, a rate
// in the range above); otherwise one line for the user.
std::string checkSettings(const StftSettings& settings);

// The engine settings a spectral module receives: one process call carries
// `frameCount` frames, that is frameCount * hop samples of audio.
plogue::biduleSDK::EngineInfo engineInfoFor(const StftSettings& settings, int frameCount);

// Frames per process call the host uses: about 4096 samples per call, at
// least one frame.
int framesPerCall(const StftSettings& settings);

// Windows shared by all channels of one run.
struct StftWindows {
    explicit StftWindows(const StftSettings& settings);
    std::vector<float> analysis;   // periodic Hann
    std::vector<float> synthesis;  // with the overlap-add and FFT gains folded in
    float magnitudeScale;          // |X| -> amplitude
};

// The angle of (x, y) in (-pi, pi], like atan2(y, x), to within 2e-5 rad:
// a phase vocoder needs no more, and the library call costs a quarter of a
// render. Branch-free, so the loop over the bins vectorises.
inline float phaseAngle(float y, float x) {
    constexpr float halfPi = std::numbers::pi_v<float> / 2.0f;
    constexpr float pi = std::numbers::pi_v<float>;
    const float ax = std::fabs(x), ay = std::fabs(y);
    // (0, 0) gives 0 / FLT_MIN = 0; no branch around the division.
    const float t = std::min(ax, ay) / std::max(std::max(ax, ay), FLT_MIN);
    const float t2 = t * t;
    // Minimax polynomial for atan on [0, 1].
    float a = t * (0.99997726f +
                   t2 * (-0.33262347f +
                         t2 * (0.19354346f +
                               t2 * (-0.11643287f + t2 * (0.05265332f - t2 * 0.01172120f)))));
    // Octant and half-plane folds as selected constants, never as selected
    // arithmetic, so the compiler can vectorise without speculating.
    const bool steep = ay > ax;
    a = (steep ? halfPi : 0.0f) + (steep ? -1.0f : 1.0f) * a;
    const bool back = x < 0.0f;
    a = (back ? pi : 0.0f) + (back ? -1.0f : 1.0f) * a;
    return std::copysign(a, y);
}

class ChannelAnalyzer {
public:
    ChannelAnalyzer(const StftSettings& settings, const StftWindows& windows, RealFft& fft);

    // Takes the next hop samples and analyses the frame that ends with them.
    // Writes binCount magnitudes, frequencies (Hz) and complex bins.
    void analyse(const float* newSamples, float* magnitude, float* frequency,
                 std::complex<float>* spectrum);

    // Forgets the past: silence before the next frame, as when built.
    void reset();

private:
    StftSettings settings_;
    const StftWindows& windows_;
    RealFft& fft_;
    std::vector<float> history_;        // the last fftSize input samples
    std::vector<float> expectedStep_;  // bin's phase advance per hop, in (-pi, pi]
    std::vector<float> binHz_;         // bin centre frequencies
    std::vector<std::complex<float>> previous_;  // last frame's bins
    bool first_ = true;
};

// The phase of each of `bins` complex values as a unit complex number; a bin
// of zero gets phase 0.
void unitPhasors(const std::complex<float>* spectrum, std::complex<float>* phasors, int bins);

class ChannelSynthesizer {
public:
    ChannelSynthesizer(const StftSettings& settings, const StftWindows& windows, RealFft& fft);

    // Resynthesises one frame: `magnitude` with the phase of `phasor`, unit
    // complex numbers as unitPhasors() makes them. Writes the hop samples that
    // this frame completes.
    void synthesise(const float* magnitude, const std::complex<float>* phasor, float* out);

    // The same for a frame given as complex bins, scaled as magnitudes are
    // (a sine of amplitude A shows A in its peak bin): writes the hop samples
    // this frame completes.
    void synthesiseBins(const std::complex<float>* bins, float* out);

    // Adds a silent frame: writes the next hop samples.
    void synthesiseSilence(float* out);

    // Forgets the frames still overlapping: silence from here, as when built.
    void reset();

private:
    void overlapAdd(const float* frame, float* out);

    StftSettings settings_;
    const StftWindows& windows_;
    RealFft& fft_;
    std::vector<float> accumulator_;
};

}  // namespace quorveil::spectral
