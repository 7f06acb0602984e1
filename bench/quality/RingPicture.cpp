#include "bench/quality/RingPicture.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace quorveil::quality {

namespace {

constexpr double kPanel = 230.0, kRadius = 78.0, kTop = 40.0;

struct Point {
    double x, y;
};

Point onRing(double cx, double cy, double azimuth, double distance) {
    const double a = azimuth * std::numbers::pi / 180.0;
    return {cx + distance * std::sin(a), cy - distance * std::cos(a)};
}

std::string format(const char* pattern, double a, double b, double c = 0.0) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

const char* colourOf(const std::string& signal) {
    if (signal.rfind("pan", 0) == 0) return "#1f6fb4";
    if (signal == "decorrelated") return "#2a9d3f";
    if (signal == "L = -R") return "#c0392b";
    if (signal == "dialogue") return "#e08e0b";
    return "#7f7f7f";
}

std::string labelOf(const QualityRow& row) {
    if (row.signal.rfind("pan ", 0) == 0) return row.signal.substr(4);
    if (row.signal == "decorrelated") return "dec";
    if (row.signal == "L = -R") return "L=-R";
    if (row.signal == "dialogue") return "dlg";
    return row.signal;
}

std::string panel(const RingPanel& p, double left) {
    const double cx = left + kPanel / 2.0, cy = kTop + kRadius + 24.0;
    std::string svg;
    svg += format("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" font-size=\"14\" "
                  "font-weight=\"bold\">",
                  cx, kTop - 14.0) +
           p.title + "</text>\n";
    svg += format("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"%.1f\" fill=\"none\" stroke=\"#bbb\"/>\n",
                  cx, cy, kRadius);
    svg += format("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"2\" fill=\"#bbb\"/>\n", cx, cy);
    for (std::size_t c = 0; c < kChannels; ++c) {
        if (std::isnan(kSpeakerAzimuth[c])) continue;
        const Point s = onRing(cx, cy, kSpeakerAzimuth[c], kRadius + 14.0);
        svg += format("<rect x=\"%.1f\" y=\"%.1f\" width=\"8\" height=\"8\" fill=\"#444\"/>\n",
                      s.x - 4.0, s.y - 4.0);
        const Point t = onRing(cx, cy, kSpeakerAzimuth[c], kRadius + 28.0);
        svg += format("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" font-size=\"10\" "
                      "fill=\"#444\">",
                      t.x, t.y + 3.0) +
               kChannelNames[c] + "</text>\n";
    }
    for (const QualityRow& row : p.rows) {
        const char* colour = colourOf(row.signal);
        if (!std::isnan(row.expectedAzimuth)) {
            const Point want = onRing(cx, cy, row.expectedAzimuth, kRadius);
            svg += format("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"5\" fill=\"none\" "
                          "stroke-width=\"1.5\" ",
                          want.x, want.y) +
                   "stroke=\"" + colour + "\"/>\n";
        }
        if (std::isnan(row.vector.azimuth)) continue;
        const Point at = onRing(cx, cy, row.vector.azimuth, row.vector.length * kRadius);
        svg += format("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"3.5\" ", at.x, at.y) + "fill=\"" +
               colour + "\"/>\n";
        const Point label = onRing(cx, cy, row.vector.azimuth, row.vector.length * kRadius - 13.0);
        svg += format("<text x=\"%.1f\" y=\"%.1f\" text-anchor=\"middle\" font-size=\"8.5\" ",
                      label.x, label.y + 3.0) +
               "fill=\"" + colour + "\">" + labelOf(row) + "</text>\n";
    }
    return svg;
}

}  // namespace

std::string ringPicture(const std::vector<RingPanel>& panels) {
    const double width = kPanel * static_cast<double>(panels.size());
    const double height = kTop + 2.0 * kRadius + 80.0;
    std::string svg = format("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" "
                             "height=\"%.0f\" viewBox=\"0 0 %.0f ",
                             width, height, width) +
                      format("%.0f\" font-family=\"sans-serif\">\n", height, 0.0);
    svg += format("<rect width=\"%.0f\" height=\"%.0f\" fill=\"white\"/>\n", width, height);
    for (std::size_t i = 0; i < panels.size(); ++i) {
        svg += panel(panels[i], kPanel * static_cast<double>(i));
    }
    svg += format("<text x=\"%.1f\" y=\"%.1f\" font-size=\"10\" fill=\"#555\">", 8.0,
                  height - 10.0) +
           "dots: energy vector of each test source (distance from the middle = how "
           "focused); rings: where a panned source belongs. blue: pans, green: "
           "decorrelated, red: L = -R, orange: dialogue, grey: demo</text>\n";
    svg += "</svg>\n";
    return svg;
}

}  // namespace quorveil::quality
