// SPDX-License-Identifier: GPL-3.0-or-later
// Where in frequency something new has just begun. The upmix decides, per
// bin, from averages of about a tenth of a second; a hit or a burst arrives
// faster than those averages can follow, and once in them it would steer the
// steady sound beside it for as long as they remember (pumping). So the bins
// are grouped in bands about a third of an octave wide (at least four bins,
// so that the band level of a steady noise hardly fluctuates), and each band
// compares the energy of the newest frame with its steady level:
//
//   steady     the averages follow the sound as usual;
//   onset      the frame holds at least four times (6 dB) the band's steady
//              energy: the band's averages are held as they were before the
//              hit, and the frame's excess is treated as a new event of its
//              own (PrimaryAmbient.h); it stays so while the band is at least
//              twice (3 dB) its steady energy, and for `overlap` frames
//              after, so that every frame that still holds the hit in its
//              window renders it the same way;
//   adopting   a band loud for longer than kLongestEvent is a new steady
//              sound, not a hit: its averages catch up quickly; but one
//              whose hit has died away by 6 dB since its peak and still
//              sounds is the hit's ringing (a kick's tail), and stays an
//              event for up to kLongestRinging;
//   falling    a band that drops to an eighth (−9 dB) of its steady energy
//              lets its averages fall quickly too, so a loud sound that
//              stops does not steer the quiet one after it.
//
// A hit across the spectrum (a click, a snare, a castanet's edges) is not
// loud in every band: where a steady sound is stronger, the hit adds less
// than its threshold, and there it would be rendered as the steady sound is
// (a centred click's low part as ambience, behind) while the averages learn
// it. So when several bands begin at once, every other band that has not
// fallen below its steady level joins the event for the frames that hold
// the hit in their window: its averages hold, and its excess, whatever
// there is of it, is an event of its own. A joined band is not kept in the
// event by its own level afterwards (it never rose by much), but by the
// hit's: while many of the bands that rose still hold it (a burst that
// lasts), the joined ones stay in the event too.
//
// Each channel is judged on its own too: a sound that jumps from one side to
// the other (a ping-pong, a cut) keeps the band's energy while one channel
// rises and the other falls, and the averages, which still hold the old
// side, would take the two for one diffuse sound. One channel well above
// its own steady energy while the other fell below half of its own is a
// sound that has moved: an onset, whose event lasts while frames still
// hold its old place in their window (`overlap` frames); if the sound
// stays, the averages then take its new place at once. A channel that
// drops lets the averages fall quickly. A sound that pans gradually moves
// neither channel that far in one frame, but its band's balance (L against
// R) leaves the steady balance behind, frame after frame, by far more than
// a steady sound's balance scatters from one frame to the next, while the
// band stays coherent (one source; a sound added on one side moves the
// balance too, but lowers the coherence), or, over ambience, while one
// channel rises as the other falls or the whole stage drifts the same way,
// the band no less coherent than its steady averages or, drifting with the
// stage as its channels move oppositely, keeping its level (a pan keeps
// the power; a sound added or ending changes it): the band then follows at
// the catching-up speed while it moves. A sound that travels
// faster than that (an auto-panner) steps its balance the same way frame
// after frame, in every band it covers at once, each frame holding one
// source: such a band takes each frame as it comes.
//
// After the fast/slow time constants of active matrix decoders (R. Dressler,
// "Dolby Surround Pro Logic II Decoder: Principles of Operation", Dolby
// Laboratories, 2000), and onset detection by band energy against its
// recent average (J. P. Bello et al., "A Tutorial on Onset Detection in
// Music Signals", IEEE Trans. Speech Audio Process. 13(5), 2005).
#pragma once

#include <algorithm>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace quorveil::spectral {

// How many independent bins `bins` neighbouring bins of a Hann-windowed
// frame count as: neighbours share about half their noise. In the
// precision of the caller's arithmetic.
template <typename Real>
Real independentBins(std::size_t bins) {
    return std::max(Real(1), static_cast<Real>(bins) / Real(1.94));
}

// What a band's frame means for the averages of its bins.
enum class BandState : uint8_t { Steady, Onset, Adopting, Falling };

class OnsetBands {
public:
    // [set-up; allocates] Bands over `bins` bins (DC and Nyquist included) of
    // an FFT of `fftSize` at `sampleRate`, `hop` samples apart, frames
    // overlapping `overlap` times.
    OnsetBands(int bins, int fftSize, int hop, int overlap, double sampleRate);

    // [audio thread; no allocation] The per-hop weights of the steady
    // averages (smoothingWeight of the user's time constant) and of the slow
    // ones that judge the ambience.
    void setSteadyWeights(float weight, float slowWeight) {
        steadyWeight_ = weight;
        slowSteadyWeight_ = slowWeight;
    }

    // [audio thread; no allocation] The next frame of L and R. The upmix
    // renders each frame one hop late, so that a hit seen in this frame is
    // known to the frame before it, which holds its beginning at the edge of
    // its window: everything below describes the frame before this one.
    // `binWeights(k)` is the weight the steady averages of bin k take (0
    // while held), `inEvent(k)` whether bin k's band is in an event (onset,
    // its hold, or an onset in the next frame), `leadsFromNext(k)` whether
    // the event is to be described by the next frame, where it is whole.
    void update(const std::complex<float>* left, const std::complex<float>* right);

