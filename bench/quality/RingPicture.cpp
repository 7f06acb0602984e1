// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/quality/RingPicture.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <numbers>

namespace quorveil::quality {

namespace {

// One small ring per upmixer (columns) and kind of test source (rows).
constexpr double kCell = 150.0, kRadius = 44.0, kHead = 46.0, kLabel = 120.0;
constexpr double kLargestBlob = 16.0;  // radius of a speaker holding everything

struct Point {
    double x, y;
};

Point onRing(Point centre, double azimuth, double distance) {
    const double a = azimuth * std::numbers::pi / 180.0;
    return {centre.x + distance * std::sin(a), centre.y - distance * std::cos(a)};
}

std::string text(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string text(const char* pattern, ...) {
    char buffer[512];
    va_list arguments;
    va_start(arguments, pattern);
    std::vsnprintf(buffer, sizeof buffer, pattern, arguments);
    va_end(arguments);
    return buffer;
}

std::string ring(Point c, const std::vector<RingSpeaker>& speakers) {
    std::string svg = text("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"%.1f\" fill=\"none\" "
                           "stroke=\"#bbb\"/>\n",
                           c.x, c.y, kRadius);
    for (const RingSpeaker& speaker : speakers) {
        if (std::isnan(speaker.azimuth)) continue;
        const Point at = onRing(c, speaker.azimuth, kRadius);
        svg += text("<rect x=\"%.1f\" y=\"%.1f\" width=\"5\" height=\"5\" fill=\"#444\"/>\n",
                    at.x - 2.5, at.y - 2.5);
    }
    return svg;
}

// The dry pans: a dot at each one's energy-vector azimuth, a ring where it
// belongs.
std::string pans(Point c, const RingPanel& panel) {
    std::string svg = ring(c, panel.speakers);
    double worst = 0.0;
    for (const RingSource& row : panel.sources) {
        if (std::isnan(row.expectedAzimuth)) continue;
        worst = std::max(worst, std::fabs(row.azimuth - row.expectedAzimuth));
        const Point want = onRing(c, row.expectedAzimuth, kRadius);
        svg += text("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"5.5\" fill=\"none\" stroke=\"#1f6fb4\" "
                    "stroke-width=\"1.2\"/>\n",
                    want.x, want.y);
        const Point got = onRing(c, row.azimuth, kRadius);
        svg += text("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"3\" fill=\"#1f6fb4\"/>\n", got.x, got.y);
    }
    svg += text("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" font-size=\"10\" "
                "fill=\"#333\">off by at most %.1f deg</text>\n",
                c.x, c.y + kRadius + 22.0, worst);
    return svg;
}

// The share of `row` in the panel's speakers whose |azimuth| lies in
// (from, to]; NaN when there are none.
double shareBetween(const std::vector<RingSpeaker>& speakers, const RingSource& row, double from, double to) {
    double sum = 0.0;
    bool any = false;
    for (std::size_t s = 0; s < speakers.size() && s < row.share.size(); ++s) {
        const double a = std::fabs(speakers[s].azimuth);
        if (!(a > from && a <= to)) continue;
        sum += row.share[s];
        any = true;
    }
    return any ? sum : NAN;
}

// Any other source: a disc at each speaker whose area is its energy share;
// below, the share behind (beyond ±90°), or at the sides (±90°) and the
// backs apart where the layout has both.
std::string shares(Point c, const std::vector<RingSpeaker>& speakers, const RingSource& row,
                   const char* colour) {
    std::string svg = ring(c, speakers);
    for (std::size_t s = 0; s < speakers.size() && s < row.share.size(); ++s) {
        const double share = row.share[s] / 100.0;
        if (!(share > 0.002)) continue;
        const Point at = std::isnan(speakers[s].azimuth) ? c : onRing(c, speakers[s].azimuth, kRadius);
        svg += text("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"%.1f\" fill=\"%s\" fill-opacity=\"0.75\"/>\n",
                    at.x, at.y, kLargestBlob * std::sqrt(share), colour);
    }
    const double behind = shareBetween(speakers, row, 90.5, 180.0);
    const double sides = shareBetween(speakers, row, 89.5, 90.5);
    const std::string where = std::isnan(behind) && std::isnan(sides) ? std::string("no surrounds")
                              : std::isnan(sides) ? text("behind %.0f%%", behind)
                                                  : text("side %.0f%% back %.0f%%", sides, behind);
    svg += text("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" font-size=\"10\" "
                "fill=\"#333\">%s, %+.1f dB</text>\n",
                c.x, c.y + kRadius + 22.0, where.c_str(), row.powerDb);
    return svg;
}

const RingSource* rowOf(const RingPanel& panel, const char* signal) {
    for (const RingSource& row : panel.sources) {
        if (row.signal == signal) return &row;
    }
    return nullptr;
}

bool hasPans(const RingPanel& panel) {
    return std::any_of(panel.sources.begin(), panel.sources.end(),
                       [](const RingSource& row) { return !std::isnan(row.expectedAzimuth); });
}

}  // namespace

RingPanel surroundPanel(const std::string& title, const std::vector<QualityRow>& rows) {
    RingPanel panel{title, {}, {}};
    for (std::size_t c = 0; c < kChannels; ++c) panel.speakers.push_back({kChannelNames[c], kSpeakerAzimuth[c]});
    for (const QualityRow& row : rows) {
        panel.sources.push_back({row.signal, row.expectedAzimuth, row.vector.azimuth,
                                 std::vector<double>(row.share.begin(), row.share.end()), row.powerDb});
    }
    return panel;
}

std::string ringPicture(const std::vector<RingPanel>& panels, const std::string& speakerNote) {
    struct Kind {
        const char* signal;  // nullptr: the dry pans
        const char* title;
        const char* colour;
    };
    std::vector<Kind> kinds;
    for (const Kind& kind : {Kind{nullptr, "dry pans -1 ... +1", "#1f6fb4"},
                             Kind{"decorrelated", "decorrelated noise", "#2a9d3f"},
                             Kind{"L = -R", "L = -R", "#c0392b"},
                             Kind{"dialogue", "dialogue over ambience", "#e08e0b"}}) {
        if (std::any_of(panels.begin(), panels.end(), [&](const RingPanel& panel) {
                return kind.signal == nullptr ? hasPans(panel) : rowOf(panel, kind.signal) != nullptr;
            })) {
            kinds.push_back(kind);
        }
    }
    const double width = kLabel + kCell * static_cast<double>(panels.size());
    const double height = kHead + kCell * static_cast<double>(kinds.size()) + 36.0;
    std::string svg = text("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" "
                           "height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" font-family=\"sans-serif\">\n",
                           width, height, width, height);
    svg += text("<rect width=\"%.0f\" height=\"%.0f\" fill=\"white\"/>\n", width, height);
    for (std::size_t p = 0; p < panels.size(); ++p) {
        svg += text("<text x=\"%.1f\" y=\"28\" text-anchor=\"middle\" font-size=\"13\" "
                    "font-weight=\"bold\">%s</text>\n",
                    kLabel + kCell * (static_cast<double>(p) + 0.5), panels[p].title.c_str());
    }
    for (std::size_t k = 0; k < kinds.size(); ++k) {
        const double top = kHead + kCell * static_cast<double>(k);
        svg += text("<text x=\"8\" y=\"%.1f\" font-size=\"11\" fill=\"%s\">%s</text>\n",
                    top + kCell / 2.0, kinds[k].colour, kinds[k].title);
        for (std::size_t p = 0; p < panels.size(); ++p) {
            const Point centre{kLabel + kCell * (static_cast<double>(p) + 0.5), top + kCell / 2.0 - 8.0};
            if (kinds[k].signal == nullptr) {
                svg += pans(centre, panels[p]);
            } else if (const RingSource* row = rowOf(panels[p], kinds[k].signal)) {
                svg += shares(centre, panels[p].speakers, *row, kinds[k].colour);
            }
        }
    }
    svg += text("<text x=\"8\" y=\"%.1f\" font-size=\"10\" fill=\"#555\">Front at the top: %s. "
                "Pans: dot where the energy vector points, ring where the source belongs.</text>\n",
                height - 24.0, speakerNote.c_str());
    svg += text("<text x=\"8\" y=\"%.1f\" font-size=\"10\" fill=\"#555\">Other sources: disc "
                "area = share of the energy in each speaker (LFE in the middle); below, the share "
                "behind and the output/input power.</text>\n",
                height - 10.0);
    svg += "</svg>\n";
    return svg;
}

}  // namespace quorveil::quality
