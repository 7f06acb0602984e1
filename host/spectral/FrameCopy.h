// SPDX-License-Identifier: GPL-3.0-or-later
// One frame as the second half of a hop needs it: the split's scene, the
// levels the placement reads and the analysers' frequencies. With a worker
// thread the caller's thread copies them here, and the worker places the
// frame and builds its matrix from the copy while the caller goes on to the
// next frame (whose split overwrites the arrays the scene points into).
#pragma once

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/spectral/PrimaryAmbient.h"

namespace quorveil::spectral {

// What one frame's placement reads, binCount values each.
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
    // frequencies; the event arrays only when the split found events.
    void copy(const PrimaryAmbientSplit& split, const float* leftHz, const float* rightHz);
    // [worker thread] Views of the copies.
    BinScene scene() const;
    PlacementInputs placement() const;

private:
    // The scene's float arrays (those of the background, the frame's weight,
    // then eventFront and eventRear), its complex ones (cross, then the
    // event's four), and the placement's inputs (directLeft, directRight,
    // leftHz, rightHz, eventLeft, eventRight).
    std::array<std::vector<float>, 16> floats_;
    std::array<std::vector<std::complex<float>>, 5> complexes_;
    std::vector<uint8_t> event_;
    std::array<std::vector<float>, 6> placement_;
    bool hasEvents_ = false;
};

}  // namespace quorveil::spectral
