// The picture for the README: for each upmixer, the speaker ring seen from
// above (front at the top, left on the left) and where each test source
// lands: a dot at its energy vector (direction, and length as the distance
// from the middle: 1 on the ring is one speaker, 0 all around), with a ring
// mark where a panned source belongs.
#pragma once

#include <string>
#include <vector>

#include "bench/quality/QualityMetrics.h"

namespace quorveil::quality {

struct RingPanel {
    std::string title;
    std::vector<QualityRow> rows;
};

// The SVG document, panels side by side.
std::string ringPicture(const std::vector<RingPanel>& panels);

}  // namespace quorveil::quality
