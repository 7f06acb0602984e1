// SPDX-License-Identifier: GPL-3.0-or-later
// One frame as the second half of a hop needs it: what the split left of it
// (its statistics and events) and the analysers' frequencies. With a worker
// thread the caller's thread copies them here, and the worker describes,
// places and builds the frame from the copy while the caller goes on to the
// next frame (whose split overwrites the arrays the frame points into).
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/spectral/PrimaryAmbient.h"

namespace quorveil::spectral {

// What one frame's placement reads besides its description, binCount
// values each.
struct PlacementInputs {
    const float *directLeft, *directRight;  // the averaged in-phase direct amplitudes
    const float *leftHz, *rightHz;          // the frequencies the analysers measured
    // The events' amplitudes; both null when the frame has no event.
    const float *eventLeft, *eventRight;
};

class FrameCopy {
public:
    // [set-up; allocates] For frames of `bins` bins.
    explicit FrameCopy(std::size_t bins);
    // [caller's thread; no allocation] The split's frame and the analysers'
    // frequencies; the event arrays only when the frame has events.
    void copy(const SplitFrame& frame, const float* leftHz, const float* rightHz);
    // [worker thread] Views of the copies.
    SplitFrame frame() const;
    const float* leftHz() const { return hz_[0].data(); }
    const float* rightHz() const { return hz_[1].data(); }

private:
    // The statistics' float arrays (recent L and R, slow L and R, the slow
    // floor, the two scatters, shifted, weight), then settled, eventFront,
    // eventRear, eventLeftLevel and eventRightLevel; the complex ones (the
    // recent and the slow cross-spectra, then the event's four).
    std::array<std::vector<float>, 14> floats_;
    std::array<std::vector<std::complex<float>>, 6> complexes_;
    std::vector<uint8_t> event_;
    std::array<std::vector<float>, 2> hz_;
    bool hasEvents_ = false;
};

}  // namespace quorveil::spectral
