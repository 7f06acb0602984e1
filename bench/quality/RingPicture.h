// SPDX-License-Identifier: GPL-3.0-or-later
// The picture for the README: for each upmixer (columns) and kind of test
// source (rows), the speaker ring seen from above (front at the top, left on
// the left) and where the source lands: for the dry pans a dot where each
// one's energy vector points and a ring where it belongs; for the others a
// disc at each speaker whose area is its share of the energy. Each panel
// carries its own speakers, so one picture can set layouts side by side.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "bench/quality/QualityMetrics.h"

namespace quorveil::quality {

struct RingSpeaker {
    std::string name;
    double azimuth = NAN;  // degrees, negative to the left; NaN: the LFE, drawn in the middle
};

// One measured signal of a panel.
struct RingSource {
    std::string signal;           // "pan -0.5", "decorrelated", "L = -R", "dialogue"
    double expectedAzimuth = NAN; // a dry pan: where it belongs (else NaN)
    double azimuth = NAN;         // where its energy vector points
    std::vector<double> share;    // % of the energy, per speaker of the panel
    double powerDb = NAN;         // output over input
};

struct RingPanel {
    std::string title;
    std::vector<RingSpeaker> speakers;
    std::vector<RingSource> sources;
};

// A 5.1 panel (FL FR FC LFE BL BR) from the quality table's rows.
RingPanel surroundPanel(const std::string& title, const std::vector<QualityRow>& rows);

// The SVG document, panels side by side; a row for each kind of source some
// panel has. `speakerNote` names the speaker directions in the caption.
std::string ringPicture(const std::vector<RingPanel>& panels,
                        const std::string& speakerNote = "FL -30, FR +30, BL -110, BR +110 degrees");

}  // namespace quorveil::quality
