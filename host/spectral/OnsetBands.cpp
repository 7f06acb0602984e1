// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/OnsetBands.h"

#include <algorithm>
#include <cmath>

#include "host/spectral/PrimaryAmbient.h"

namespace quorveil::spectral {

namespace {

// A band spans about a third of an octave, and never fewer bins than this.
constexpr std::size_t kFewestBins = 4;
constexpr double kBandwidth = 0.23;  // 2^(1/3) − 1

// Thresholds on the frame's energy against the band's steady energy, at
// least: a narrow band needs more, so that a steady noise crosses them less
// than once in kFalseAlarm frames (bandThresholds).
constexpr float kOnsetRatio = 2.0f;    // +3 dB: something new
constexpr float kSustainRatio = 1.4f;  // +1.5 dB: still going
constexpr float kFallRatio = 0.125f;   // −9 dB: the sound has stopped
constexpr double kFalseAlarmZ = 3.72;  // a one-sided 10⁻⁴ of a normal

// A hit across the spectrum: at least this many bands begin at once (a
// steady noise, whose bands cross their thresholds once in 10⁴ frames each,
// never does), and the bands that join it: those not below this share of
// their steady energy (a steady band's frames scatter around it; one that
// has fallen is ending, not beginning).
constexpr std::size_t kBroadbandBands = 6;
constexpr float kJoinRatio = 0.8f;
// A hit across the spectrum goes on while at least this many bands that
// rose into it on their own still hold it: the bands that joined it stay
// in it till then. A castanet or a click over a bed, loud in fewer bands
// or for fewer frames, leaves its joined bands after `overlap` frames.
constexpr std::size_t kSustainedHitBands = 10;

// A channel's energy is judged against its own steady energy, but never
// against less than this share of the band's: a sound that moves from one
// side to the other keeps the band's energy and changes both channels'.
constexpr float kQuietChannel = 0.01f;  // −20 dB
constexpr float kMovedFrom = 0.5f;      // −3 dB

// A steady band whose balance, (L − R)/(L + R) of its energies, stands off
// its steady balance, on a short average (kDriftWeight per hop), by more
// than kDriftZ times the mean square of the balance's frame-to-frame steps
// (squared; and by at least kLeastDrift) holds a sound that is moving: its
// averages follow at the catching-up speed. A steady sound's balance
// scatters around its steady value: the squared short average stays below
// 3 times that mean square in noise of any coherence. A source that pans
// gradually leaves the steady balance behind by its speed times the
// averages' time constant while it moves on by little from frame to frame:
// 18 to 33 times, in the median, for a pan across the stage in 4 s or 1 s.
// Only while the band's recent squared coherence stays above
// kMovingCoherence: one source, with its ambience at least 15 dB down. A
// sound added on one side (a burst beside a centred one) moves the balance
// as well, but it lowers the coherence; so do the several instruments of a
// mix whose balance moves as they come and go, which the steady averages
// follow as before.
constexpr float kDriftWeight = 0.3f;
constexpr float kDriftZ = 8.0f;
constexpr float kLeastDrift = 0.05f;
constexpr float kMovingCoherence = 0.85f;
// A source panned over ambience (a reverberant mix, a bed 10 dB down) is
// never that coherent, and the ambience scatters its balance from frame to
// frame, so its drift stands out by less. What tells it from a sound added
// on one side is that it pans: the channel it moves to rises while the
// other falls, and the band's recent coherence is no lower than its steady
// coherence (a sound added beside another lowers it; a source that moves
// spreads its steady averages over the places it passed, so they look less
// coherent than its recent frames). Such a band follows at the catching-up
// speed from a drift kPannedDriftZ times the steps' mean square (the most a
// steady sound's reaches), or from any drift (above kLeastDrift) the way
// the whole stage drifts: a source that pans moves every band it covers the
// same way, so the bands' drifts, each over its own scatter (at most
// kBandDriftZ of it), add up to kStageDriftZ times the square root of their
// number, where the ambience's own drifts, each its own way, add up to
// about that root.
constexpr float kPannedDriftZ = 3.0f;
constexpr float kBandDriftZ = 3.0f;
constexpr float kStageDriftZ = 5.0f;
// Towards a side, a source panned over ambience grows less coherent (its
// far channel keeps little but ambience), so the coherence test fails it
// just where the averages lag most. A pan keeps the band's level (the sine
// law keeps its power), where a sound added on one side raises it and one
// that ends lowers it: a band drifting with the stage, its channels moving
// oppositely and its short level within kPanKeepsLevel of its steady level,
// follows without the coherence test.
constexpr float kPanKeepsLevel = 0.15f;
// A sound that travels across the stage faster than the short average can
// follow (an auto-panner, a fly-by: across the stage in half a second)
// leaves that offset little time to grow, and its steps are far larger
// than a steady sound's. What tells it instead is the way it steps: a
// steady balance scatters, so its consecutive steps tend to cancel (their
// product averages about −½ of a step's square), while a travelling one
// steps the same way frame after frame (the product averaged over
// kStepWeight per hop above kConsistentSteps of the square, the steps
// above kLeastStep), and the whole stage steps with it: the bands' steps
// summed add up to more than kStageAgreement of their sizes. The
// instruments of a mix come and go band by band, each its own way, and
// never reach it. Such a band's averages take each frame as it comes. Its
// frames must each hold a source that stands out: their own squared
// coherence across the band's bins at least kTravellingCoherence of the way
// from the chance coherence of a frame of so few bins to 1 (a source with
// ambience 20 dB down passes; the stage's agreement, not this, is what
// keeps mixes out).
constexpr float kLeastStep = 0.005f;
constexpr float kStepWeight = 0.1f;
constexpr float kConsistentSteps = 0.5f;
constexpr float kStageAgreement = 0.5f;
constexpr float kTravellingCoherence = 0.5f;
// The frame-to-frame scatter a band starts from: that of a diffuse noise in
// a few bins.
constexpr float kFirstBalanceScatter = 0.1f;

// The squared coherence of a band's energies and cross-spectrum.
float coherenceOf(float left, float right, std::complex<float> cross) {
    const float product = left * right;
    return product > 0.0f ? std::norm(cross) / product : 0.0f;
}

// The energy of a band of n bins of a steady noise, over its mean, follows a
// χ² of d degrees of freedom over d: two per independent bin for a source
// in both channels alike (the worst case), and neighbouring bins of a Hann
// window share about half their noise. Wilson and Hilferty's cube-root
// approximation gives its quantiles.
double chiSquareQuantileOverMean(double degrees, double z) {
    const double spread = 2.0 / (9.0 * degrees);
    const double root = 1.0 - spread + z * std::sqrt(spread);
    return root > 0.0 ? root * root * root : 0.0;
}
double bandDegrees(std::size_t bins) { return 2.0 * independentBins<double>(bins); }

// How fast the averages catch up with a new steady sound or a drop.
constexpr double kCatchUpSeconds = 0.03;
// A hit that lasts longer than this is a new steady sound ...
constexpr double kLongestEventSeconds = 0.3;
// ... unless it is dying away: a hit that stood 9 dB over the steady sound
// and has since fallen 6 dB from its loudest (its level followed at the
// catch-up pace, so that one quiet frame of a noise is no decay) is still
// the hit's ringing, a kick's tail or a cymbal's, for up to this long.
// Taken in as a steady sound, a tail still well above the bed would make
// the bed's bins read as direct and draw the ambience under it into the
// centre for as long as the averages remember it.
constexpr double kLongestRingingSeconds = 1.0;
constexpr float kHitOverSteady = 8.0f;  // +9 dB
constexpr float kDiedAway = 0.25f;      // −6 dB

// The energy of white noise at −100 dBFS in one bin of a Hann-windowed FFT
// of size n, at the analyser's scale, per channel: quieter bands are silence,
// where nothing can begin.
double silentBinEnergy(int fftSize) { return 1e-10 * fftSize * 0.375; }

}  // namespace

OnsetBands::OnsetBands(int bins, int fftSize, int hop, int overlap, double sampleRate)
    : binWeight_(static_cast<std::size_t>(bins), 1.0f), slowWeight_(static_cast<std::size_t>(bins), 1.0f),
      inEvent_(static_cast<std::size_t>(bins), 0),
      pendingWeight_(static_cast<std::size_t>(bins), 1.0f),
      pendingSlowWeight_(static_cast<std::size_t>(bins), 1.0f),
      pendingEvent_(static_cast<std::size_t>(bins), 0), leadsFromNext_(static_cast<std::size_t>(bins), 0),
      settled_(static_cast<std::size_t>(bins), 0.0f), pendingSettled_(static_cast<std::size_t>(bins), 0.0f),
      fastWeight_(smoothingWeight(kCatchUpSeconds, hop, sampleRate)), hold_(overlap),
      longestEvent_(static_cast<int>(std::ceil(kLongestEventSeconds * sampleRate / hop))),
      longestRinging_(static_cast<int>(std::ceil(kLongestRingingSeconds * sampleRate / hop))) {
    const auto total = static_cast<std::size_t>(bins);
    std::size_t start = 0;
    while (start < total) {
        const auto width = std::max<std::size_t>(
            kFewestBins, static_cast<std::size_t>(std::lround(static_cast<double>(start) * kBandwidth)));
        std::size_t end = std::min(total, start + width);
        // A last band too narrow to be steady joins the one before.
        if (total - end < kFewestBins) end = total;
        first_.push_back(start);
        end_.push_back(end);
        start = end;
    }
    for (std::size_t b = 0; b < first_.size(); ++b) {
        const double degrees = bandDegrees(end_[b] - first_[b]);
        onsetRatio_.push_back(std::max(kOnsetRatio, static_cast<float>(chiSquareQuantileOverMean(degrees, kFalseAlarmZ))));
        fallRatio_.push_back(std::min(kFallRatio, static_cast<float>(chiSquareQuantileOverMean(degrees, -kFalseAlarmZ))));
    }
    steady_.assign(first_.size(), 0.0f);
    now_.assign(first_.size(), 0.0f);
    for (auto* v : {&steadyLeft_, &steadyRight_, &nowLeft_, &nowRight_}) v->assign(first_.size(), 0.0f);
    for (auto* v : {&balance_, &drift_, &shortLeft_, &shortRight_, &lastStep_, &stepProduct_, &stepSquare_,
                    &frameCoherence_}) {
        v->assign(first_.size(), 0.0f);
    }
    balanceScatter_.assign(first_.size(), kFirstBalanceScatter);
    for (auto* v : {&nowCross_, &shortCross_, &steadyCross_}) v->assign(first_.size(), {});
    joined_.assign(first_.size(), 0);
    pendingJoined_.assign(first_.size(), 0);
    moved_.assign(first_.size(), 0);
    state_.assign(first_.size(), BandState::Steady);
    eventAge_.assign(first_.size(), 0);
    eventPeak_.assign(first_.size(), 0.0f);
    eventLevel_.assign(first_.size(), 0.0f);
    holdLeft_.assign(first_.size(), 0);
    steadyFor_.assign(first_.size(), 0);
    silence_ = static_cast<float>(2.0 * silentBinEnergy(fftSize));
}

void OnsetBands::reset() {
    std::fill(steady_.begin(), steady_.end(), 0.0f);
    std::fill(steadyLeft_.begin(), steadyLeft_.end(), 0.0f);
    std::fill(steadyRight_.begin(), steadyRight_.end(), 0.0f);
    for (auto* v : {&balance_, &drift_, &shortLeft_, &shortRight_, &lastStep_, &stepProduct_, &stepSquare_,
                    &frameCoherence_}) {
        std::fill(v->begin(), v->end(), 0.0f);
    }
    stageMotion_ = stageDrift_ = 0.0f;
    hitSustains_ = false;
    std::fill(balanceScatter_.begin(), balanceScatter_.end(), kFirstBalanceScatter);
    for (auto* v : {&shortCross_, &steadyCross_}) std::fill(v->begin(), v->end(), std::complex<float>{});
    std::fill(state_.begin(), state_.end(), BandState::Steady);
    std::fill(eventAge_.begin(), eventAge_.end(), 0);
    std::fill(eventPeak_.begin(), eventPeak_.end(), 0.0f);
    std::fill(eventLevel_.begin(), eventLevel_.end(), 0.0f);
    std::fill(holdLeft_.begin(), holdLeft_.end(), 0);
    std::fill(joined_.begin(), joined_.end(), 0);
    std::fill(pendingJoined_.begin(), pendingJoined_.end(), 0);
    std::fill(moved_.begin(), moved_.end(), 0);
    std::fill(steadyFor_.begin(), steadyFor_.end(), 0);
    std::fill(settled_.begin(), settled_.end(), 0.0f);
    std::fill(pendingSettled_.begin(), pendingSettled_.end(), 0.0f);
    std::fill(binWeight_.begin(), binWeight_.end(), 1.0f);
    std::fill(slowWeight_.begin(), slowWeight_.end(), 1.0f);
    std::fill(inEvent_.begin(), inEvent_.end(), 0);
    std::fill(pendingWeight_.begin(), pendingWeight_.end(), 1.0f);
    std::fill(pendingSlowWeight_.begin(), pendingSlowWeight_.end(), 1.0f);
    std::fill(pendingEvent_.begin(), pendingEvent_.end(), 0);
    std::fill(leadsFromNext_.begin(), leadsFromNext_.end(), 0);
    anyEvent_ = anyPendingEvent_ = false;
}

bool OnsetBands::beginsOnItsOwn(std::size_t band, float now) const {
    const bool quiet = state_[band] == BandState::Steady || state_[band] == BandState::Falling;
    return quiet && steady_[band] > silenceOf(band) &&
           (now > onsetRatio_[band] * steady_[band] || channelMoves(band, onsetRatio_[band]));
}

// Whether the band's sound has moved from one side to the other: one
// channel stands above `ratio` times its steady energy while the other has
// fallen below kMovedFrom of its own.
bool OnsetBands::channelMoves(std::size_t band, float ratio) const {
    const float least = kQuietChannel * steady_[band];
    const bool toRight = nowRight_[band] > ratio * std::max(steadyRight_[band], least) &&
                         steadyLeft_[band] > least && nowLeft_[band] < kMovedFrom * steadyLeft_[band];
    const bool toLeft = nowLeft_[band] > ratio * std::max(steadyLeft_[band], least) &&
                        steadyRight_[band] > least && nowRight_[band] < kMovedFrom * steadyRight_[band];
    return toRight || toLeft;
}

// Whether a channel that carried some of the band has dropped below `ratio`
// times its steady energy.
bool OnsetBands::channelDrops(std::size_t band, float ratio) const {
    const float least = kQuietChannel * steady_[band];
    return (steadyLeft_[band] > least && nowLeft_[band] < ratio * steadyLeft_[band]) ||
           (steadyRight_[band] > least && nowRight_[band] < ratio * steadyRight_[band]);
}

// Whether the band's sound is moving: its balance has drifted from the
// steady balance (kDriftZ) and the band holds one source (kMovingCoherence);
// or, over ambience, it drifts with the stage (kStageDriftZ) while keeping
// its level and moving its channels oppositely (kPanKeepsLevel), or pans
// (kPannedDriftZ) or drifts with the stage and is no less coherent than its
// steady averages.
bool OnsetBands::drifts(std::size_t band) const {
    const float drift = drift_[band];
    if (!(std::fabs(drift) > kLeastDrift)) return false;
    const float squared = drift * drift, scatter = balanceScatter_[band];
    const float recentCoherence = coherenceOf(shortLeft_[band], shortRight_[band], shortCross_[band]);
    if (squared > kDriftZ * scatter && recentCoherence > kMovingCoherence) return true;
    // The channel it moved from fell and the one it moved to rose.
    const bool towardsLeft = drift > 0.0f;
    const bool fromFell = towardsLeft ? shortRight_[band] < steadyRight_[band] : shortLeft_[band] < steadyLeft_[band];
    const bool toRose = towardsLeft ? shortLeft_[band] > steadyLeft_[band] : shortRight_[band] > steadyRight_[band];
    const bool withStage = std::fabs(stageDrift_) > kStageDriftZ && drift * stageDrift_ > 0.0f;
    const float steadyTotal = steadyLeft_[band] + steadyRight_[band];
    const bool keepsLevel = std::fabs(shortLeft_[band] + shortRight_[band] - steadyTotal) < kPanKeepsLevel * steadyTotal;
    if (withStage && keepsLevel && fromFell && toRose) return true;
    if (recentCoherence < coherenceOf(steadyLeft_[band], steadyRight_[band], steadyCross_[band])) return false;
    if (withStage) return true;
    return squared > kPannedDriftZ * scatter && fromFell && toRose;
}

// The band's drift over the square root of its balance's scatter, within
// ±kBandDriftZ: its share of the stage's drift.
float OnsetBands::bandDriftZ(std::size_t band) const {
    const float scatter = balanceScatter_[band];
    const float z = scatter > 0.0f ? drift_[band] / std::sqrt(scatter) : 0.0f;
    return std::clamp(z, -kBandDriftZ, kBandDriftZ);
}

// Whether the band's sound is travelling across the stage with the rest of
// the stage: its balance steps one way frame after frame (kConsistentSteps),
// the bands step the same way (kStageAgreement), and each of its recent
// frames holds a source that stands out (kTravellingCoherence).
bool OnsetBands::travels(std::size_t band) const {
    const float squares = stepSquare_[band];
    if (!(squares > kLeastStep * kLeastStep && stepProduct_[band] > kConsistentSteps * squares)) return false;
    if (!(stageMotion_ > kStageAgreement)) return false;
    const float chance = 1.0f / independentBins<float>(end_[band] - first_[band]);
    return frameCoherence_[band] - chance > kTravellingCoherence * (1.0f - chance);
}

// How many bands are in an event they rose into on their own and still
// hold, in the newest frame, kSustainRatio times their steady energy.
std::size_t OnsetBands::sustainingBands() const {
    std::size_t count = 0;
    for (std::size_t b = 0; b < first_.size(); ++b) {
        count += state_[b] == BandState::Onset && joined_[b] == 0 && now_[b] > kSustainRatio * steady_[b] ? 1 : 0;
    }
    return count;
}

// Follows the band's balance in the newest frame: how far it stands off the
// steady balance, and how much it moves from frame to frame.
void OnsetBands::followBalance(std::size_t band) {
    const float total = nowLeft_[band] + nowRight_[band];
    const float steadyTotal = steadyLeft_[band] + steadyRight_[band];
    if (!(total > silenceOf(band)) || !(steadyTotal > silenceOf(band))) {
        drift_[band] = 0.0f;
        shortLeft_[band] = nowLeft_[band];
        shortRight_[band] = nowRight_[band];
        shortCross_[band] = nowCross_[band];
        balanceScatter_[band] = kFirstBalanceScatter;
        balance_[band] = 0.0f;
        lastStep_[band] = stepProduct_[band] = stepSquare_[band] = frameCoherence_[band] = 0.0f;
        return;
    }
    const float balance = (nowLeft_[band] - nowRight_[band]) / total;
    const float steady = (steadyLeft_[band] - steadyRight_[band]) / steadyTotal;
    drift_[band] += kDriftWeight * ((balance - steady) - drift_[band]);
    shortLeft_[band] += kDriftWeight * (nowLeft_[band] - shortLeft_[band]);
    shortRight_[band] += kDriftWeight * (nowRight_[band] - shortRight_[band]);
    shortCross_[band] += kDriftWeight * (nowCross_[band] - shortCross_[band]);
    const float step = balance - balance_[band];
    balanceScatter_[band] += slowSteadyWeight_ * (step * step - balanceScatter_[band]);
    stepProduct_[band] += kStepWeight * (step * lastStep_[band] - stepProduct_[band]);
    stepSquare_[band] += kStepWeight * (step * step - stepSquare_[band]);
    lastStep_[band] = step;
    const float coherence = coherenceOf(nowLeft_[band], nowRight_[band], nowCross_[band]);
    frameCoherence_[band] += kDriftWeight * (coherence - frameCoherence_[band]);
    balance_[band] = balance;
}

// The state machine of one band for a frame of energy `now`, `broadband`
// when a hit across the spectrum begins in it; returns the weight its
// averages take.
float OnsetBands::weightFor(std::size_t band, float now, bool broadband) {
    const float steady = steady_[band];
    const float silence = silenceOf(band);
    BandState& state = state_[band];
    switch (state) {
    case BandState::Steady:
    case BandState::Falling: {
        if (!(steady > silence)) {
            // Out of silence: whatever sounds is the new steady sound.
            state = now > silence ? BandState::Adopting : BandState::Steady;
            return now > silence ? fastWeight_ : steadyWeight_;
        }
        const bool rises = beginsOnItsOwn(band, now);
        if (rises || (broadband && now > kJoinRatio * steady)) {
            state = BandState::Onset;
            joined_[band] = rises ? 0 : 1;
            moved_[band] = rises && channelMoves(band, onsetRatio_[band]) ? 1 : 0;
            eventAge_[band] = 0;
            eventPeak_[band] = now;
            eventLevel_[band] = now;
            holdLeft_[band] = hold_;
            return 0.0f;
        }
        if (now < fallRatio_[band] * steady || channelDrops(band, fallRatio_[band]) ||
            (state == BandState::Falling && now < 0.5f * steady)) {
            state = BandState::Falling;
            return fastWeight_;
        }
        state = BandState::Steady;
        if (travels(band)) return 1.0f;
        return drifts(band) ? std::max(fastWeight_, steadyWeight_) : steadyWeight_;
    }
    case BandState::Onset:
        eventLevel_[band] += fastWeight_ * (now - eventLevel_[band]);
        eventPeak_[band] = std::max(eventPeak_[band], eventLevel_[band]);
        if (++eventAge_[band] > longestEvent_ && !ringsOn(band, steady)) {
            state = BandState::Adopting;
            return fastWeight_;
        }
        if (now > onsetRatio_[band] * steady) joined_[band] = 0;  // the hit has reached it after all
        // A band that joined a hit, or rose, while its sound was on its way
        // to the other side: a move from here on, counted from now.
        if (moved_[band] == 0) {
            if (channelMoves(band, onsetRatio_[band])) {
                moved_[band] = 1;
                joined_[band] = 0;
                eventAge_[band] = 0;
            }
        } else if (!channelMoves(band, kSustainRatio)) {
            moved_[band] = 0;
        }
        // Once no frame holds its old place any more, a sound that moved
        // and stays there is where it is now: the averages take it at once.
        if (moved_[band] != 0 && eventAge_[band] > hold_) {
            state = BandState::Adopting;
            return 1.0f;
        }
        // A band that joined a hit stays with it while the hit lasts in the
        // bands it rose in: a burst's weaker part there, let into the
        // averages once its first frames had passed, would steer the steady
        // sound beside it for as long as they remember.
        holdLeft_[band] = (joined_[band] == 0 && (now > kSustainRatio * steady || moved_[band] != 0)) ||
                                  (joined_[band] != 0 && hitSustains_)
                              ? hold_
                              : holdLeft_[band] - 1;
        if (holdLeft_[band] > 0) return 0.0f;
        state = BandState::Steady;
        return steadyWeight_;
    case BandState::Adopting:
        if (now < kSustainRatio * steady) state = BandState::Steady;
        return fastWeight_;
    }
    return steadyWeight_;
}

bool OnsetBands::ringsOn(std::size_t band, float steady) const {
    return eventAge_[band] <= longestRinging_ && eventPeak_[band] > kHitOverSteady * steady &&
           eventLevel_[band] < kDiedAway * eventPeak_[band];
}

void OnsetBands::update(const std::complex<float>* left, const std::complex<float>* right) {
    // What was the newest frame becomes the frame to render.
    pendingWeight_.swap(binWeight_);
    pendingSlowWeight_.swap(slowWeight_);
    pendingEvent_.swap(inEvent_);
    pendingSettled_.swap(settled_);
    std::copy(joined_.begin(), joined_.end(), pendingJoined_.begin());
    anyPendingEvent_ = anyEvent_;
    anyEvent_ = false;
    std::size_t beginning = 0;
    float together = 0.0f, apart = 0.0f;  // how alike the bands' balances stepped
    float stageDrift = 0.0f;
    int sounding = 0;
    for (std::size_t b = 0; b < first_.size(); ++b) {
        float now = 0.0f, nowLeft = 0.0f, nowRight = 0.0f;
        std::complex<float> nowCross{};
        for (std::size_t k = first_[b]; k < end_[b]; ++k) {
            now += std::norm(left[k]) + std::norm(right[k]);
            nowLeft += std::norm(left[k]);
            nowRight += std::norm(right[k]);
            nowCross += left[k] * std::conj(right[k]);
        }
        nowCross_[b] = nowCross;
        now_[b] = now;
        nowLeft_[b] = nowLeft;
        nowRight_[b] = nowRight;
        followBalance(b);
        if (now > silenceOf(b) && state_[b] != BandState::Onset) {
            stageDrift += bandDriftZ(b);
            ++sounding;
        }
        together += lastStep_[b];
        apart += std::fabs(lastStep_[b]);
        beginning += beginsOnItsOwn(b, now) ? 1 : 0;
    }
    const bool broadband = beginning >= kBroadbandBands;
    hitSustains_ = sustainingBands() >= kSustainedHitBands;
    stageDrift_ = sounding > 0 ? stageDrift / std::sqrt(static_cast<float>(sounding)) : 0.0f;
    stageMotion_ += kStepWeight * ((apart > 0.0f ? std::fabs(together) / apart : 0.0f) - stageMotion_);
    for (std::size_t b = 0; b < first_.size(); ++b) {
        const float now = now_[b];
        const BandState before = state_[b];
        const float weight = weightFor(b, now, broadband);
        steady_[b] += weight * (now - steady_[b]);
        steadyLeft_[b] += weight * (nowLeft_[b] - steadyLeft_[b]);
        steadyRight_[b] += weight * (nowRight_[b] - steadyRight_[b]);
        steadyCross_[b] += weight * (nowCross_[b] - steadyCross_[b]);
        const uint8_t event = state_[b] == BandState::Onset ? 1 : 0;
        const bool begins = event != 0 && before != BandState::Onset;
        if (begins) pendingJoined_[b] = joined_[b];
        anyEvent_ = anyEvent_ || event != 0;
        anyPendingEvent_ = anyPendingEvent_ || begins;
        const float slow = weight == steadyWeight_ ? slowSteadyWeight_ : weight;
        steadyFor_[b] = state_[b] == BandState::Steady ? std::min(steadyFor_[b] + 1, longestEvent_) : 0;
        const float settled = static_cast<float>(steadyFor_[b]) / static_cast<float>(std::max(longestEvent_, 1));
        for (std::size_t k = first_[b]; k < end_[b]; ++k) {
            binWeight_[k] = weight;
            slowWeight_[k] = slow;
            inEvent_[k] = event;
            settled_[k] = settled;
            // A hit that begins in this frame already reaches into the one
            // before: that frame's averages hold, and it renders the hit.
            leadsFromNext_[k] = begins ? 1 : 0;
            if (begins) {
                pendingWeight_[k] = 0.0f;
                pendingSlowWeight_[k] = 0.0f;
                pendingEvent_[k] = 1;
                pendingSettled_[k] = 0.0f;
            }
        }
    }
}

}  // namespace quorveil::spectral