    void reset();

    const float* binWeights() const { return pendingWeight_.data(); }
    const float* slowWeights() const { return pendingSlowWeight_.data(); }
    const uint8_t* inEvent() const { return pendingEvent_.data(); }
    const uint8_t* leadsFromNext() const { return leadsFromNext_.data(); }
    // How long the band has been steady since its last event or catching
    // up, from 0 (just now) to 1 (kLongestEvent or more).
    const float* settled() const { return pendingSettled_.data(); }
    bool anyEvent() const { return anyPendingEvent_; }
    // Whether the band is in the event only as part of a hit across the
    // spectrum that rose elsewhere (it barely rose itself).
    bool joinedHit(std::size_t band) const { return pendingJoined_[band] != 0; }
    // How many frames hold a hit's onset in their window.
    int onsetFrames() const { return hold_; }

    std::size_t bandCount() const { return first_.size(); }
    // The bins [first, end) of a band.
    std::pair<std::size_t, std::size_t> bandBins(std::size_t band) const { return {first_[band], end_[band]}; }
    BandState state(std::size_t band) const { return state_[band]; }

private:
    // Whether the band, steady or falling, begins an onset at its own
    // threshold with a frame of energy `now`.
    bool beginsOnItsOwn(std::size_t band, float now) const;
    // A channel that carried some of the band below `ratio` times its
    // steady energy; one above it while the other fell (the sound moved).
    bool channelDrops(std::size_t band, float ratio) const;
    bool channelMoves(std::size_t band, float ratio) const;
    // Whether the band's sound is moving gradually, or travelling across the
    // stage with the other bands, from followBalance's record of it.
    bool drifts(std::size_t band) const;
    float bandDriftZ(std::size_t band) const;
    bool travels(std::size_t band) const;
    // Whether a band's event, past kLongestEvent, is a hit still dying away.
    bool ringsOn(std::size_t band, float steady) const;
    void followBalance(std::size_t band);
    std::size_t sustainingBands() const;
    float silenceOf(std::size_t band) const { return silence_ * static_cast<float>(end_[band] - first_[band]); }
    float weightFor(std::size_t band, float now, bool broadband);

    std::vector<std::size_t> first_, end_;  // bins [first, end) of each band
    std::vector<float> steady_;            // the band's steady energy
    std::vector<float> now_;               // the newest frame's band energies
    std::vector<float> steadyLeft_, steadyRight_, nowLeft_, nowRight_;  // each channel's
    std::vector<std::complex<float>> steadyCross_;  // the steady cross-spectrum
    // Each band's balance: the newest frame's, its short-term offset from
    // the steady balance, and the mean square of its frame-to-frame steps;
    // its energies and cross-spectrum over the last few frames, and the
    // newest frame's cross-spectrum.
    std::vector<float> balance_, drift_, balanceScatter_, shortLeft_, shortRight_;
    // The balance's newest step, the short averages of the product of
    // consecutive steps and of a step's square, and of each frame's own
    // squared coherence across the band's bins.
    std::vector<float> lastStep_, stepProduct_, stepSquare_, frameCoherence_;
    std::vector<std::complex<float>> shortCross_, nowCross_;
    std::vector<uint8_t> joined_, pendingJoined_;  // in an event only as part of a broadband hit
    std::vector<uint8_t> moved_;           // in an event because its sound moved sides
    std::vector<float> onsetRatio_, fallRatio_;  // the band's thresholds
    std::vector<BandState> state_;
    std::vector<int> eventAge_, holdLeft_;  // hops since the onset; hops of hold left
    // The band's level since its onset, followed at the catch-up pace, and
    // its loudest.
    std::vector<float> eventLevel_, eventPeak_;
    std::vector<float> binWeight_, slowWeight_;  // the newest frame's
    std::vector<uint8_t> inEvent_;
    std::vector<float> pendingWeight_, pendingSlowWeight_;  // the frame before it
    std::vector<uint8_t> pendingEvent_, leadsFromNext_;
    std::vector<int> steadyFor_;  // hops since the band was last not steady
    std::vector<float> settled_, pendingSettled_;
    float steadyWeight_ = 1.0f, slowSteadyWeight_ = 1.0f;
    float stageMotion_ = 0.0f;  // how alike the bands' balances step: 1 all one way
    float stageDrift_ = 0.0f;   // the bands' drifts over their scatter, summed over √bands
    bool hitSustains_ = false;  // a hit across the spectrum still goes on (kSustainedHitBands)
    float fastWeight_;  // catching up: a time constant of about 30 ms
    float silence_;     // a bin's energy, L and R, below which a band is silent
    int hold_;          // frames that still hold a hit in their window
    int longestEvent_;    // hops, kLongestEvent
    int longestRinging_;  // hops, kLongestRinging
    bool anyEvent_ = false, anyPendingEvent_ = false;
};

}  // namespace quorveil::spectral
