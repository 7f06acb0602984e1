// SPDX-License-Identifier: GPL-3.0-or-later
// The second step of the upmix: what a frame's averages (PrimaryAmbient.h)
// say of each bin. From the recent and the slow covariances it takes how
// diffuse the bin is, the direct sound's direction, its share of the bin
// and its phase class (in phase, time-shifted, anti-phase), the ambience's
// power (followed over frames), and the direct levels the placement reads.
// It keeps that one followed power and nothing else of the past, so it can
// run on the thread that places and renders the frame, from a copy of the
// split's statistics (FrameCopy.h), while the split goes on to the next.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

#include "host/spectral/PrimaryAmbient.h"

namespace quorveil::spectral {

class BinDescription {
public:
    // [set-up; allocates] For frames of `bins` bins.
    explicit BinDescription(std::size_t bins);

    // [audio or worker thread; no allocation] Forgets the ambience's
    // followed power: the next frame starts from silence.
    void reset();

    // [audio or worker thread; no allocation] Describes one frame, frames in
    // their order (the ambience's power is followed from one to the next).
    void describe(const BinStatistics& statistics);

    // The averaged in-phase direct amplitude of each channel, what the
    // placement of the background reads.
    const float* directLeftLevel() const { return levelLeft_.data(); }
    const float* directRightLevel() const { return levelRight_.data(); }

    // The last frame's scene: this description and the frame's own arrays
    // (its events, weights and settledness), views valid until either
    // changes.
    BinScene scene(const SplitFrame& frame) const;

private:
    template <typename V>
    void describeBins(const BinStatistics& in, std::size_t k);

    std::vector<float> uL_, uR_, cosPhi_, sinPhi_, share_, ambientPower_;
    std::vector<float> front_, sides_, rear_, toCentre_;
    std::vector<float> levelLeft_, levelRight_;
    // The covariance the scene was judged from (recent and slow averages
    // blended by how diffuse the bin is).
    std::vector<float> judgedLeft_, judgedRight_;
    std::vector<std::complex<float>> judgedCross_;
};

}  // namespace quorveil::spectral
