// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/UpmixMatrix.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "host/spectral/BinLanes.h"
#include "host/spectral/SpeakerMix.h"

namespace quorveil::spectral {

namespace {

using Complex = std::complex<float>;
using lanes::Cx;
using lanes::Lanes;

// The power normalisation lifts a bin by at most this factor (24 dB): only a
// bin whose estimates all vanish while its input does not would need more.
constexpr float kMostLift = 16.0f;
constexpr float kSilentPower = 1e-30f;
constexpr float kHalfRoot2 = 0.70710678f;

// Every function below is written once for one bin (V = float) and for
// lanes::kLanes neighbouring bins side by side (V = Lanes), each lane doing
// what one bin does (BinLanes.h): a branch of the per-bin algebra is a
// select.
template <typename V>
using Row = std::array<Cx<V>, 2>;  // a bus's coefficients of X_L and X_R
template <typename V>
using Rows = std::array<Row<V>, kBuses>;

template <typename V>
Row<V> operator*(V g, const Row<V>& r) { return {g * r[0], g * r[1]}; }
template <typename V>
Row<V> operator*(const Cx<V>& g, const Row<V>& r) { return {g * r[0], g * r[1]}; }
template <typename V>
Row<V> operator+(const Row<V>& a, const Row<V>& b) { return {a[0] + b[0], a[1] + b[1]}; }

// A weight the placement gave, or 0 for anything that is not a level.
template <typename V>
V level(V w) { return lanes::select((w > V{}) & (w <= FLT_MAX), w, V{}); }

// The five gains of one bin's placement: normalised (FC alone when all are
// 0), then narrowed, FL and FR giving 1 − width² of their power to FC.
template <typename V>
struct FrontGains {
    V fl, fr, fc, bl, br;
};
template <typename V>
FrontGains<V> frontGains(const PlacementWeights& w, std::size_t k, float width) {
    using lanes::loaded;
    using lanes::select;
    V fl = level(loaded<V>(w[MainFL] + k)), fr = level(loaded<V>(w[MainFR] + k)),
      fc = level(loaded<V>(w[MainFC] + k)), bl = level(loaded<V>(w[MainBL] + k)),
      br = level(loaded<V>(w[MainBR] + k));
    const V sum = fl * fl + fr * fr + fc * fc + bl * bl + br * br;
    const auto placed = (sum > V{}) & (sum <= FLT_MAX);
    const V one = lanes::splat<V>(1.0f);
    const V inverse = 1.0f / lanes::sqrtOf(select(placed, sum, one));
    fl = select(placed, fl * inverse, V{});
    fr = select(placed, fr * inverse, V{});
    fc = select(placed, fc * inverse, one);
    bl = select(placed, bl * inverse, V{});
    br = select(placed, br * inverse, V{});
    const float narrowing = 1.0f - width * width;
    fc = lanes::sqrtOf(fc * fc + narrowing * (fl * fl + fr * fr));
    return {fl * width, fr * width, fc, bl, br};
}

// Without a centre speaker (4.0) the front stage is a phantom image between
// FL and FR. Sending FC's share to both at 0.707 would add in phase to the
// side that already carries the source and pull it outwards (a pan of 0.25
// at 17° instead of 7.5°); instead the front's power is shared between FL
// and FR so that its energy vector points where the three speakers' did
// (FL −30°, FC 0°, FR +30°).
constexpr float kSin30 = 0.5f, kCos30 = 0.8660254f;
template <typename V>
FrontGains<V> phantomCentre(const FrontGains<V>& g) {
    const V left = g.fl * g.fl, right = g.fr * g.fr, centre = g.fc * g.fc;
    const V front = left + right + centre;
    const V across = (right - left) * kSin30, ahead = (left + right) * kCos30 + centre;
    const auto imaged = (front > V{}) & (ahead > V{});
    // Two speakers at ±30° point at α when (R − L)/(R + L) = tan α / tan 30°.
    const V balance = lanes::clampOf((across / ahead) * (kCos30 / kSin30), lanes::splat<V>(-1.0f),
                                     lanes::splat<V>(1.0f));
    return {lanes::select(imaged, lanes::sqrtOf(0.5f * front * (1.0f - balance)), g.fl),
            lanes::select(imaged, lanes::sqrtOf(0.5f * front * (1.0f + balance)), g.fr), V{}, g.bl, g.br};
}

template <typename V>
FrontGains<V> stageGains(const PlacementWeights& w, std::size_t k, float width, bool hasCentre) {
    const FrontGains<V> g = frontGains<V>(w, k, width);
    return hasCentre ? g : phantomCentre(g);
}

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
template <typename V>
struct Ambience {
    Row<V> left, right;
};
template <typename V>
Ambience<V> ambienceOf(const Row<V>& y, V directL, const Cx<V>& directR, V sigma, V pl, V pr,
                       const Cx<V>& c, V settled, V share) {
    using lanes::select;
    // With the direct signal yX: tL = E[(yX) X_L*], tR = E[(yX) X_R*] and its
    // power Py; every expectation below is one of these.
    const Cx<V> tL = y[0] * pl + y[1] * lanes::conj(c);
    const Cx<V> tR = y[0] * c + y[1] * pr;
    const V py = (lanes::conj(y[0]) * tL + lanes::conj(y[1]) * tR).re;
    // Re E[r_L r_R*] = c0 + c1 κ + c2 κ² for r_L = X_L − κ·directL·yX and
    // r_R = X_R − κ·directR·yX.
    const V c0 = c.re;
    const V c1 = -(directL * tR.re + (directR * tL).re);
    const V c2 = directL * py * directR.re;
    // The least κ that lets in no more direct sound than kDirectLeak·σ.
    const V directPower = lanes::maxOf(directL * directL, lanes::norm(directR)) * py;
    const V one = lanes::splat<V>(1.0f);
    const V least = select(
        directPower > V{},
        lanes::maxOf(V{}, 1.0f - settled * lanes::sqrtOf(kDirectLeak * lanes::sqrtOf(1.0f - share) * sigma / directPower)),
        one);
    // Of 1, `least` and the roots in between, the κ with the smallest
    // correlation, the largest on a tie (least direct sound let in).
    auto correlation = [&](V kappa) { return lanes::absOf(c0 + kappa * (c1 + kappa * c2)); };
    V kappa = one;
    auto consider = [&](auto allowed, V candidate) {
        kappa = select(allowed & (candidate >= least) & (candidate <= 1.0f) &
                           (correlation(candidate) < correlation(kappa)),
                       candidate, kappa);
    };
    const auto always = V{} == V{};
    consider(always, least);
    const V discriminant = c1 * c1 - 4.0f * c2 * c0;
    const auto quadratic = (c2 != 0.0f) & (discriminant >= 0.0f);
    const V root = lanes::sqrtOf(select(quadratic, discriminant, V{}));
    consider(quadratic, (-c1 + root) / (2.0f * c2));
    consider(quadratic, (-c1 - root) / (2.0f * c2));
    consider((c2 == 0.0f) & (c1 != 0.0f), -c0 / c1);
    const V leftPower = pl - 2.0f * kappa * directL * tL.re + kappa * kappa * directL * directL * py;
    const V rightPower = pr - 2.0f * kappa * (directR * tR).re + kappa * kappa * lanes::norm(directR) * py;
    // At most what the model says the least-squares residual needs,
    // total / (the other channel's power): where the residual is a rounding
    // error of a coherent sound, nothing of it is blown up.
    const V total = pl + pr - sigma;
    const V silent = lanes::splat<V>(kSilentPower);
    const V mostLeft = lanes::maxOf(one, total / lanes::maxOf(pr, silent));
    const V mostRight = lanes::maxOf(one, total / lanes::maxOf(pl, silent));
    const auto present = sigma > V{};
    const V gl = select(present & (leftPower > V{}), lanes::sqrtOf(lanes::minOf(sigma / leftPower, mostLeft)), V{});
    const V gr = select(present & (rightPower > V{}), lanes::sqrtOf(lanes::minOf(sigma / rightPower, mostRight)), V{});
    const V kl = kappa * directL;
    const Cx<V> kr = kappa * directR;
    // No ambience at all (σ = 0) is exact zeros, not a zero gain times the rows.
    const Cx<V> none{};
    return {{select(present, gl * lanes::minus(1.0f, kl * y[0]), none), select(present, gl * ((-kl) * y[1]), none)},
            {select(present, gr * ((-kr) * y[0]), none), select(present, gr * lanes::minus(1.0f, kr * y[1]), none)}};
}

// Σ over the speakers of E|a·X_L + b·X_R|², each speaker's (a, b) the sum
// of its buses' rows, for the covariance (pl, pr, c = E[X_L X_R*]).
template <typename V>
V speakersPower(const Rows<V>& m, const std::vector<LayoutRouting::Term>& terms, int channels, V pl,
                V pr, const Cx<V>& c) {
    struct Speaker {
        V ar, ai, br, bi;
    };
    std::array<Speaker, kMostSpeakers> speakers;
    for (int ch = 0; ch < channels; ++ch) speakers[static_cast<std::size_t>(ch)] = Speaker{V{}, V{}, V{}, V{}};
    for (const LayoutRouting::Term& term : terms) {
        const Row<V>& row = m[static_cast<std::size_t>(term.bus)];
        Speaker& to = speakers[static_cast<std::size_t>(term.channel)];
        to.ar += term.gain * row[0].re;
        to.ai += term.gain * row[0].im;
        to.br += term.gain * row[1].re;
        to.bi += term.gain * row[1].im;
    }
    V power{};
    for (int ch = 0; ch < channels; ++ch) {
        const Speaker& r = speakers[static_cast<std::size_t>(ch)];
        // Re(a·b*·c) with a·b* = (ar·br + ai·bi) + j(ai·br − ar·bi).
        const V crossRe = r.ar * r.br + r.ai * r.bi, crossIm = r.ai * r.br - r.ar * r.bi;
        power += (r.ar * r.ar + r.ai * r.ai) * pl + (r.br * r.br + r.bi * r.bi) * pr +
                 2.0f * (crossRe * c.re - crossIm * c.im);
    }
    return power;
}

// The background's rows of bin k (or of kLanes bins from k): every bin not
// in an event has these alone.
template <typename V>
Rows<V> backgroundRows(const BinScene& s, const PlacementWeights& background, const MixLevels& levels,
                       const LayoutRouting& routing, const std::vector<LayoutRouting::Term>& terms,
                       std::size_t k) {
    using lanes::loaded;
    const SurroundSplit split = routing.split();
    const Cx<V> e{loaded<V>(s.cosPhi + k), loaded<V>(s.sinPhi + k)};  // e^{jφ}
    const V uL = loaded<V>(s.uL + k), uR = loaded<V>(s.uR + k), w = loaded<V>(s.share + k);
    // y = vᴴX, the direct signal D = √w·y, each side's part of it, and
    // each side's least-squares residual.
    const Row<V> y{Cx<V>{uL, V{}}, uR * e};
    const Row<V> direct = lanes::sqrtOf(w) * y;
    const Row<V> directLeft = uL * direct;
    const Row<V> directRight = (uR * lanes::conj(e)) * direct;
    const V pl = loaded<V>(s.powerLeft + k), pr = loaded<V>(s.powerRight + k);
    const Cx<V> c = lanes::loadCx<V>(s.cross + k);
    const Ambience<V> ambience = ambienceOf(y, w * uL, (w * uR) * lanes::conj(e), loaded<V>(s.ambientPower + k),
                                            pl, pr, c, loaded<V>(s.settled + k), w);
    const Row<V>& ambientLeft = ambience.left;
    const Row<V>& ambientRight = ambience.right;

    const FrontGains<V> g =
        stageGains<V>(background, k, levels.width, routing.layout().has(SpeakerId::FC));
    const V front = loaded<V>(s.front + k), sides = loaded<V>(s.sides + k), rear = loaded<V>(s.rear + k);
    const V toCentre = loaded<V>(s.toCentre + k);
    const V centred = lanes::sqrtOf(toCentre), spread = lanes::sqrtOf(1.0f - toCentre);
    const Row<V> placed = front * direct;

    Rows<V> m;
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
    const V average = speakersPower(m, terms, routing.channels(), pl, pr, c);
    const V input = pl + pr;
    const V lift = lanes::select(average > V{},
                                 lanes::minOf(lanes::sqrtOf(input / average), lanes::splat<V>(kMostLift)), V{});
    const V gain = lift * levels.scale;
    const V ambienceGain = gain * levels.ambience;
    for (int b : {BusFL, BusFR, BusRearL, BusRearR}) m[b] = gain * m[b];
    m[BusFC] = (gain * levels.centre) * m[BusFC];
    for (int b : {BusAmbientL, BusAmbientR, BusAmbientFrontL, BusAmbientFrontR}) m[b] = ambienceGain * m[b];
    return m;
}

// Writes rows into a block: kLanes of them at once, or one bin's into its lane.
void store(const Rows<Lanes>& rows, MatrixBlock& block) {
    for (std::size_t b = 0; b < rows.size(); ++b)
        for (std::size_t side = 0; side < 2; ++side) {
            lanes::store(block.at[b][side][MatrixBlock::Re], rows[b][side].re);
            lanes::store(block.at[b][side][MatrixBlock::Im], rows[b][side].im);
        }
}
void store(const Rows<float>& rows, MatrixBlock& block, int lane) {
    for (std::size_t b = 0; b < rows.size(); ++b)
        for (std::size_t side = 0; side < 2; ++side) {
            block.at[b][side][MatrixBlock::Re][lane] = rows[b][side].re;
            block.at[b][side][MatrixBlock::Im][lane] = rows[b][side].im;
        }
}

BusRow operator*(float g, const BusRow& r) { return {g * r[0], g * r[1]}; }
BusRow operator*(Complex g, const BusRow& r) { return {g * r[0], g * r[1]}; }
BusRow operator+(const BusRow& a, const BusRow& b) { return {a[0] + b[0], a[1] + b[1]}; }
BusRow operator-(const BusRow& a, const BusRow& b) { return {a[0] - b[0], a[1] - b[1]}; }

// An event in bin k: its signal ê = hᴴX leaves the frame, the rest X − v·ê
// is rendered as the background, and ê is placed by its own levels.
void addEvent(const BinScene& s, const PlacementWeights& events, const MixLevels& levels,
              const LayoutRouting& routing, std::size_t k, BinMatrix& m) {
    const SurroundSplit split = routing.split();
    const BusRow estimate{std::conj(s.estimatorL[k]), std::conj(s.estimatorR[k])};
    const Complex vl = s.eventL[k], vr = s.eventR[k];
    for (BusRow& row : m) row = row - ((row[0] * vl + row[1] * vr) * estimate);
    const FrontGains<float> ge = stageGains<float>(events, k, levels.width, routing.layout().has(SpeakerId::FC));
    const float placedShare = s.eventFront[k], rearShare = s.eventRear[k];
    const float sidesShare = std::sqrt(std::max(1.0f - placedShare * placedShare - rearShare * rearShare, 0.0f));
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

}  // namespace

BinMatrix MatrixBlock::bin(int lane) const {
    BinMatrix m;
    for (std::size_t b = 0; b < m.size(); ++b)
        for (std::size_t side = 0; side < 2; ++side) m[b][side] = {at[b][side][Re][lane], at[b][side][Im][lane]};
    return m;
}

void MatrixBlock::setBin(int lane, const BinMatrix& m) {
    for (std::size_t b = 0; b < m.size(); ++b)
        for (std::size_t side = 0; side < 2; ++side) {
            at[b][side][Re][lane] = m[b][side].real();
            at[b][side][Im][lane] = m[b][side].imag();
        }
}

void buildMatrix(const BinScene& s, const PlacementWeights& background,
                 const PlacementWeights* events, const MixLevels& levels,
                 const LayoutRouting& routing, MatrixBlock* matrix, std::size_t bins) {
    static_assert(kBlockBins == lanes::kLanes);
    const uint8_t* parity = routing.parities();
    // A block's bins at once where they share their band's parity (7.1
    // routes the ambience by it), one at a time elsewhere.
    for (std::size_t k = 0; k < bins; k += kBlockBins) {
        MatrixBlock& block = matrix[k / kBlockBins];
        const auto* terms = k + kBlockBins <= bins ? routing.blockTerms(k / kBlockBins) : nullptr;
        if (terms != nullptr) {
            store(backgroundRows<Lanes>(s, background, levels, routing, *terms, k), block);
            continue;
        }
        for (std::size_t j = k; j < std::min(bins, k + kBlockBins); ++j)
            store(backgroundRows<float>(s, background, levels, routing, routing.terms(parity[j]), j), block,
                  static_cast<int>(j - k));
    }
    if (events == nullptr) return;
    for (std::size_t k = 0; k < bins; ++k) {
        if (s.event[k] == 0) continue;
        MatrixBlock& block = matrix[k / kBlockBins];
        const int lane = static_cast<int>(k % kBlockBins);
        BinMatrix m = block.bin(lane);
        addEvent(s, *events, levels, routing, k, m);
        block.setBin(lane, m);
    }
}

}  // namespace quorveil::spectral
