// SPDX-License-Identifier: GPL-3.0-or-later
// The first step of the upmix: each bin of a stereo pair split into a direct
// part, one sound panned between L and R, and an ambient part, sound that the
// two channels do not share (room, reverberation, anything in anti-phase).
//
// The model, per bin: X_L = P_L + A_L, X_R = P_R + A_R, where P_L and P_R
// are one signal at two in-phase levels and A_L, A_R are uncorrelated with
// it and with each other, of equal power σ. With Φ the 2×2 covariance of the
// bin, averaged over time by a one-pole per bin, σ is its smaller
// eigenvalue,
//     σ = ((Φ_LL + Φ_RR) − √((Φ_LL − Φ_RR)² + 4c²)) / 2,
// and the direct powers are Φ_LL − σ and Φ_RR − σ. The direct signal is the
// least-squares estimate of P from X_L and X_R, each channel's ambience what
// that estimate leaves of the channel, and all three are post-scaled to the
// powers the model gives them.
//
// Built on C. Faller, "Multiple-Loudspeaker Playback of Stereo Signals",
// J. Audio Eng. Soc. 54(11), 2006 (least-squares direct and ambience
// estimates, post-scaled), with the ambient power taken as in J. Merimaa,
// M. M. Goodwin and J.-M. Jot, "Correlation-Based Ambience Extraction from
// Stereo Recordings", AES 123rd Convention, 2007 (the smaller eigenvalue).
// Two choices of ours:
//   - c is the in-phase part of the cross-spectrum, max(Re Φ_LR, 0): a bin
//     whose channels are in anti-phase shares nothing and is all ambience,
//     so wide effects and out-of-phase room sound go behind instead of
//     cancelling in the centre;
//   - before the split, c² loses the bias of its estimate: averaged over
//     the equivalent of N independent frames, a squared coherence γ² shows
//     γ² + (1 − γ²)²/N on average (the usual bias of the magnitude-squared
//     coherence), so decorrelated sound is not mistaken for a direct one
//     while a coherent source keeps all of its power. 1/N is what two
//     independent noises show after this averaging (coherenceFloor).
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace quorveil::spectral {

// The one-pole weight per hop for a time constant: 1 − exp(−hop / (τ · rate)).
float smoothingWeight(double timeConstantSeconds, int hop, double sampleRate);

// The squared coherence two independent white noises show, on average, after
// one-pole averaging with `weight` per hop of frames cut by `window` every
// `hop` samples (overlapping frames are not independent, which raises it).
float coherenceFloor(const std::vector<float>& window, int hop, float weight);

// Per-bin state and results, owned by the engine that runs it. Sized once
// when built (set-up, main thread, allocates); every call after that is for
// the audio thread and allocates nothing.
class PrimaryAmbientSplit {
public:
    explicit PrimaryAmbientSplit(int bins);

    // Smoothing for the frames that follow: the per-hop weight and the
    // coherence floor that goes with it. Between frames.
    void setSmoothing(float weight, float floor) {
        weight_ = weight;
        floor_ = floor;
    }

    // Forgets the averages: the next frame starts from silence.
    void reset();

    // One frame of complex bins of L and R (the analyser's scale), once per
    // hop. Updates the averages and fills every array below; they belong to
    // this object and hold until the next call.
    void split(const std::complex<float>* left, const std::complex<float>* right);

    // The direct signal, carrying the direct power of both channels.
    const std::complex<float>* direct() const { return direct_.data(); }
    // Each channel's ambience, with that channel's phase.
    const std::complex<float>* ambientLeft() const { return ambientLeft_.data(); }
    const std::complex<float>* ambientRight() const { return ambientRight_.data(); }
    // The averaged direct amplitude of each channel, √(Φ − σ): what the
    // placement reads, so its decisions move no faster than the averages.
    const float* directLeftLevel() const { return levelLeft_.data(); }
    const float* directRightLevel() const { return levelRight_.data(); }

    int bins() const { return static_cast<int>(powerLeft_.size()); }

private:
    float weight_ = 1.0f;
    float floor_ = 0.0f;
    // The averages: Φ_LL, Φ_RR, Re Φ_LR.
    std::vector<float> powerLeft_, powerRight_, crossReal_;
    std::vector<std::complex<float>> direct_, ambientLeft_, ambientRight_;
    std::vector<float> levelLeft_, levelRight_;
};

}  // namespace quorveil::spectral
