// SPDX-License-Identifier: GPL-3.0-or-later
// The first step of the upmix: what each bin of a stereo pair holds. The
// model, per bin, is a direct sound, one signal s that reaches L and R at
// two levels and with a phase difference φ, over an ambience, sound the two
// channels do not share, of equal power σ in each:
//     X = v·s + (A_L, A_R),   v = (u_L, u_R·e^{−jφ}),  u_L² + u_R² = 1.
// With Φ the 2×2 covariance of the bin, σ is its smaller eigenvalue and the
// direct power P = Φ_LL + Φ_RR − 2σ; v is the principal direction, φ the
// phase of the cross-spectrum Φ_LR. The direct signal is the projection
// vᴴX, scaled to power P; each channel's ambience is what the least-squares
// direct part leaves of that channel, scaled to σ.
//
// Φ is averaged over time per bin (the user's time constant) and then over
// neighbouring bins, about a sixth of an octave: a stationary sound then
// gives steady decisions (no warble) while the time constant stays short
// enough to follow music. Before the bins are averaged, each is turned back
// by the phase slope of the cross-spectrum across its neighbours, so that a
// source reaching R a little later than L (spaced microphones: the phase of
// Φ_LR grows with frequency) keeps its full coherence. The bias of the
// averaged coherence is removed: averaged over the equivalent of N
// independent frames and bins, a squared coherence γ² shows γ² +
// (1 − γ²)²/N, so decorrelated sound is not mistaken for a direct one.
//
// What the averages say of each bin, the direct sound's direction and
// shares and the ambience's power, is worked out from them by a step of its
// own (BinDescription.h), which may run on another thread than the split.
// The direct sound is classified by its phase:
//   in phase       φ near 0: placed on the front arc by the chosen module;
//   time-shifted   φ far from 0 but following the slope of a time
//                  difference (up to a few ms): kept in FL and FR with each
//                  side's own phase, so nothing combs in a fold-down;
//   anti-phase     φ near π with no slope: surround content (matrix-encoded
//                  surround, wide effects), behind; what the anti-phase part
//                  leaves is in phase, and goes to the centre as a matrix
//                  decoder would.
//
// Where OnsetBands reports an onset, the averages hold what they knew before
// it and the frame's excess over them, Φ_now − Φ, is an event: a hit or a
// burst with a direction of its own (the principal direction of the excess).
// The event's signal is its Wiener estimate from the frame given the held
// background, as much of it as the excess is coherent (a diffuse burst has
// no direction to place it by), placed on the front arc by its levels; the
// rest of the frame is rendered as the background would be. The averages
// never learn the hit, so nothing pumps after it, and the hit never waits
// for them, so it is not sent behind.
//
// Built on:
//   C. Faller, "Multiple-Loudspeaker Playback of Stereo Signals", J. Audio
//   Eng. Soc. 54(11), 2006 (least-squares direct and ambience, post-scaled);
//   J. Merimaa, M. M. Goodwin, J.-M. Jot, "Correlation-Based Ambience
//   Extraction from Stereo Recordings", AES 123rd Convention, 2007 (the
//   smaller eigenvalue);
//   C. Avendano, J.-M. Jot, "A Frequency-Domain Approach to Multichannel
//   Upmix", J. Audio Eng. Soc. 52(7/8), 2004 (inter-channel coherence with
//   time and frequency smoothing);
//   M. M. Goodwin, J.-M. Jot, "Primary-Ambient Signal Decomposition and
//   Vector-Based Localization for Spatial Audio Coding and Enhancement",
//   ICASSP 2007 (the phase of the principal component);
//   J. He, E.-L. Tan, W.-S. Gan, "Linear Estimation Based Primary-Ambient
//   Extraction for Stereo Audio Signals", IEEE/ACM Trans. Audio, Speech,
//   Lang. Process. 22(2), 2014 (ambience estimates that keep each side's
//   phase, and what their correlation costs).
#pragma once

#include <algorithm>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace quorveil::spectral {

class OnsetBands;

// The one-pole weight per hop for a time constant: 1 − exp(−hop / (τ · rate)).
float smoothingWeight(double timeConstantSeconds, int hop, double sampleRate);

// The squared coherence two independent white noises show, on average, after
// one-pole averaging with `weight` per hop of frames cut by `window` every
// `hop` samples (overlapping frames are not independent, which raises it).
float coherenceFloor(const std::vector<float>& window, int hop, float weight);

// What `bins` neighbouring bins of a Hann-windowed FFT average a squared
// coherence floor down to: adjacent bins of such a frame share much of their
// noise, so n bins count as fewer than n independent ones.
float binAveragedFloor(float floor, int bins);

// Averages of a stereo bin's powers and cross-spectrum, one per bin.
struct BinAverages {
    std::vector<float> left, right;             // Φ_LL, Φ_RR
    std::vector<std::complex<float>> cross;     // Φ_LR = E[X_L X_R*]
    void resize(std::size_t bins);
    void clear();
};

