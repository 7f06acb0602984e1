// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/BinDescription.h"

#include <algorithm>
#include <cmath>

#include "host/spectral/BinLanes.h"
#include "host/spectral/SplitRules.h"

namespace quorveil::spectral {

using namespace split_rules;

namespace {

// A bin half diffuse or more takes its direction from the slow averages.
constexpr float kDiffuseToSlow = 2.0f;

// A difference of direct levels counts beyond this many times its scatter.
constexpr float kBalanceDoubt = 5.0f;

// A direct share above this is a decided bin.
constexpr float kSureShare = 0.5f;

}  // namespace

BinDescription::BinDescription(std::size_t bins) {
    for (auto* v : {&uL_, &uR_, &cosPhi_, &sinPhi_, &share_, &ambientPower_, &front_, &sides_, &rear_, &toCentre_,
                    &levelLeft_, &levelRight_, &judgedLeft_, &judgedRight_}) {
        v->assign(bins, 0.0f);
    }
    judgedCross_.assign(bins, std::complex<float>());
}

void BinDescription::reset() { std::fill(ambientPower_.begin(), ambientPower_.end(), 0.0f); }

void BinDescription::describe(const BinStatistics& statistics) {
    const std::size_t bins = uL_.size();
    std::size_t k = 0;
    for (; k + lanes::kLanes <= bins; k += lanes::kLanes) describeBins<lanes::Lanes>(statistics, k);
    for (; k < bins; ++k) describeBins<float>(statistics, k);
}

BinScene BinDescription::scene(const SplitFrame& frame) const {
    return {uL_.data(),       uR_.data(),         cosPhi_.data(),      sinPhi_.data(),     share_.data(),
            ambientPower_.data(), front_.data(),  sides_.data(),       rear_.data(),       toCentre_.data(),
            frame.event,      frame.eventL,       frame.eventR,        frame.estimatorL,   frame.estimatorR,
            frame.eventFront, frame.eventRear,    judgedLeft_.data(),  judgedRight_.data(), judgedCross_.data(),
            frame.statistics.weight, frame.settled};
}

// Bin k, or lanes::kLanes bins from k side by side (BinLanes.h).
template <typename V>
void BinDescription::describeBins(const BinStatistics& in, std::size_t k) {
    using lanes::clampOf;
    using lanes::Cx;
    using lanes::loaded;
    using lanes::maxOf;
    using lanes::minOf;
    using lanes::select;
    using lanes::sqrtOf;
    using lanes::store;
    const V zero{}, one = lanes::splat<V>(1.0f);
    // How diffuse the bin is, from the slow averages: the covariance's
    // smaller eigenvalue, its shared power less the bias of its
    // estimate, as a share of the weaker channel.
    const V sl = loaded<V>(in.slowLeft + k), sr = loaded<V>(in.slowRight + k);
    const Cx<V> slowC = lanes::loadCx<V>(in.slowCross + k);
    const V slowCross = lanes::norm(slowC);
    const V product = sl * sr;
    const V coherence = select(product > zero, minOf(slowCross / product, one), zero);
    const V incoherence = 1.0f - coherence;
    const V floor = loaded<V>(in.slowFloor + k);
    const V shared = maxOf(slowCross - floor * incoherence * incoherence * product, zero);
    const V difference = sl - sr;
    const V slowAmbient =
        clampOf(0.5f * ((sl + sr) - sqrtOf(difference * difference + 4.0f * shared)), zero, minOf(sl, sr));
    const V weaker = minOf(sl, sr);
    const V diffuse = select(weaker > zero, slowAmbient / weaker, one);

    // The direct sound from the recent averages, with that much
    // ambience. Where the bin is diffuse, the recent averages scatter
    // around its direction: it is taken more and more from the slow ones.
    const V slowShare = minOf(kDiffuseToSlow * diffuse, one);
    const V fl = loaded<V>(in.recentLeft + k), fr = loaded<V>(in.recentRight + k);
    const V pl = fl + slowShare * (sl - fl);
    const V pr = fr + slowShare * (sr - fr);
    const Cx<V> fastC = lanes::loadCx<V>(in.recentCross + k);
    const Cx<V> c = fastC + slowShare * (slowC - fastC);
    store(judgedLeft_.data() + k, pl);
    store(judgedRight_.data() + k, pr);
    lanes::storeCx(judgedCross_.data() + k, c);
    const V crossPower = lanes::norm(c);
    const V ambient = diffuse * minOf(pl, pr);
    // The ambience of each channel makes the averaged levels scatter, by
    // about the ambience's power over √N for N independent frames and
    // bins: a difference of direct levels smaller than twice that says
    // nothing. The direct sound stays where the rest of it points, and as
    // far as the bin is diffuse, that doubted part of the difference is
    // the ambience's own scatter, not a direct sound: counted as a sound
    // between the speakers, it would put a share of diffuse bursts and of
    // steady decorrelated noise in the centre.
    const V recent = loaded<V>(in.recentScatter + k);
    const V slowScatter = loaded<V>(in.slowScatter + k);
    const V scatter = recent + slowShare * (slowScatter - recent);
    const V doubt = kBalanceDoubt * scatter * ambient;
    const V unevenness = (pl - ambient) - (pr - ambient);
    const V trusted = lanes::copySign(maxOf(lanes::absOf(unevenness) - doubt, zero), unevenness);
    const V doubted = diffuse * (lanes::absOf(unevenness) - lanes::absOf(trusted));
    const V meanDirect = 0.5f * ((pl - ambient) + (pr - ambient)) - 0.5f * doubted;
    const V directLeft = maxOf(meanDirect + 0.5f * trusted, zero);
    const V directRight = maxOf(meanDirect - 0.5f * trusted, zero);
    const V directPower = directLeft + directRight;
    const V ambience = ambient + 0.5f * doubted;
    const V total = directPower + ambience;
    const auto direct = directPower > zero;
    const V perDirect = select(direct, 1.0f / directPower, zero);
    const V even = lanes::splat<V>(std::sqrt(0.5f));
    store(uL_.data() + k, select(direct, sqrtOf(directLeft * perDirect), even));
    store(uR_.data() + k, select(direct, sqrtOf(directRight * perDirect), even));
    const V length = sqrtOf(crossPower);
    const auto phased = length > zero;
    const V cosPhi = select(phased, c.re / length, one);
    store(cosPhi_.data() + k, cosPhi);
    store(sinPhi_.data() + k, select(phased, c.im / length, zero));
    const V share = select(total > zero, directPower / total, zero);
    store(share_.data() + k, share);

    // The ambience's power is followed once more with the averages'
    // weight: it sets the ambience's gains, and a steady sound's
    // ambience should come out as steady as it went in.
    const V followed = loaded<V>(ambientPower_.data() + k);
    store(ambientPower_.data() + k, followed + loaded<V>(in.weight + k) * (ambience - followed));

    // By its phase: in phase placed, out of phase to the sides, anti-phase
    // behind, unless a time difference explains the phase: then to the
    // sides too.
    const V shifted = select(phased, loaded<V>(in.shifted + k), zero);
    const V q = select(phased, frontness(cosPhi), one);
    const V lambda = select(phased, inPhaseness(cosPhi), one);
    // Only a direct sound that both channels carry alike (2·uL·uR near 1)
    // has a phase to judge: one mostly on one side (a source that has just
    // moved there, the averages still holding a little of where it was)
    // stays on its side whatever the phase of that little says.
    const V alike = select(direct, 2.0f * sqrtOf(directLeft * directRight) * perDirect, one);
    const V antiPhase = (1.0f - q) * alike;
    store(front_.data() + k, sqrtOf(q * lambda));
    store(sides_.data() + k,
          sqrtOf(q * (1.0f - lambda) + (1.0f - q) * shifted + (1.0f - q) * (1.0f - shifted) * (1.0f - alike)));
    store(rear_.data() + k, sqrtOf(antiPhase * (1.0f - shifted)));
    // Anti-phase direct sound that clearly dominates its bin leaves
    // in-phase content, which goes to the centre; where the split is
    // less sure, what is left stays ambience.
    store(toCentre_.data() + k, antiPhase * clampOf((share - kSureShare) / (1.0f - kSureShare), zero, one));

    store(levelLeft_.data() + k, sqrtOf(directLeft));
    store(levelRight_.data() + k, sqrtOf(directRight));
}

}  // namespace quorveil::spectral
