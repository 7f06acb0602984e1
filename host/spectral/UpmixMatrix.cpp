// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/UpmixMatrix.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "host/spectral/SpeakerMix.h"

namespace quorveil::spectral {

namespace {

using Complex = std::complex<float>;

// The power normalisation lifts a bin by at most this factor (24 dB): only a
// bin whose estimates all vanish while its input does not would need more.
constexpr float kMostLift = 16.0f;
constexpr float kSilentPower = 1e-30f;
constexpr float kHalfRoot2 = 0.70710678f;

// A weight the placement gave, or 0 for anything that is not a level.
float level(float w) { return w > 0.0f && w <= FLT_MAX ? w : 0.0f; }

// The five gains of one bin's placement: normalised (FC alone when all are
// 0), then narrowed, FL and FR giving 1 − width² of their power to FC.
struct FrontGains {
    float fl, fr, fc, bl, br;
};
FrontGains frontGains(const PlacementWeights& w, std::size_t k, float width) {
    float fl = level(w[MainFL][k]), fr = level(w[MainFR][k]), fc = level(w[MainFC][k]),
          bl = level(w[MainBL][k]), br = level(w[MainBR][k]);
    const float sum = fl * fl + fr * fr + fc * fc + bl * bl + br * br;
    const bool placed = sum > 0.0f && sum <= FLT_MAX;
    const float inverse = 1.0f / std::sqrt(placed ? sum : 1.0f);
    fl = placed ? fl * inverse : 0.0f;
    fr = placed ? fr * inverse : 0.0f;
    fc = placed ? fc * inverse : 1.0f;
    bl = placed ? bl * inverse : 0.0f;
    br = placed ? br * inverse : 0.0f;
    const float narrowing = 1.0f - width * width;
    fc = std::sqrt(fc * fc + narrowing * (fl * fl + fr * fr));
    return {fl * width, fr * width, fc, bl, br};
}

// Without a centre speaker (4.0) the front stage is a phantom image between
// FL and FR. Sending FC's share to both at 0.707 would add in phase to the
// side that already carries the source and pull it outwards (a pan of 0.25
// at 17° instead of 7.5°); instead the front's power is shared between FL
// and FR so that its energy vector points where the three speakers' did
// (FL −30°, FC 0°, FR +30°).
constexpr float kSin30 = 0.5f, kCos30 = 0.8660254f;
FrontGains phantomCentre(const FrontGains& g) {
    const float left = g.fl * g.fl, right = g.fr * g.fr, centre = g.fc * g.fc;
    const float front = left + right + centre;
    const float across = (right - left) * kSin30, ahead = (left + right) * kCos30 + centre;
    if (!(front > 0.0f) || !(ahead > 0.0f)) return {g.fl, g.fr, 0.0f, g.bl, g.br};
    // Two speakers at ±30° point at α when (R − L)/(R + L) = tan α / tan 30°.
    const float balance = std::clamp((across / ahead) * (kCos30 / kSin30), -1.0f, 1.0f);
    return {std::sqrt(0.5f * front * (1.0f - balance)), std::sqrt(0.5f * front * (1.0f + balance)), 0.0f,
            g.bl, g.br};
}

FrontGains stageGains(const PlacementWeights& w, std::size_t k, float width, bool hasCentre) {
    const FrontGains g = frontGains(w, k, width);
    return hasCentre ? g : phantomCentre(g);
}

BusRow operator*(float g, const BusRow& r) { return {g * r[0], g * r[1]}; }
BusRow operator*(Complex g, const BusRow& r) { return {g * r[0], g * r[1]}; }
BusRow operator+(const BusRow& a, const BusRow& b) { return {a[0] + b[0], a[1] + b[1]}; }
BusRow operator-(const BusRow& a, const BusRow& b) { return {a[0] - b[0], a[1] - b[1]}; }

// Each side's ambience: the channel less κ times its least-squares direct
// part, post-scaled to the ambience's power σ. κ = 1 is the least-squares
// residual, which leaves L's and R's ambience in exact anti-phase wherever
// there is direct sound (the two residuals are one signal, orthogonal to
// the direct direction), so the surrounds would sound phasey; κ = 0 is the
// channel itself, direct sound and all. κ is chosen per bin so that the two
// ambiences are expected uncorrelated, within a limit on how much direct
// sound it may let in (kDirectLeak times the ambience's power, scaled down
// as the direct share grows, and none in a band that has just had an event:
// the tail of a hit is no ambience): dialogue stays out of the surrounds,
// and open ambience reaches them. After J. He, E.-L. Tan, W.-S. Gan (2014),
// whose analysis of linear primary-ambient estimators weighs exactly this:
// ambient correlation against leakage. At 1, an orchestral recording's
// surrounds correlate at −0.19 (−0.34 at 0.3); a steady centred sound beside
// a loud one-sided burst lingers behind a little longer (−20.8 dB 150 to
// 450 ms after the burst's onset, −22.2 at 0.3).
constexpr float kDirectLeak = 1.0f;
struct Ambience {
    BusRow left, right;
};
Ambience ambienceOf(const BusRow& y, float directL, Complex directR, float sigma, float pl,
                    float pr, Complex c, float settled, float share) {
    if (!(sigma > 0.0f)) return {};
    // With the direct signal yX: tL = E[(yX) X_L*], tR = E[(yX) X_R*] and its
    // power Py; every expectation below is one of these.
    const Complex tL = y[0] * pl + y[1] * std::conj(c);
    const Complex tR = y[0] * c + y[1] * pr;
    const float py = (std::conj(y[0]) * tL + std::conj(y[1]) * tR).real();
    // Re E[r_L r_R*] = c0 + c1 κ + c2 κ² for r_L = X_L − κ·directL·yX and
    // r_R = X_R − κ·directR·yX.
    const float c0 = c.real();
    const float c1 = -(directL * tR.real() + (directR * tL).real());
    const float c2 = directL * py * directR.real();
    // The least κ that lets in no more direct sound than kDirectLeak·σ.
    const float directPower = std::max(directL * directL, std::norm(directR)) * py;
    const float least =
        directPower > 0.0f
            ? std::max(0.0f, 1.0f - settled * std::sqrt(kDirectLeak * std::sqrt(1.0f - share) * sigma / directPower))
            : 1.0f;
    // Of 1, `least` and the roots in between, the κ with the smallest
    // correlation, the largest on a tie (least direct sound let in).
    auto correlation = [&](float kappa) { return std::fabs(c0 + kappa * (c1 + kappa * c2)); };
    float kappa = 1.0f;
    auto consider = [&](float candidate) {
        if (candidate >= least && candidate <= 1.0f && correlation(candidate) < correlation(kappa)) kappa = candidate;
    };
    consider(least);
    const float discriminant = c1 * c1 - 4.0f * c2 * c0;
    if (c2 != 0.0f && discriminant >= 0.0f) {
        const float root = std::sqrt(discriminant);
        consider((-c1 + root) / (2.0f * c2));
        consider((-c1 - root) / (2.0f * c2));
    } else if (c2 == 0.0f && c1 != 0.0f) {
        consider(-c0 / c1);
    }
    const float leftPower = pl - 2.0f * kappa * directL * tL.real() + kappa * kappa * directL * directL * py;
    const float rightPower = pr - 2.0f * kappa * (directR * tR).real() + kappa * kappa * std::norm(directR) * py;
    // At most what the model says the least-squares residual needs,
    // total / (the other channel's power): where the residual is a rounding
    // error of a coherent sound, nothing of it is blown up.
    const float total = pl + pr - sigma;
    const float mostLeft = std::max(1.0f, total / std::max(pr, kSilentPower));
    const float mostRight = std::max(1.0f, total / std::max(pl, kSilentPower));
    const float gl = leftPower > 0.0f ? std::sqrt(std::min(sigma / leftPower, mostLeft)) : 0.0f;
    const float gr = rightPower > 0.0f ? std::sqrt(std::min(sigma / rightPower, mostRight)) : 0.0f;
    const Complex kl = kappa * directL, kr = kappa * directR;
    return {{gl * (1.0f - kl * y[0]), gl * (-kl * y[1])}, {gr * (-kr * y[0]), gr * (1.0f - kr * y[1])}};
}

// Σ over the speakers of E|a·X_L + b·X_R|², each speaker's (a, b) the sum
// of its buses' rows, for the covariance (pl, pr, c = E[X_L X_R*]).
float speakersPower(const BinMatrix& m, const std::vector<LayoutRouting::Term>& terms, int channels,
                    float pl, float pr, Complex c) {
    struct Row {
        float ar, ai, br, bi;
    };
    std::array<Row, kMostSpeakers> speakers;
    for (int ch = 0; ch < channels; ++ch) speakers[static_cast<std::size_t>(ch)] = {};
    for (const LayoutRouting::Term& term : terms) {
        const BusRow& row = m[static_cast<std::size_t>(term.bus)];
        Row& to = speakers[static_cast<std::size_t>(term.channel)];
        to.ar += term.gain * row[0].real();
        to.ai += term.gain * row[0].imag();
        to.br += term.gain * row[1].real();
        to.bi += term.gain * row[1].imag();
    }
    float power = 0.0f;
    for (int ch = 0; ch < channels; ++ch) {
        const Row& r = speakers[static_cast<std::size_t>(ch)];
        // Re(a·b*·c) with a·b* = (ar·br + ai·bi) + j(ai·br − ar·bi).
        const float crossRe = r.ar * r.br + r.ai * r.bi, crossIm = r.ai * r.br - r.ar * r.bi;
        power += (r.ar * r.ar + r.ai * r.ai) * pl + (r.br * r.br + r.bi * r.bi) * pr +
                 2.0f * (crossRe * c.real() - crossIm * c.imag());
    }
    return power;
}


}  // namespace

MatrixInputs::MatrixInputs(std::size_t bins) : event_(bins, 0) {
    for (auto& v : floats_) v.assign(bins, 0.0f);
    for (auto& v : complexes_) v.assign(bins, Complex());
    for (std::size_t s = 0; s < background_.size(); ++s) {
        background_[s].assign(bins, 0.0f);
        events_[s].assign(bins, 0.0f);
        backgroundView_[s] = background_[s].data();
        eventView_[s] = events_[s].data();
    }
}

namespace {
template <typename T>
void copyBins(const T* from, std::vector<T>& to) {
    std::copy(from, from + to.size(), to.begin());
}
}  // namespace

void MatrixInputs::copy(const BinScene& s, const PlacementWeights& background, const PlacementWeights* events) {
    const std::array<const float*, 13> floats{s.uL,    s.uR,    s.cosPhi,       s.sinPhi,    s.share,
                                              s.ambientPower, s.front, s.sides, s.rear, s.toCentre,
                                              s.powerLeft,    s.powerRight, s.settled};
    for (std::size_t i = 0; i < floats.size(); ++i) copyBins(floats[i], floats_[i]);
    copyBins(s.cross, complexes_[0]);
    for (std::size_t s2 = 0; s2 < background_.size(); ++s2) copyBins(background[s2], background_[s2]);
    hasEvents_ = events != nullptr;
    if (!hasEvents_) return;
    copyBins(s.event, event_);
    copyBins(s.eventFront, floats_[13]);
    copyBins(s.eventRear, floats_[14]);
    const std::array<const Complex*, 4> eventComplexes{s.eventL, s.eventR, s.estimatorL, s.estimatorR};
    for (std::size_t i = 0; i < eventComplexes.size(); ++i) copyBins(eventComplexes[i], complexes_[i + 1]);
    for (std::size_t s2 = 0; s2 < events_.size(); ++s2) copyBins((*events)[s2], events_[s2]);
}

BinScene MatrixInputs::scene() const {
    const auto f = [this](std::size_t i) { return floats_[i].data(); };
    const auto c = [this](std::size_t i) { return complexes_[i].data(); };
    // The weight per bin is the split's own business: buildMatrix does not read it.
    return {f(0),  f(1),  f(2), f(3), f(4),  f(5),  f(6),  f(7), f(8),    f(9), event_.data(),
            c(1),  c(2),  c(3), c(4), f(13), f(14), f(10), f(11), c(0), nullptr, f(12)};
}

void buildMatrix(const BinScene& s, const PlacementWeights& background,
                 const PlacementWeights* events, const MixLevels& levels,
                 const LayoutRouting& routing, BinMatrix* matrix, std::size_t bins) {
    const SurroundSplit split = routing.split();
    const uint8_t* parity = routing.parities();
    const bool hasCentre = routing.layout().has(SpeakerId::FC);
    const int channels = routing.channels();
    for (std::size_t k = 0; k < bins; ++k) {
        const Complex e(s.cosPhi[k], s.sinPhi[k]);  // e^{jφ}
        const float uL = s.uL[k], uR = s.uR[k], w = s.share[k];
        // y = vᴴX, the direct signal D = √w·y, each side's part of it, and
        // each side's least-squares residual.
        const BusRow y{Complex(uL), uR * e};
        const BusRow direct = std::sqrt(w) * y;
        const BusRow directLeft = uL * direct;
        const BusRow directRight = (uR * std::conj(e)) * direct;
        const float pl = s.powerLeft[k], pr = s.powerRight[k];
        const Complex c = s.cross[k];
        const Ambience ambience = ambienceOf(y, w * uL, w * uR * std::conj(e), s.ambientPower[k],
                                             pl, pr, c, s.settled[k], w);
        const BusRow& ambientLeft = ambience.left;
        const BusRow& ambientRight = ambience.right;

        const FrontGains g = stageGains(background, k, levels.width, hasCentre);
        const float front = s.front[k], sides = s.sides[k], rear = s.rear[k];
        const float centred = std::sqrt(s.toCentre[k]), spread = std::sqrt(1.0f - s.toCentre[k]);
        const BusRow placed = front * direct;

        BinMatrix& m = matrix[k];
        // Direct and in-phase parts first, at unit levels.
        m[BusFL] = (g.fl * placed) + (sides * directLeft) + ((rear * split.antiPhaseFront) * directLeft);
        m[BusFR] = (g.fr * placed) + (sides * directRight) + ((rear * split.antiPhaseFront) * directRight);
        m[BusFC] = (g.fc * placed) + ((centred * kHalfRoot2) * (ambientLeft + ambientRight));
        m[BusRearL] = (g.bl * placed) + ((rear * split.antiPhaseRear) * directLeft);
        m[BusRearR] = (g.br * placed) + ((rear * split.antiPhaseRear) * directRight);
        m[BusAmbientFrontL] = (spread * split.ambienceFront) * ambientLeft;
        m[BusAmbientFrontR] = (spread * split.ambienceFront) * ambientRight;
        m[BusAmbientL] = (spread * split.ambienceRear) * ambientLeft;
        m[BusAmbientR] = (spread * split.ambienceRear) * ambientRight;

        // Keep the averaged power of the bin, as the speakers receive it.
        const float average = speakersPower(m, routing.terms(parity[k]), channels, pl, pr, c);
        const float input = pl + pr;
        const float lift = average > 0.0f ? std::min(std::sqrt(input / average), kMostLift) : 0.0f;
        const float gain = lift * levels.scale;
        const float ambienceGain = gain * levels.ambience;
        for (int b : {BusFL, BusFR, BusRearL, BusRearR}) m[b] = gain * m[b];
        m[BusFC] = (gain * levels.centre) * m[BusFC];
        for (int b : {BusAmbientL, BusAmbientR, BusAmbientFrontL, BusAmbientFrontR}) m[b] = ambienceGain * m[b];

        if (events == nullptr || s.event[k] == 0) continue;
        // An event: its signal ê = hᴴX leaves the frame, the rest X − v·ê is
        // rendered as the background, and ê is placed by its own levels.
        const BusRow estimate{std::conj(s.estimatorL[k]), std::conj(s.estimatorR[k])};
        const Complex vl = s.eventL[k], vr = s.eventR[k];
        for (BusRow& row : m) row = row - ((row[0] * vl + row[1] * vr) * estimate);
        const FrontGains ge = stageGains(*events, k, levels.width, hasCentre);
        const float placedShare = s.eventFront[k], rearShare = s.eventRear[k];
        const float sidesShare =
            std::sqrt(std::max(1.0f - placedShare * placedShare - rearShare * rearShare, 0.0f));
        const float eventGain = levels.scale;
        const BusRow ev = eventGain * estimate;
        // Each side's own part of the event, in front and (anti-phase) behind.
        const Complex toFront = sidesShare + rearShare * split.antiPhaseFront;
        const Complex toRear = rearShare * split.antiPhaseRear;
        m[BusFL] = m[BusFL] + ((placedShare * ge.fl) * ev) + ((toFront * vl) * ev);
        m[BusFR] = m[BusFR] + ((placedShare * ge.fr) * ev) + ((toFront * vr) * ev);
        m[BusFC] = m[BusFC] + ((placedShare * ge.fc * levels.centre) * ev);
        m[BusRearL] = m[BusRearL] + ((placedShare * ge.bl) * ev) + ((toRear * vl) * ev);
        m[BusRearR] = m[BusRearR] + ((placedShare * ge.br) * ev) + ((toRear * vr) * ev);
    }
}

}  // namespace quorveil::spectral
