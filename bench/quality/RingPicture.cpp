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

std::string ring(Point c) {
    std::string svg = text("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"%.1f\" fill=\"none\" "
                           "stroke=\"#bbb\"/>\n",
                           c.x, c.y, kRadius);
    for (std::size_t s = 0; s < kChannels; ++s) {
        if (std::isnan(kSpeakerAzimuth[s])) continue;
        const Point at = onRing(c, kSpeakerAzimuth[s], kRadius);
        svg += text("<rect x=\"%.1f\" y=\"%.1f\" width=\"5\" height=\"5\" fill=\"#444\"/>\n",
                    at.x - 2.5, at.y - 2.5);
    }
    return svg;
}

// The dry pans: a dot at each one's energy-vector azimuth, a ring where it
// belongs.
std::string pans(Point c, const std::vector<QualityRow>& rows) {
    std::string svg = ring(c);
    double worst = 0.0;
    for (const QualityRow& row : rows) {
        if (std::isnan(row.expectedAzimuth)) continue;
        worst = std::max(worst, std::fabs(row.vector.azimuth - row.expectedAzimuth));
        const Point want = onRing(c, row.expectedAzimuth, kRadius);
        svg += text("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"5.5\" fill=\"none\" stroke=\"#1f6fb4\" "
                    "stroke-width=\"1.2\"/>\n",
                    want.x, want.y);
        const Point got = onRing(c, row.vector.azimuth, kRadius);
        svg += text("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"3\" fill=\"#1f6fb4\"/>\n", got.x, got.y);
    }
    svg += text("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" font-size=\"10\" "
                "fill=\"#333\">off by at most %.1f deg</text>\n",
                c.x, c.y + kRadius + 22.0, worst);
    return svg;
}

// Any other source: a disc at each speaker whose area is its energy share.
std::string shares(Point c, const QualityRow& row, const char* colour) {
    std::string svg = ring(c);
    for (std::size_t s = 0; s < kChannels; ++s) {
        const double share = row.share[s] / 100.0;
        if (!(share > 0.002)) continue;
        const Point at = std::isnan(kSpeakerAzimuth[s]) ? c : onRing(c, kSpeakerAzimuth[s], kRadius);
        svg += text("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"%.1f\" fill=\"%s\" fill-opacity=\"0.75\"/>\n",
                    at.x, at.y, kLargestBlob * std::sqrt(share), colour);
    }
    svg += text("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" font-size=\"10\" "
                "fill=\"#333\">behind %.0f%%, %+.1f dB</text>\n",
                c.x, c.y + kRadius + 22.0, row.share[BL] + row.share[BR], row.powerDb);
    return svg;
}

const QualityRow* rowOf(const std::vector<QualityRow>& rows, const char* signal) {
    for (const QualityRow& row : rows) {
        if (row.signal == signal) return &row;
    }
    return nullptr;
}

}  // namespace

std::string ringPicture(const std::vector<RingPanel>& panels) {
    const struct {
        const char* signal;  // nullptr: the dry pans
        const char* title;
        const char* colour;
    } kinds[] = {{nullptr, "dry pans -1 ... +1", "#1f6fb4"},
                 {"decorrelated", "decorrelated noise", "#2a9d3f"},
                 {"L = -R", "L = -R", "#c0392b"},
                 {"dialogue", "dialogue over ambience", "#e08e0b"}};
    const double width = kLabel + kCell * static_cast<double>(panels.size());
    const double height = kHead + kCell * static_cast<double>(std::size(kinds)) + 36.0;
    std::string svg = text("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" "
                           "height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" font-family=\"sans-serif\">\n",
                           width, height, width, height);
    svg += text("<rect width=\"%.0f\" height=\"%.0f\" fill=\"white\"/>\n", width, height);
    for (std::size_t p = 0; p < panels.size(); ++p) {
        svg += text("<text x=\"%.1f\" y=\"28\" text-anchor=\"middle\" font-size=\"13\" "
                    "font-weight=\"bold\">%s</text>\n",
                    kLabel + kCell * (static_cast<double>(p) + 0.5), panels[p].title.c_str());
    }
    for (std::size_t k = 0; k < std::size(kinds); ++k) {
        const double top = kHead + kCell * static_cast<double>(k);
        svg += text("<text x=\"8\" y=\"%.1f\" font-size=\"11\" fill=\"%s\">%s</text>\n",
                    top + kCell / 2.0, kinds[k].colour, kinds[k].title);
        for (std::size_t p = 0; p < panels.size(); ++p) {
            const Point centre{kLabel + kCell * (static_cast<double>(p) + 0.5), top + kCell / 2.0 - 8.0};
            if (kinds[k].signal == nullptr) {
                svg += pans(centre, panels[p].rows);
            } else if (const QualityRow* row = rowOf(panels[p].rows, kinds[k].signal)) {
                svg += shares(centre, *row, kinds[k].colour);
            }
        }
    }
    svg += text("<text x=\"8\" y=\"%.1f\" font-size=\"10\" fill=\"#555\">Front at the top: FL "
                "-30, FR +30, BL -110, BR +110 degrees. Pans: dot where the energy vector points, "
                "ring where the source belongs.</text>\n",
                height - 24.0);
    svg += text("<text x=\"8\" y=\"%.1f\" font-size=\"10\" fill=\"#555\">Other sources: disc "
                "area = share of the energy in each speaker (LFE in the middle); below, the share "
                "behind and the output/input power.</text>\n",
                height - 10.0);
    svg += "</svg>\n";
    return svg;
}

}  // namespace quorveil::quality
