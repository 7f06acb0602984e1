// SPDX-License-Identifier: GPL-3.0-or-later
// The picture for the README: for each upmixer (columns) and kind of test
// source (rows), the speaker ring seen from above (front at the top, left on
// the left) and where the source lands: for the dry pans a dot where each
// one's energy vector points and a ring where it belongs; for the others a
// disc at each speaker whose area is its share of the energy.
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
