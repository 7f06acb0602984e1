// SPDX-License-Identifier: GPL-3.0-or-later
// PrimaryAmbientSplit's events: what a frame holds beyond the held averages
// where a band has an onset, its direction and its Wiener estimate
// (PrimaryAmbient.h). The background's averages and scene are in
// PrimaryAmbient.cpp.
#include "host/spectral/PrimaryAmbient.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <optional>

#include "host/spectral/OnsetBands.h"
#include "host/spectral/SplitRules.h"

namespace quorveil::spectral {

using namespace split_rules;

namespace {

using Complex = std::complex<float>;

// Bins on each side of an event's frame that describe it: as many as the
// averages take (a sixth of an octave), at least this many. Wide enough that
// the event's gains are smooth across the bins, which keeps a hit short in
// time (gains that vary from bin to bin smear it and put an echo before it).
constexpr int kEventHalf = 2;
// The background counts this much against an event in its Wiener estimate:
// a hit barely above the background takes the bin with it, as one that
// cannot yet be classified should, but not so much of it that the hit's
// rendering drags the background along.
constexpr float kEventOverBackground = 0.5f;
// Below this share of its peak an event keeps the direction it had.
constexpr float kFadedEvent = 0.25f;
// How many times the background's scatter (its standard deviation over the
// bins an excess is summed over) is taken off an event's power.
constexpr float kEventSignificance = 1.0f;
// The blocks of bins whose sums give an event's time step, the bins
// between them, how many of their products a band needs and how well
// they must agree (timeStep).
constexpr std::size_t kStepBlock = 4, kStepGap = 2, kLeastStepProducts = 8;
constexpr float kStepAgreement = 0.9f;

// The principal direction and power of a 2×2 Hermitian excess
// [[p, c], [c*, q]]: L's part real and non-negative; power 0 when none.
struct Principal {
    Complex left, right;
    float power = 0.0f;
};
Principal principalOf(float p, float q, Complex c) {
    const float half = 0.5f * (p - q);
    const float largest = 0.5f * (p + q) + std::sqrt(half * half + std::norm(c));
    if (!(largest > 0.0f)) return {};
    // Its eigenvector, (λ − q, c*) or (c, λ − p), whichever is longer.
    Complex vl(largest - q, 0.0f), vr = std::conj(c);
    if (std::norm(vl) + std::norm(vr) < std::norm(c) + (largest - p) * (largest - p)) {
        vl = c;
        vr = Complex(largest - p, 0.0f);
    }
    const float norm = std::sqrt(std::norm(vl) + std::norm(vr));
    if (!(norm > 0.0f)) return {};
    const float lengthL = std::abs(vl);
    const Complex align = lengthL > 0.0f ? std::conj(vl) / lengthL : Complex(1.0f, 0.0f);
    return {vl * align / norm, vr * align / norm, largest};
}

// How much of an event to take as a direct sound: how far the two powers
// of the excess's 2×2 covariance differ, d = (λ₁ − λ₂) / (λ₁ + λ₂), as a
// squared coherence, 1 for one source and 0 for diffuse sound. Summed over
// n independent bins, diffuse sound shows d² ≈ 1.5 / n on its own (the
// powers' difference and twice the cross-spectrum each scatter by about
// 1/√n), so that much is taken off, as the averages' coherence floor is.
constexpr float kDiffuseScatter = 1.5f;
float coherentShare(float trace, float largest, float independentBinCount) {
    if (!(largest > 0.0f)) return 1.0f;
    const float smaller = std::max(trace - largest, 0.0f);
    const float spread = (largest - smaller) / (largest + smaller);
    const float bias = std::min(kDiffuseScatter / independentBinCount, 0.9f);
    return std::clamp((spread * spread - bias) / (1.0f - bias), 0.0f, 1.0f);
}

}  // namespace

// Events, band by band. An event is the frame's excess over the held
// averages: one direction for its whole band (the principal direction of
// the band's summed excess, each bin first turned back by the band's phase
// step, so that a hit reaching R a little later keeps its coherence), and
// in each bin the power of the excess along that direction, which the
// Wiener estimator of the event weighs against the background, scaled by
// how coherent the band's excess is (coherentShare): a diffuse burst has
// no direction of its own, and what the estimate leaves of it goes on as
// the background does, mostly behind. One direction per band gives gains
// that are smooth across the band, so the hit is not smeared in time. The
// frame that describes the event is the next one where the event begins
// there (it holds the hit whole, this one only its edge); as the event
// fades below a quarter of its peak, its direction is held, so the frames
// that still carry its tail render it where its peak went; and while the
// frames' windows still hold its onset, they keep the direction and the
// coherence it rose with wherever they show it less coherent.
//
// A band that only joined a hit across the spectrum holds little of it
// (the edge of a castanet's band, a click's low end under a bass) and
// much of the background's own scatter, whose excess points anywhere.
// For the frames that hold the hit's onset it takes the direction, phase
// step and coherence of the hit where it rose (hitAcross): what there is
// of the hit goes where the rest of it goes, and its sudden edge is not
// split between speakers by frequency (each speaker's share would ring
// before the onset). Once they have passed, a band still in the event (a
// burst that lasts) is described by its own excess again: whatever the
// band holds by then need not be the hit's.
void PrimaryAmbientSplit::findEvents(const Complex* thisLeft, const Complex* thisRight,
                                     const Complex* nextLeft, const Complex* nextRight,
                                     const OnsetBands& onsets) {
    const uint8_t* inEvent = onsets.inEvent();
    std::fill(eventLevelLeft_.begin(), eventLevelLeft_.end(), 0.0f);
    std::fill(eventLevelRight_.begin(), eventLevelRight_.end(), 0.0f);
    for (std::size_t band = 0; band < onsets.bandCount(); ++band) {
        const auto [first, end] = onsets.bandBins(band);
        if (inEvent[first] == 0) {
            std::fill(event_.begin() + static_cast<std::ptrdiff_t>(first), event_.begin() + static_cast<std::ptrdiff_t>(end), 0);
            bandPeak_[band] = 0.0f;
            continue;
        }
        measureExcess(band, first, end, thisLeft, thisRight, nextLeft, nextRight, onsets);
    }
    const HitDirection hit = hitAcross(onsets);
    for (std::size_t band = 0; band < onsets.bandCount(); ++band) {
        const auto [first, end] = onsets.bandBins(band);
        if (inEvent[first] != 0) estimateEvent(band, first, end, onsets, hit);
    }
}

// A time difference between L and R (a spaced pair's hit) shows in a band's
// frame as the phase of its cross-spectrum stepping from bin to bin. The
// step is the angle of Σ B(k) A(k)* over the band, B the frame's cross
// excess summed over bins k to k+3 and A over k−5 to k−2: five steps
// apart, sharing no bin (nor neighbouring bins, which a Hann window
// correlates), so that nothing pulls it towards no step. Taken only where
// those products agree (a source, not the chance phases of a bed's noise),
// where the band has bins enough for eight of them, and where the step is
// one of a time-shifted sound (kShiftedDelay); otherwise no step. (The step
// between each bin's neighbour sums, summed unturned, is biased low: each
// bin's own power sits in both of two neighbouring sums. At 1 ms and 2048
// points, by a fifth to a third, enough for a wide band's turned sum to
// cancel: a snare 1 ms later in R looked diffuse and went 64% behind.)
std::optional<std::complex<float>> PrimaryAmbientSplit::timeStep(const Complex* left, const Complex* right,
                                                                 std::size_t first, std::size_t end) {
    for (std::size_t i = first; i < end; ++i) frameCross_[i] = left[i] * std::conj(right[i]) - fast_.cross[i];
    Complex products;
    float sizes = 0.0f;
    std::size_t count = 0;
    for (std::size_t k = first + kStepGap + kStepBlock; k + kStepBlock <= end; ++k) {
        Complex later, earlier;
        for (std::size_t d = 0; d < kStepBlock; ++d) {
            later += frameCross_[k + d];
            earlier += frameCross_[k - kStepGap - kStepBlock + 1 + d];
        }
        products += later * std::conj(earlier);
        sizes += std::abs(later) * std::abs(earlier);
        ++count;
    }
    const float length = std::abs(products);
    if (count < kLeastStepProducts || !(length > 0.0f) || length < kStepAgreement * sizes) return std::nullopt;
    const float angle = std::arg(products) / static_cast<float>(kStepBlock + kStepGap - 1);
    if (!(std::fabs(angle) > shiftedStep_)) return std::nullopt;
    return std::polar(1.0f, angle);
}

// Each bin's excess over the averages, over the bin and its neighbours
// (each turned back to the bin's phase by the band's time step, if it has
// one), the band's phase step (that time step, or the angle of Σ S(k)
// S(k−1)* over those sums), and the band's excess summed with each bin
// turned back by that step to the band's first bin.
void PrimaryAmbientSplit::measureExcess(std::size_t band, std::size_t first, std::size_t end,
                                        const Complex* thisLeft, const Complex* thisRight,
                                        const Complex* nextLeft, const Complex* nextRight,
                                        const OnsetBands& onsets) {
    const bool leads = onsets.leadsFromNext()[first] != 0;
    const Complex* left = leads ? nextLeft : thisLeft;
    const Complex* right = leads ? nextRight : thisRight;
    const int bins = static_cast<int>(fastAcross_.left.size());
    const std::optional<Complex> timed = timeStep(left, right, first, end);
    const Complex back = timed ? std::conj(*timed) : Complex(1.0f, 0.0f);
    Complex steps;
    for (std::size_t k = first; k < end; ++k) {
        float nowLeft = 0.0f, nowRight = 0.0f;
        Complex nowCross;
        const int half = std::max(kEventHalf, halfWidth_[k]);
        const int from = std::max(0, static_cast<int>(k) - half);
        const int to = std::min(bins - 1, static_cast<int>(k) + half);
        Complex turn(1.0f, 0.0f);  // step^(k − j) for bin j, from j = from on
        for (int j = from; j < static_cast<int>(k); ++j) turn *= std::conj(back);
        for (int j = from; j <= to; ++j) {
            const auto i = static_cast<std::size_t>(j);
            nowLeft += std::norm(left[i]);
            nowRight += std::norm(right[i]);
            nowCross += left[i] * std::conj(right[i]) * turn;
            turn *= back;
        }
        const float count = static_cast<float>(to - from + 1);
        excessLeft_[k] = nowLeft / count - fastAcross_.left[k];
        excessRight_[k] = nowRight / count - fastAcross_.right[k];
        excessCross_[k] = nowCross / count - fastAcross_.cross[k];
        excessBins_[k] = count;
        if (k > first) steps += excessCross_[k] * std::conj(excessCross_[k - 1]);
    }
    const float stepLength = std::abs(steps);
    const Complex step = timed ? *timed : stepLength > 0.0f ? steps / stepLength : Complex(1.0f, 0.0f);
    if (timed) steps = stepLength * step;
    BandExcess& excess = bandExcess_[band];
    excess = BandExcess{};
    excess.steps = steps;
    excess.step = step;
    Complex turn(1.0f, 0.0f);
    for (std::size_t k = first; k < end; ++k) {
        excess.left += excessLeft_[k];
        excess.right += excessRight_[k];
        excess.cross += excessCross_[k] * std::conj(turn);
        turn *= step;
    }
    excess.independent = independentBins<float>(end - first) / bandFrameOf(left, right, first, end).concentration;
}

// The hit across the bands that rose on their own in this frame: its phase
// step per bin (the bands' steps summed, each weighted by its strength),
// its direction at bin 0 (each band's excess turned back by that step to
// bin 0, then summed), and how coherent it is. `found` is false when no
// band rose on its own.
PrimaryAmbientSplit::HitDirection PrimaryAmbientSplit::hitAcross(const OnsetBands& onsets) const {
    const uint8_t* inEvent = onsets.inEvent();
    HitDirection hit;
    Complex steps;
    for (std::size_t band = 0; band < onsets.bandCount(); ++band) {
        if (inEvent[onsets.bandBins(band).first] != 0 && !onsets.joinedHit(band)) steps += bandExcess_[band].steps;
    }
    const float stepLength = std::abs(steps);
    if (!(stepLength > 0.0f)) return hit;
    hit.step = steps / stepLength;
    const float stepAngle = std::arg(hit.step);
    float left = 0.0f, right = 0.0f, independent = 0.0f;
    Complex cross;
    for (std::size_t band = 0; band < onsets.bandCount(); ++band) {
        const std::size_t first = onsets.bandBins(band).first;
        if (inEvent[first] == 0 || onsets.joinedHit(band)) continue;
        const BandExcess& excess = bandExcess_[band];
        // The band's sum is turned back to its first bin by its own step;
        // the hit's step takes it on to bin 0.
        left += excess.left;
        right += excess.right;
        cross += excess.cross * std::polar(1.0f, -stepAngle * static_cast<float>(first));
        independent += excess.independent;
    }
    const Principal principal = principalOf(left, right, cross);
    if (!(principal.power > 0.0f)) return hit;
    hit.found = true;
    hit.left = principal.left;
    hit.right = principal.right;
    hit.coherent = coherentShare(left + right, principal.power, independent);
    return hit;
}

// The band's event: its direction (its own, or the hit's where it only
// joined one), and per bin the Wiener estimator of the event.
void PrimaryAmbientSplit::estimateEvent(std::size_t band, std::size_t first, std::size_t end,
                                        const OnsetBands& onsets, const HitDirection& hit) {
    const BandExcess& excess = bandExcess_[band];
    const bool began = event_[first] == 0;
    bandAge_[band] = began ? 0 : bandAge_[band] + 1;
    const bool joinedOnset = onsets.joinedHit(band) && hit.found && bandAge_[band] < onsets.onsetFrames();
    const bool onsetPassed = onsets.joinedHit(band) && bandAge_[band] == onsets.onsetFrames();
    const Principal own = principalOf(excess.left, excess.right, excess.cross);
    if (began || own.power >= kFadedEvent * bandPeak_[band] || onsetPassed) {
        bandPeak_[band] = began ? own.power : std::max(bandPeak_[band], own.power);
        if (joinedOnset) {
            bandLeftDirection_[band] = hit.left;
            bandRightDirection_[band] = hit.right * std::polar(1.0f, -std::arg(hit.step) * static_cast<float>(first));
            bandStep_[band] = hit.step;
            bandCoherent_[band] = hit.coherent;
        } else {
            // While a frame's window still holds the onset, the hit is in
            // it, only further towards the window's start and under more of
            // whatever began with it (its own reverb, 6 dB stronger than a
            // snare over a frame): a less coherent excess then is that
            // sound's, not the hit's, and the hit keeps the direction and
            // the coherence it rose with. Judged afresh, the snare's later
            // frames would send half of it behind with its reverb.
            const float coherent = coherentShare(excess.left + excess.right, own.power, excess.independent);
            const bool holdsOnset = !began && bandAge_[band] < onsets.onsetFrames() && coherent < bandCoherent_[band];
            if (!holdsOnset) {
                bandLeftDirection_[band] = own.left;
                bandRightDirection_[band] = own.right;
                bandStep_[band] = excess.step;
                bandCoherent_[band] = coherent;
            }
        }
    }
    const float coherent = bandCoherent_[band];
    const Complex vl = bandLeftDirection_[band];
    const Complex bandRightAtFirst = bandRightDirection_[band];
    const float shiftedBand = ramp(std::fabs(std::arg(bandStep_[band])), inPhaseStep_, shiftedStep_);
    Complex turn(1.0f, 0.0f);
    for (std::size_t k = first; k < end; ++k) {
        // The direction at this bin: R turned by the band's phase step.
        const Complex vr = bandRightAtFirst * std::conj(turn);
        turn *= bandStep_[band];
        // The bin's excess along it, less what the background's own scatter
        // puts there: the frame's powers, summed over a few bins, scatter
        // by 1/√N of the background's, and that much excess is no event.
        // (Spectral subtraction with over-subtraction: M. Berouti, R.
        // Schwartz, J. Makhoul, "Enhancement of Speech Corrupted by
        // Acoustic Noise", ICASSP 1979.)
        const float background =
            std::max(std::norm(vl) * fastAcross_.left[k] + std::norm(vr) * fastAcross_.right[k] +
                         2.0f * (std::conj(vl) * fastAcross_.cross[k] * vr).real(),
                     0.0f);
        const float scatter =
            background / std::sqrt(independentBins<float>(static_cast<std::size_t>(excessBins_[k])));
        const float power = std::max(
            (std::norm(vl) * excessLeft_[k] + std::norm(vr) * excessRight_[k] +
             2.0f * (std::conj(vl) * excessCross_[k] * vr).real()) -
                kEventSignificance * scatter,
            0.0f);
        event_[k] = 0;
        if (!(power > 0.0f) || !(std::norm(vl) + std::norm(vr) > 0.0f)) continue;

        // h = P Φ_b⁻¹ v / (1 + P vᴴ Φ_b⁻¹ v), Φ_b made invertible and
        // weighed down: a hit barely above the background takes the bin
        // with it, as one that cannot yet be classified should.
        const float bl = kEventOverBackground * fastAcross_.left[k];
        const float br = kEventOverBackground * fastAcross_.right[k];
        const Complex bc = kEventOverBackground * fastAcross_.cross[k];
        // The floor is a normal float: a background silent in one
        // channel and down to rounding noise in the other (a hard-panned
        // band-limited source) would square the guard below the float's
        // range, and a zero determinant would make the event a NaN.
        const float guard = 1e-4f * (bl + br) + kSilentPower;
        const float a = bl + guard, d = br + guard;
        const float determinant = std::max(a * d - std::norm(bc), std::max(guard * guard, FLT_MIN));
        const Complex gl = (d * vl - bc * vr) / determinant;
        const Complex gr = (a * vr - std::conj(bc) * vl) / determinant;
        const float gain = (std::conj(vl) * gl + std::conj(vr) * gr).real();
        const float scale = power / (1.0f + power * gain);

        event_[k] = 1;
        eventL_[k] = vl;
        eventR_[k] = vr;
        estimatorL_[k] = coherent * scale * gl;
        estimatorR_[k] = coherent * scale * gr;
        const float lengthR = std::abs(vr);
        // By its phase, as the background: in phase placed, anti-phase
        // without a time difference (matrix-encoded surround) behind, the
        // rest to each side's front with its own phase. A source in one
        // channel only has no phase to judge: it is placed; and only a
        // source that both channels carry alike (2·|vL|·|vR| near 1) is
        // anti-phase enough to go behind, so that a hit on one side
        // stays on its side.
        const float cosPhase = lengthR > 1e-3f && vl.real() > 1e-3f ? vr.real() / lengthR : 1.0f;
        const float q = frontness(cosPhase);
        const float alike = 2.0f * vl.real() * lengthR;
        eventFront_[k] = std::sqrt(q * inPhaseness(cosPhase));
        eventRear_[k] = alike * std::sqrt((1.0f - q) * (1.0f - shiftedBand));
        const float amplitude = std::sqrt(power);
        eventLevelLeft_[k] = vl.real() * amplitude;
        eventLevelRight_[k] = lengthR * amplitude;
    }
}

}  // namespace quorveil::spectral