// Per bin, what the mix needs to build its matrix (UpmixMatrix.h): views of
// binCount values each, of a frame's description and of its split
// (sceneOf, BinDescription.h).
struct BinScene {
    // The direct sound: direction (u_L, u_R·e^{−jφ}) with e^{jφ} = (cosφ,
    // sinφ), the Wiener share w = P / (P + σ); and σ, the ambience's power in
    // each channel.
    const float *uL, *uR, *cosPhi, *sinPhi, *share, *ambientPower;
    // Amplitude shares of the direct sound: in phase (placed), time-shifted
    // (each side to its front), anti-phase (each side to its rear); their
    // squares add up to 1. `toCentre`: the power share of the ambience
    // that goes to the centre as in-phase content.
    const float *front, *sides, *rear, *toCentre;
    // Events, where `event` is non-zero: the event's direction (complex L
    // and R, |vL|² + |vR|² = 1) and the estimator h of its signal ê = hᴴX;
    // `eventFront` its amplitude share that is placed (in phase),
    // `eventRear` the share that goes behind (anti-phase), the rest going to
    // each side's front with its own phase.
    const uint8_t* event;
    const std::complex<float>*eventL, *eventR, *estimatorL, *estimatorR;
    const float *eventFront, *eventRear;
    // The covariance the scene was judged from, averaged over time and
    // neighbouring bins.
    const float *powerLeft, *powerRight;
    const std::complex<float>* cross;
    // The weight this frame had in the averages over time (0 while an
    // event holds them).
    const float* weight;
    // How settled the bin's band is (OnsetBands::settled).
    const float* settled;
};

// What one frame's split leaves for its description (BinDescription.h):
// binCount values per array, owned by whoever made the frame (the split, or
// a FrameCopy of it).
struct BinStatistics {
    // The recent and the slow averages, each over time and then over
    // neighbouring bins.
    const float *recentLeft, *recentRight;
    const std::complex<float>* recentCross;
    const float *slowLeft, *slowRight;
    const std::complex<float>* slowCross;
    // The slow averages' coherence floor (the squared coherence that
    // independent noise shows in them), and the scatter (1/√N) of the
    // recent and of the slow averages' levels, each as the frames the
    // averages now hold make it.
    const float *slowFloor, *recentScatter, *slowScatter;
    // How surely the direct sound is time-shifted (0 to 1).
    const float* shifted;
    // The weight this frame had in the recent averages (0 while an event
    // holds them).
    const float* weight;
};

// One frame as the split leaves it: its statistics, how settled each bin's
// band is (OnsetBands::settled) and its events, the event arrays only
// valid when `anyEvent`.
struct SplitFrame {
    BinStatistics statistics;
    const float* settled;
    bool anyEvent;
    const uint8_t* event;
    const std::complex<float>*eventL, *eventR, *estimatorL, *estimatorR;
    const float *eventFront, *eventRear;
    const float *eventLeftLevel, *eventRightLevel;  // the event's amplitude in each channel
};

// Per-bin state and results, owned by the engine that runs it. Sized once
// when built (set-up, main thread, allocates); every call after that is for
// the audio thread and allocates nothing.
class PrimaryAmbientSplit {
public:
    // For `bands` onset bands (OnsetBands::bandCount).
    PrimaryAmbientSplit(int bins, int fftSize, double sampleRate, std::size_t bands);

    // The coherence floors of the recent and of the slow averaging over
    // time (coherenceFloor) and the constant weights they were made for,
    // for the frames that follow. Between frames.
    void setTimeFloors(float recent, float slow, float recentWeight, float slowWeight);

    // Forgets the averages: the next frame starts from silence.
    void reset();

    // One frame of complex bins of L and R (the analyser's scale), once per
    // hop, with the next frame (the onset bands already updated by it:
    // OnsetBands.h). Updates the averages and finds the frame's events.
    void split(const std::complex<float>* left, const std::complex<float>* right,
               const std::complex<float>* nextLeft, const std::complex<float>* nextRight,
               const OnsetBands& onsets);

    // Views of the last frame, valid until the next split.
    SplitFrame frame() const;

