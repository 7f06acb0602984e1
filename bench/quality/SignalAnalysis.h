// SPDX-License-Identifier: GPL-3.0-or-later
// The signal processing the scorecard's signals and measures are built on:
// energies over spans of samples, Welch's averaged spectra (auto and
// coherent part), third-octave bands and their levels frame by frame, and
// three whole-signal FFT operations (an exact fractional delay, a +90°
// phase shift, a convolution). Everything runs in double where it sums and
// through spectral::RealFft where it transforms; none of it is meant for a
// real-time thread (it allocates freely).
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <initializer_list>
#include <utility>
#include <vector>

#include "bench/quality/QualityMetrics.h"

namespace quorveil::quality {

// Σ x² over samples [begin, end), clipped to the signal.
double energyIn(const std::vector<float>& x, long begin, long end);
// The same for each of the six channels.
std::array<double, kChannels> energiesIn(const Surround& out, long begin, long end);
// Σ of `energies` over `channels`.
double sumOf(const std::array<double, kChannels>& energies, std::initializer_list<int> channels);
double sumOfAll(const std::array<double, kChannels>& energies);

// Energy per frame of `frame` samples, from sample 0 (a last partial frame
// is dropped).
std::vector<double> frameEnergies(const std::vector<float>& x, std::size_t frame);

// 10·log10(ratio), with −300 dB for a zero ratio and NaN for 0/0.
double decibelsOf(double numerator, double denominator);

// The median of finite values (NaN when there are none).
double median(std::vector<double> values);

// Pearson's correlation of two signals from sample `skip` on (NaN if either
// is silent).
double correlation(const std::vector<float>& a, const std::vector<float>& b, std::size_t skip);

// Welch's averages: Hann windows of `size` samples at a hop of size/2,
// from sample `skip` on; per bin (size/2 + 1 of them), the power summed over
// frames. Only ratios of such sums are used, so there is no normalisation.
std::vector<double> welchPower(const std::vector<float>& x, std::size_t size, std::size_t skip);

// The energy of each output channel that is coherent with `reference`:
// Σ_f |S_oR(f)|² / S_RR(f) over Welch cross-spectra of `size`, from sample
// `skip` on. Each channel is first aligned to the reference at the lag
// (within ±size/2) where their cross-correlation peaks, so a delayed copy
// (the rears' delay) counts whole.
std::array<double, kChannels> coherentEnergies(const std::vector<float>& reference,
                                               const Surround& out, std::size_t size,
                                               std::size_t skip);

struct Band {
    double low, centre, high;  // Hz; low and high at centre·2^(∓1/6)
};
// Third-octave bands on the base-2 grid (centres 1000·2^(k/3) Hz) whose
// centres lie in [from, to] (within 1%).
std::vector<Band> thirdOctaveBands(double from, double to);
// The bins (of an FFT of `size` at kSampleRate) whose centre frequency lies
// in [band.low, band.high); at least the one nearest the centre.
std::pair<std::size_t, std::size_t> binRange(const Band& band, std::size_t size);

// Band energies frame by frame: Hann windows of `size`, one every `hop`
// samples from `skip` on; result[band][frame].
std::vector<std::vector<double>> bandEnergies(const std::vector<float>& x, std::size_t size,
                                              std::size_t hop, const std::vector<Band>& bands,
                                              std::size_t skip);

// Whole-signal operations on the circle of `x`'s length, which must be a
// power of two (generate longer and keep the front: the wrap then sits at
// the very start):
//   delayed       x(t − samples), any fraction, by a linear phase shift
//   phaseShifted  every frequency advanced by +90° (a Hilbert transform
//                 with the sign that takes cos to −sin); DC and Nyquist out
std::vector<float> delayed(const std::vector<float>& x, double samples);
std::vector<float> phaseShifted(const std::vector<float>& x);

// x convolved with h, cut to x's length.
std::vector<float> convolved(const std::vector<float>& x, const std::vector<float>& h);

std::size_t powerOfTwoAtLeast(std::size_t n);

}  // namespace quorveil::quality
