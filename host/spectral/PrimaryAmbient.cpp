// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/PrimaryAmbient.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "host/spectral/BinLanes.h"
#include "host/spectral/OnsetBands.h"
#include "host/spectral/SplitRules.h"

namespace quorveil::spectral {

using namespace split_rules;

namespace {

using Complex = std::complex<float>;

// The floor is an average; the coherence of two independent noises scatters
// around it, and the phase-slope alignment lifts it a little more: the
// bias removed is this many times the floor.
constexpr float kFloorMargin = 2.0f;

// Bins averaged on each side of a bin: a twentieth of its frequency (a
// sixth of an octave in all), at most kWidestHalf; for the slow averages
// that judge the ambience, a tenth (a third of an octave), and at least
// kSlowNarrowestHalf, so that the few bins of the lowest octaves are judged
// from as much as the others.
constexpr float kRelativeHalfWidth = 0.05f;
constexpr int kWidestHalf = 8;
constexpr float kSlowRelativeHalfWidth = 0.1f;
constexpr int kSlowNarrowestHalf = 3;
constexpr int kSlowWidestHalf = 16;
// The window sums across bins are started afresh this often (bins).
constexpr int kFreshWindow = 64;
// Bins on each side over which the phase slope is measured, at least.
constexpr int kSlopeHalf = 2;


// A time difference between L and R shows as a phase step from bin to bin
// of the cross-spectrum: below kInPhaseDelay the direct sound counts as in
// phase, beyond kShiftedDelay as time-shifted (spaced microphones reach about
// 1 ms), provided the steps of neighbouring bins agree (kSteadySteps).
constexpr double kInPhaseDelay = 0.08e-3;
constexpr double kShiftedDelay = 0.2e-3;
constexpr float kLooseSteps = 0.6f, kSteadySteps = 0.9f;
// How far inside or beyond those steps a tangent must be for the angle to be
// known without computing it (relative).
constexpr double kTangentMargin = 1e-4;


// |c| in double: the square of a cross-spectrum's part may pass float's range.
double magnitude(Complex c) {
    const double re = c.real(), im = c.imag();
    return std::sqrt(re * re + im * im);
}

float flushedToSilence(float power) { return power > kSilentPower ? power : 0.0f; }
Complex flushedToSilence(Complex c) { return std::norm(c) > kSilentPower * kSilentPower ? c : Complex(); }

}  // namespace

float smoothingWeight(double timeConstantSeconds, int hop, double sampleRate) {
    if (!(timeConstantSeconds > 0.0)) return 1.0f;
    return static_cast<float>(1.0 - std::exp(-hop / (timeConstantSeconds * sampleRate)));
}

// For independent frames a one-pole average of weight a leaves
// E|γ|² = a / (2 − a). Frames m hops apart share samples: their bins
// correlate by r(m) = Σ w(n) w(n + m·hop) / Σ w², which adds the terms
// r(m)² (1 − a)^|m|.
float coherenceFloor(const std::vector<float>& window, int hop, float weight) {
    const std::size_t n = window.size();
    double energy = 0.0;
    for (float w : window) energy += static_cast<double>(w) * w;
    if (!(energy > 0.0) || hop <= 0) return 0.0f;
    const double a = weight;
    double sum = 1.0;
    for (std::size_t shift = static_cast<std::size_t>(hop), m = 1; shift < n; shift += static_cast<std::size_t>(hop), ++m) {
        double shared = 0.0;
        for (std::size_t i = 0; i + shift < n; ++i) {
            shared += static_cast<double>(window[i]) * window[i + shift];
        }
        const double r = shared / energy;
        sum += 2.0 * r * r * std::pow(1.0 - a, static_cast<double>(m));
    }
    return static_cast<float>(std::min(1.0, a / (2.0 - a) * sum));
}

// A Hann window's spectrum is three taps, −¼ ½ −¼, so the noise of bins d
// apart correlates by ρ(1) = −2/3, ρ(2) = 1/6 and not at all further: the
// mean of n bins keeps Σ_d (n − |d|) ρ(d)² / n² of a single bin's variance.
float binAveragedFloor(float floor, int bins) {
    if (bins <= 1) return floor;
    constexpr double rho[3] = {1.0, -2.0 / 3.0, 1.0 / 6.0};
    double kept = 0.0;
    for (int d = -2; d <= 2; ++d) {
        const int distance = d < 0 ? -d : d;
        if (distance >= bins) continue;
        kept += (bins - distance) * rho[distance] * rho[distance];
    }
    return static_cast<float>(floor * kept / (static_cast<double>(bins) * bins));
}

namespace {

// Half-widths for `bins` bins: `relative` of each bin's index, at most
// `widest`, never past either end.
std::vector<int> halfWidths(std::size_t bins, float relative, int narrowest, int widest) {
    std::vector<int> halves(bins);
    for (std::size_t k = 0; k < bins; ++k) {
        const int half = std::clamp(static_cast<int>(static_cast<float>(k) * relative), narrowest, widest);
        halves[k] = std::min({half, static_cast<int>(k), static_cast<int>(bins - 1 - k)});
    }
    return halves;
}

}  // namespace

void BinAverages::resize(std::size_t bins) {
    left.assign(bins, 0.0f);
    right.assign(bins, 0.0f);
    cross.assign(bins, Complex());
}

void BinAverages::clear() {
    std::fill(left.begin(), left.end(), 0.0f);
    std::fill(right.begin(), right.end(), 0.0f);
    std::fill(cross.begin(), cross.end(), Complex());
}

PrimaryAmbientSplit::PrimaryAmbientSplit(int bins, int fftSize, double sampleRate, std::size_t bands)
    : recentSpread_(bands), slowSpread_(bands), bandPeak_(bands, 0.0f), bandCoherent_(bands, 1.0f), bandAge_(bands, 0),
      bandLeftDirection_(bands), bandRightDirection_(bands), bandStep_(bands), bandExcess_(bands) {
    const auto n = static_cast<std::size_t>(bins);
    const double radiansPerSecond = 2.0 * std::numbers::pi * sampleRate / fftSize;  // per bin
    inPhaseStep_ = static_cast<float>(radiansPerSecond * kInPhaseDelay);
    shiftedStep_ = static_cast<float>(radiansPerSecond * kShiftedDelay);
    // Beyond a quarter turn the tangent says nothing: every angle is computed.
    inPhaseTangent_ = inPhaseStep_ < 1.5f
                          ? static_cast<float>(std::tan(static_cast<double>(inPhaseStep_)) * (1.0 - kTangentMargin))
                          : 0.0f;
    shiftedTangent_ = shiftedStep_ < 1.5f
                          ? static_cast<float>(std::tan(static_cast<double>(shiftedStep_)) * (1.0 + kTangentMargin))
                          : 0.0f;
    for (BinAverages* a : {&fast_, &slow_, &fastAcross_, &slowAcross_}) a->resize(n);
    for (auto* v : {&shifted_, &weight_, &binFloor_, &recentScatter_, &slowScatter_, &eventFront_, &eventRear_,
                    &eventLevelLeft_, &eventLevelRight_, &excessLeft_, &excessRight_, &excessBins_, &slowFloorNow_,
                    &recentScatterNow_, &slowScatterNow_}) {
        v->assign(n, 0.0f);
    }
    for (auto* v : {&step_, &slowStep_, &excessCross_, &frameCross_, &eventL_, &eventR_, &estimatorL_, &estimatorR_}) {
        v->assign(n, Complex());
    }
    event_.assign(n, 0);
    halfWidth_ = halfWidths(n, kRelativeHalfWidth, 0, kWidestHalf);
    stepSums_.assign(n + 1, {});
    crossRe_.assign(n, 0.0f);
    crossIm_.assign(n, 0.0f);
    for (auto* v : {&meanStepRe_, &meanStepIm_, &stepAgreement_}) v->assign(n, 0.0f);
    sizeSums_.assign(n + 1, 0.0);
    slowHalfWidth_ = halfWidths(n, kSlowRelativeHalfWidth, kSlowNarrowestHalf, kSlowWidestHalf);
}

void PrimaryAmbientSplit::setTimeFloors(float recent, float slow, float recentWeight, float slowWeight) {
    recentReference_ = recentWeight / (2.0f - recentWeight);
    slowReference_ = slowWeight / (2.0f - slowWeight);
    for (std::size_t k = 0; k < binFloor_.size(); ++k) {
        binFloor_[k] = kFloorMargin * binAveragedFloor(slow, 2 * slowHalfWidth_[k] + 1);
        recentScatter_[k] = std::sqrt(binAveragedFloor(recent, 2 * halfWidth_[k] + 1));
        slowScatter_[k] = std::sqrt(binAveragedFloor(slow, 2 * slowHalfWidth_[k] + 1));
    }
}

void PrimaryAmbientSplit::reset() {
    fast_.clear();
    slow_.clear();
    std::fill(recentSpread_.begin(), recentSpread_.end(), Spread{});
    std::fill(slowSpread_.begin(), slowSpread_.end(), Spread{});
}

SplitFrame PrimaryAmbientSplit::frame() const {
    return {{fastAcross_.left.data(), fastAcross_.right.data(), fastAcross_.cross.data(), slowAcross_.left.data(),
             slowAcross_.right.data(), slowAcross_.cross.data(), slowFloorNow_.data(), recentScatterNow_.data(),
             slowScatterNow_.data(), shifted_.data(), weight_.data()},
            settled_,
            anyEvent_,
            event_.data(),
            eventL_.data(),
            eventR_.data(),
            estimatorL_.data(),
            estimatorR_.data(),
            eventFront_.data(),
            eventRear_.data(),
            eventLevelLeft_.data(),
            eventLevelRight_.data()};
}

void PrimaryAmbientSplit::split(const Complex* left, const Complex* right, const Complex* nextLeft,
                                const Complex* nextRight, const OnsetBands& onsets) {
    settled_ = onsets.settled();
    average(left, right, onsets.binWeights(), onsets.slowWeights());
    followScatter(left, right, onsets.binWeights(), onsets.slowWeights(), onsets);
    findSteps(fast_.cross, step_, &shifted_);
    findSteps(slow_.cross, slowStep_, nullptr);
    smoothAcrossBins(fast_, halfWidth_, step_, fastAcross_);
    smoothAcrossBins(slow_, slowHalfWidth_, slowStep_, slowAcross_);
    anyEvent_ = onsets.anyEvent();
    if (anyEvent_) {
        findEvents(left, right, nextLeft, nextRight, onsets);
    } else {
        std::fill(event_.begin(), event_.end(), 0);
        std::fill(eventLevelLeft_.begin(), eventLevelLeft_.end(), 0.0f);
        std::fill(eventLevelRight_.begin(), eventLevelRight_.end(), 0.0f);
    }
}

// The averages over time, each bin with the weights its band gives it (0
// while an event holds them).
void PrimaryAmbientSplit::average(const Complex* left, const Complex* right, const float* weights,
                                  const float* slowWeights) {
    const std::size_t bins = fast_.left.size();
    for (std::size_t k = 0; k < bins; ++k) {
        const float l = std::norm(left[k]), r = std::norm(right[k]);
        const Complex c = left[k] * std::conj(right[k]);
        const float a = weights[k], s = slowWeights[k];
        fast_.left[k] = flushedToSilence(fast_.left[k] + a * (l - fast_.left[k]));
        fast_.right[k] = flushedToSilence(fast_.right[k] + a * (r - fast_.right[k]));
        fast_.cross[k] = flushedToSilence(fast_.cross[k] + a * (c - fast_.cross[k]));
        slow_.left[k] = flushedToSilence(slow_.left[k] + s * (l - slow_.left[k]));
        slow_.right[k] = flushedToSilence(slow_.right[k] + s * (r - slow_.right[k]));
        slow_.cross[k] = flushedToSilence(slow_.cross[k] + s * (c - slow_.cross[k]));
        weight_[k] = a;
    }
}

namespace split_rules {

BandFrame bandFrameOf(const Complex* left, const Complex* right, std::size_t first, std::size_t end) {
    const auto n = static_cast<float>(end - first);
    Complex l1, r1, l2, r2;
    float l0 = 0.0f, r0 = 0.0f;
    for (std::size_t k = first; k < end; ++k) {
        l0 += std::norm(left[k]);
        r0 += std::norm(right[k]);
        if (k + 1 < end) {
            l1 += left[k] * std::conj(left[k + 1]);
            r1 += right[k] * std::conj(right[k + 1]);
        }
        if (k + 2 < end) {
            l2 += left[k] * std::conj(left[k + 2]);
            r2 += right[k] * std::conj(right[k + 2]);
        }
    }
    const float squares = l0 * l0 + r0 * r0;
    if (end - first < 4 || !(squares > 0.0f)) return {l0 + r0, 1.0f};
    const auto expected = [n](float rho2, float d) {
        const float kept = (n - d) / n;
        return rho2 * kept * kept + 1.944f * (n - d) / (n * n);
    };
    const auto spread = [](float a1, float a2) {
        const float q2 = a1 > 0.0f ? std::min(a2 / a1, 0.81f) : 0.0f;
        return 1.0f + 2.0f * (a1 + a2 + a2 * q2 / (1.0f - q2));
    };
    const float measured = spread((std::norm(l1) + std::norm(r1)) / squares, (std::norm(l2) + std::norm(r2)) / squares);
    return {l0 + r0, std::max(1.0f, measured / spread(expected(4.0f / 9.0f, 1.0f), expected(1.0f / 36.0f, 2.0f)))};
}

}  // namespace split_rules

// How far the frames the averages now hold are from the steady sound
// their floors were made for. A one-pole average of weights w_t over
// frames of power P_t scatters as Σ (c_t P_t)² / (Σ c_t P_t)², c_t the
// weight it gives frame t: a/(2 − a) for a steady sound under a constant
// weight a, far more when a few loud frames (bursts, the frames after a
// hold, a sound caught up with at 30 ms) make most of it. Followed per band
// (its power scatters less than a bin's) with the weights the band gave,
// as the running sums of c·P and of (c·P)², the floors and the level
// scatter of every bin of the band grow by that ratio, never shrink. A
// frame whose bins move together (a burst shorter than the window: fewer
// independent bins) weighs its (c·P)² by how much more they do
// (bandFrameOf). Kish's effective sample size (L. Kish, Survey
// Sampling, 1965) for a weighted mean, here of frames and bins. Each bin
// gets its floor and its scatters as this frame's averages make them.
void PrimaryAmbientSplit::followScatter(const Complex* left, const Complex* right, const float* weights,
                                        const float* slowWeights, const OnsetBands& onsets) {
    for (std::size_t band = 0; band < onsets.bandCount(); ++band) {
        const auto [first, end] = onsets.bandBins(band);
        const BandFrame frame = bandFrameOf(left, right, first, end);
        recentSpread_[band].add(frame.power, weights[first], frame.concentration);
        slowSpread_[band].add(frame.power, slowWeights[first], frame.concentration);
        // A steady band's own power scatters from frame to frame by about
        // 1/n of its square for n independent bins (two channels, frames
        // overlapping), measured: that much is not a burst.
        const float steady = 1.0f + 1.0f / independentBins<float>(end - first);
        const float recent = recentSpread_[band].excess(recentReference_ * steady);
        const float slow = slowSpread_[band].excess(slowReference_ * steady);
        const float recentRoot = std::sqrt(recent), slowRoot = std::sqrt(slow);
        for (std::size_t k = first; k < end; ++k) {
            slowFloorNow_[k] = binFloor_[k] * slow;
            recentScatterNow_[k] = recentScatter_[k] * recentRoot;
            slowScatterNow_[k] = slowScatter_[k] * slowRoot;
        }
    }
}

// The phase step per bin of a cross-spectrum, the angle of
// Σ Φ(k'+1) Φ(k')* over the bin's neighbours, and how well the steps of
// neighbouring bins agree (1: all alike). Where they do not agree, there is
// no time difference to undo: the step is 0.
void PrimaryAmbientSplit::findSteps(const std::vector<Complex>& cross, std::vector<Complex>& steps,
                                    std::vector<float>* shifted) {
    const int bins = static_cast<int>(cross.size());
    // Running sums over the bins of Φ(k'+1) Φ(k')* and of its size, so that
    // each bin's window costs two lookups however wide it is. In double: a
    // window's sum is the difference of two running sums, which must not
    // lose a quiet bin beside a loud one.
    stepSums_[0] = {};
    sizeSums_[0] = 0.0;
    double previousSize = bins > 0 ? magnitude(cross[0]) : 0.0;
    for (int j = 0; j + 1 < bins; ++j) {
        const auto at = static_cast<std::size_t>(j);
        const std::complex<double> next(cross[at + 1].real(), cross[at + 1].imag());
        const std::complex<double> product = next * std::complex<double>(cross[at].real(), -cross[at].imag());
        const double size = magnitude(cross[at + 1]);
        stepSums_[at + 1] = stepSums_[at] + product;
        sizeSums_[at + 1] = sizeSums_[at] + size * previousSize;
        previousSize = size;
    }
    // Each bin's window: the mean step (unit length) and how well the steps
    // agree, |Σ Φ(k'+1) Φ(k')*| against Σ |Φ(k'+1)| |Φ(k')|.
    for (int k = 0; k < bins; ++k) {
        const int half = std::max(halfWidth_[static_cast<std::size_t>(k)], kSlopeHalf);
        const auto from = static_cast<std::size_t>(std::max(0, k - half));
        const auto to = static_cast<std::size_t>(std::min(bins - 1, k + half));
        const std::complex<double> total = stepSums_[to] - stepSums_[from];
        const double sizes = sizeSums_[to] - sizeSums_[from];
        const double length = std::sqrt(std::norm(total));
        const bool stepped = length > 0.0;
        const auto at = static_cast<std::size_t>(k);
        meanStepRe_[at] = stepped ? static_cast<float>(total.real() / length) : 1.0f;
        meanStepIm_[at] = stepped ? static_cast<float>(total.imag() / length) : 0.0f;
        stepAgreement_[at] = sizes > 0.0 ? static_cast<float>(std::min(length / sizes, 1.0)) : 0.0f;
    }
    std::size_t k = 0;
    for (; k + lanes::kLanes <= cross.size(); k += lanes::kLanes) blendSteps<lanes::Lanes>(k, steps, shifted);
    for (; k < cross.size(); ++k) blendSteps<float>(k, steps, shifted);
}

// Bin k's step, or lanes::kLanes bins' from k (BinLanes.h): towards no step
// as the agreement fades, kept on the unit circle; and how surely its
// direct sound is time-shifted.
template <typename V>
void PrimaryAmbientSplit::blendSteps(std::size_t k, std::vector<Complex>& steps, std::vector<float>* shifted) {
    using lanes::Cx;
    using lanes::loaded;
    using lanes::select;
    const V zero{}, one = lanes::splat<V>(1.0f);
    const Cx<V> step{loaded<V>(meanStepRe_.data() + k), loaded<V>(meanStepIm_.data() + k)};
    const V agreement = ramp(loaded<V>(stepAgreement_.data() + k), kLooseSteps, kSteadySteps);
    const Cx<V> blended{(1.0f - agreement) + step.re * agreement, 0.0f + step.im * agreement};
    const V blendedLength = lanes::sqrtOf(lanes::norm(blended));
    const auto unit = blendedLength > zero;
    lanes::storeCx(steps.data() + k, Cx<V>{select(unit, blended.re / blendedLength, one),
                                           select(unit, blended.im / blendedLength, zero)});
    if (shifted == nullptr) return;
    // The step's angle, only where the steps agree at all, and only where
    // the ramp below does not already know its answer from the tangent:
    // well inside kInPhaseDelay's step it gives 0, well beyond
    // kShiftedDelay's 1 (the margins are far wider than atan2's error).
    V angle{};
    for (int i = 0; i < lanes::laneCount<V>(); ++i) {
        if (!(lanes::lane(agreement, i) > 0.0f)) continue;
        const float re = lanes::lane(step.re, i), im = std::fabs(lanes::lane(step.im, i));
        float a;
        if (re > 0.0f && im < re * inPhaseTangent_) {
            a = 0.0f;
        } else if (shiftedTangent_ > 0.0f && (re <= 0.0f || im > re * shiftedTangent_)) {
            a = std::numbers::pi_v<float>;
        } else {
            a = std::fabs(std::atan2(lanes::lane(step.im, i), re));
        }
        lanes::setLane(angle, i, a);
    }
    lanes::store(shifted->data() + k,
                 select(agreement > zero, ramp(angle, inPhaseStep_, shiftedStep_) * agreement, zero));
}

// Each bin's averages over its neighbours, the cross-spectrum turned back by
// the bin's own phase step first, Σ Φ(j) e^{−j(j−k)s}, so that a time
// difference does not cancel it. The powers are plain window sums, which
// slide from bin to bin (each edge only moves up), in double and started
// afresh every kFreshWindow bins so that a quiet bin beside a loud one keeps
// its own value. The turned cross-spectrum cannot slide (each bin turns its
// window by its own step), so it is summed per bin, eight or four neighbouring
// bins of the same width at a time in vector registers (BinLanes.h).
void PrimaryAmbientSplit::smoothAcrossBins(const BinAverages& raw, const std::vector<int>& halves,
                                           const std::vector<Complex>& steps, BinAverages& out) {
    const int bins = static_cast<int>(raw.left.size());
    double l = 0.0, r = 0.0;
    int from = 0, to = -1;  // the window summed: bins from..to
    for (int k = 0; k < bins; ++k) {
        const int half = halves[static_cast<std::size_t>(k)];
        const int first = k - half, last = k + half;
        if (k % kFreshWindow == 0) {
            l = r = 0.0;
            from = first;
            to = first - 1;
        }
        for (; from < first; ++from) {
            l -= raw.left[static_cast<std::size_t>(from)];
            r -= raw.right[static_cast<std::size_t>(from)];
        }
        while (to < last) {
            ++to;
            l += raw.left[static_cast<std::size_t>(to)];
            r += raw.right[static_cast<std::size_t>(to)];
        }
        const double count = 2 * half + 1;
        out.left[static_cast<std::size_t>(k)] = static_cast<float>(std::max(l, 0.0) / count);
        out.right[static_cast<std::size_t>(k)] = static_cast<float>(std::max(r, 0.0) / count);
    }

    for (int j = 0; j < bins; ++j) {
        crossRe_[static_cast<std::size_t>(j)] = raw.cross[static_cast<std::size_t>(j)].real();
        crossIm_[static_cast<std::size_t>(j)] = raw.cross[static_cast<std::size_t>(j)].imag();
    }
    int k = 0;
    while (k < bins) {
        const int half = halves[static_cast<std::size_t>(k)];
        int same = 1;
        while (same < lanes::kWideLanes && k + same < bins && halves[static_cast<std::size_t>(k + same)] == half) ++same;
        if (same == lanes::kWideLanes) {
            turnedLanes<lanes::WideLanes>(k, half, steps, out);
        } else if (same >= lanes::kLanes) {
            turnedLanes<lanes::Lanes>(k, half, steps, out);
            same = lanes::kLanes;
        } else {
            for (int i = 0; i < same; ++i) turnedBin(k + i, half, steps, out);
        }
        k += same;
    }
}

namespace {

// Σ_{d=0}^{2h} Φ(k−h+d)·z^{d−h} with z = step*, for one bin (Values = float)
// or neighbouring bins of one width side by side (Values = Lanes or
// WideLanes, each lane doing exactly what one bin does: BinLanes.h): turned
// by step^h at the window's start and back one step per bin. `re` and `im`
// point at the first bin's window.
template <typename Values>
void turnedSum(const Values& sr, const Values& si, const float* re, const float* im, int half, Values& cr,
               Values& ci) {
    using lanes::load;
    Values tr = Values{} + 1.0f, ti{};
    for (int n = 0; n < half; ++n) {
        const Values nr = tr * sr - ti * si;
        ti = tr * si + ti * sr;
        tr = nr;
    }
    cr = Values{};
    ci = Values{};
    for (int d = 0; d <= 2 * half; ++d) {
        Values xr, xi;
        load(re + d, xr);
        load(im + d, xi);
        cr += xr * tr - xi * ti;
        ci += xr * ti + xi * tr;
        // back = step*: (tr + j·ti)(sr − j·si)
        const Values nr = tr * sr - ti * (-si);
        ti = tr * (-si) + ti * sr;
        tr = nr;
    }
}

}  // namespace

void PrimaryAmbientSplit::turnedBin(int k, int half, const std::vector<Complex>& steps, BinAverages& out) {
    const Complex step = steps[static_cast<std::size_t>(k)];
    float cr, ci;
    turnedSum(step.real(), step.imag(), crossRe_.data() + (k - half), crossIm_.data() + (k - half), half, cr, ci);
    const float count = static_cast<float>(2 * half + 1);
    out.cross[static_cast<std::size_t>(k)] = Complex(cr / count, ci / count);
}

template <typename Values>
void PrimaryAmbientSplit::turnedLanes(int k, int half, const std::vector<Complex>& steps, BinAverages& out) {
    constexpr int count = lanes::laneCount<Values>();
    Values sr{}, si{}, cr, ci;
    for (int i = 0; i < count; ++i) {
        lanes::setLane(sr, i, steps[static_cast<std::size_t>(k + i)].real());
        lanes::setLane(si, i, steps[static_cast<std::size_t>(k + i)].imag());
    }
    turnedSum(sr, si, crossRe_.data() + (k - half), crossIm_.data() + (k - half), half, cr, ci);
    const float binsSummed = static_cast<float>(2 * half + 1);
    for (int i = 0; i < count; ++i)
        out.cross[static_cast<std::size_t>(k + i)] = Complex(cr[i] / binsSummed, ci[i] / binsSummed);
}

}  // namespace quorveil::spectral