    int bins() const { return static_cast<int>(fast_.left.size()); }

private:
    void average(const std::complex<float>* left, const std::complex<float>* right,
                 const float* weights, const float* slowWeights);
    void findSteps(const std::vector<std::complex<float>>& cross,
                   std::vector<std::complex<float>>& steps, std::vector<float>* shifted);
    template <typename V>
    void blendSteps(std::size_t k, std::vector<std::complex<float>>& steps, std::vector<float>* shifted);
    void smoothAcrossBins(const BinAverages& raw, const std::vector<int>& halves,
                          const std::vector<std::complex<float>>& steps, BinAverages& out);
    void turnedBin(int k, int half, const std::vector<std::complex<float>>& steps, BinAverages& out);
    template <typename Values>
    void turnedLanes(int k, int half, const std::vector<std::complex<float>>& steps, BinAverages& out);
    void followScatter(const std::complex<float>* left, const std::complex<float>* right, const float* weights,
                       const float* slowWeights, const OnsetBands& onsets);
    void findEvents(const std::complex<float>* left, const std::complex<float>* right,
                    const std::complex<float>* nextLeft, const std::complex<float>* nextRight,
                    const OnsetBands& onsets);
    // A band's excess over the averages in the frame that describes its
    // event: powers and cross-spectrum summed over its bins (each turned
    // back by the band's phase step to its first bin), the step itself
    // (`steps` before it is made a unit), and how many independent bins
    // the sums count as.
    struct BandExcess {
        float left = 0.0f, right = 0.0f, independent = 1.0f;
        std::complex<float> cross, steps, step{1.0f, 0.0f};
    };
    // A hit across the spectrum, from the bands it rose in: its direction
    // at bin 0, its phase step per bin and its coherent share.
    struct HitDirection {
        bool found = false;
        std::complex<float> left, right, step{1.0f, 0.0f};
        float coherent = 1.0f;
    };
    void measureExcess(std::size_t band, std::size_t first, std::size_t end,
                       const std::complex<float>* left, const std::complex<float>* right,
                       const std::complex<float>* nextLeft, const std::complex<float>* nextRight,
                       const OnsetBands& onsets);
    HitDirection hitAcross(const OnsetBands& onsets) const;
    // The phase step per bin of a time difference in the frame's excess over
    // the band [first, end), if the band shows one.
    std::optional<std::complex<float>> timeStep(const std::complex<float>* left, const std::complex<float>* right,
                                                std::size_t first, std::size_t end);
    void estimateEvent(std::size_t band, std::size_t first, std::size_t end, const OnsetBands& onsets,
                       const HitDirection& hit);

    // Per-bin averages over time: recent ones (the user's time constant)
    // for direction and power, slow ones for how diffuse the bin is; each
    // also averaged over neighbouring bins.
    BinAverages fast_, slow_, fastAcross_, slowAcross_;
    std::vector<int> halfWidth_, slowHalfWidth_;
    // The cross-spectra's phase steps per bin, recent and slow.
    std::vector<std::complex<float>> step_, slowStep_;
    std::vector<float> shifted_;  // per bin: how surely the direct sound is time-shifted
    std::vector<float> weight_;
    const float* settled_ = nullptr;  // the onset bands', for the frame described
    std::vector<float> binFloor_;  // per bin: the slow coherence floor after bin averaging
    // Per bin: 1/√N of the recent and of the slow averages under their
    // constant weights.
    std::vector<float> recentScatter_, slowScatter_;
    // Per band, for each average: the running sums of c·P and (c·P)² over
    // the frames it holds (followScatter), and the ratio a steady sound
    // gives under the constant weight its floors were made for; per bin,
    // the slow floor and the scatters as this frame's averages make them.
    struct Spread {
        float sum = 0.0f, squares = 0.0f;
        // A frame of `power` whose bins move together `concentration`
        // times as much as a steady sound's (bandFrameOf).
        void add(float power, float weight, float concentration) {
            sum += weight * (power - sum);
            squares = weight * weight * power * power * concentration + (1.0f - weight) * (1.0f - weight) * squares;
        }
        // The ratio over a steady sound's, at least 1.
        float excess(float steady) const {
            return sum > 0.0f ? std::max(1.0f, squares / (sum * sum) / steady) : 1.0f;
        }
    };
    std::vector<Spread> recentSpread_, slowSpread_;
    float recentReference_ = 1.0f, slowReference_ = 1.0f;
    std::vector<float> slowFloorNow_, recentScatterNow_, slowScatterNow_;
    // findSteps' running sums over the bins (bins + 1 each).
    std::vector<std::complex<double>> stepSums_;
    std::vector<double> sizeSums_;
    // findSteps' mean step of each bin's window, and how well its steps agree.
    std::vector<float> meanStepRe_, meanStepIm_, stepAgreement_;
    // smoothAcrossBins' copy of the cross-spectrum, real and imaginary parts
    // apart.
    std::vector<float> crossRe_, crossIm_;
    float inPhaseStep_, shiftedStep_;  // phase steps per bin of kInPhaseDelay, kShiftedDelay
    float inPhaseTangent_, shiftedTangent_;  // their tangents, a margin inside and beyond

    // The events.
    std::vector<uint8_t> event_;
    std::vector<std::complex<float>> eventL_, eventR_, estimatorL_, estimatorR_;
    std::vector<float> eventFront_, eventRear_, eventLevelLeft_, eventLevelRight_;
    // Per bin in an event: the frame's excess over the averages, and how
    // many bins it was summed over.
    std::vector<float> excessLeft_, excessRight_, excessBins_;
    std::vector<std::complex<float>> excessCross_;
    // Per bin of a band in an event: the frame's own cross-spectrum less
    // the bin's average (timeStep).
    std::vector<std::complex<float>> frameCross_;
    // Per band in an event: its strongest power so far, and the direction,
    // the coherent share (how much of it is taken as a direct sound) and
    // the phase step it had then.
    std::vector<float> bandPeak_, bandCoherent_;
    std::vector<int> bandAge_;
    std::vector<std::complex<float>> bandLeftDirection_, bandRightDirection_, bandStep_;
    std::vector<BandExcess> bandExcess_;  // per band, this frame's (measureExcess)
    bool anyEvent_ = false;
};

}  // namespace quorveil::spectral
