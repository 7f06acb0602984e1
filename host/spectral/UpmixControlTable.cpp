#include "host/spectral/UpmixControlTable.h"

#include <array>

namespace quorveil::spectral {

namespace {

constexpr UpmixMethod kMethods[] = {UpmixMethod::Slice, UpmixMethod::ArcTan, UpmixMethod::CC};

// A row for a real-valued member of UpmixControls.
template <double UpmixControls::*Member>
constexpr UpmixControlRow realRow(const char* option, const char* symbol, const char* name,
                                  double minimum, double maximum, const char* unit,
                                  const char* help) {
    return {option,
            symbol,
            name,
            UpmixControlKind::Real,
            minimum,
            maximum,
            unit,
            help,
            [](const UpmixControls& c) { return c.*Member; },
            [](UpmixControls& c, double value) { c.*Member = value; }};
}

constexpr std::array kRows{
    UpmixControlRow{"--method", "method", "Method", UpmixControlKind::Choice, 0.0, 2.0, "",
                    "The module that places the direct sound: slice (Slice4_6), arctan "
                    "(ArcTan4_6) or cc (CC4_6)",
                    [](const UpmixControls& c) { return static_cast<double>(c.method); },
                    [](UpmixControls& c, double value) {
                        c.method = kMethods[value >= 1.5 ? 2 : value >= 0.5 ? 1 : 0];
                    }},
    UpmixControlRow{"--atf", "atf", "ATF stage", UpmixControlKind::Toggle, 0.0, 1.0, "",
                    "Follow the placement with ATF4_6: cross-fades the speakers by the L/R "
                    "frequency difference",
                    [](const UpmixControls& c) { return c.atf ? 1.0 : 0.0; },
                    [](UpmixControls& c, double value) { c.atf = value >= 0.5; }},
    realRow<&UpmixControls::width>("--width", "width", "Width", 0.0, kWidestImage, "",
                                   "Front image: 1 spans FL-FC-FR, 0.5 half as wide, 0 all in FC"),
    realRow<&UpmixControls::ambienceDb>(
        "--ambience", "ambience", "Ambience", kLowestLevelDb, kHighestLevelDb, "dB",
        "Level of the ambience (what L and R do not share, mostly behind)"),
    realRow<&UpmixControls::centreDb>("--centre", "centre", "Centre", kLowestLevelDb,
                                      kHighestLevelDb, "dB", "Level of the centre speaker"),
    realRow<&UpmixControls::rearDelayMs>("--rear-delay", "rear_delay", "Rear delay", 0.0,
                                         kLongestRearDelayMs, "ms", "Delay of BL and BR"),
    realRow<&UpmixControls::smoothMs>(
        "--smooth", "smoothing", "Smoothing", kShortestSmoothMs, kLongestSmoothMs, "ms",
        "Time constant of the per-bin averages that decide direct, ambience and placement: "
        "longer is steadier, shorter follows faster"),
    realRow<&UpmixControls::lfeCutoffHz>(
        "--lfe-cutoff", "lfe_cutoff", "LFE cutoff", 0.0, kHighestLfeCutoffHz, "Hz",
        "Crossover to the LFE: the LFE takes the sound below it, the mains keep the rest; "
        "0 for a silent LFE, otherwise at least 20 Hz"),
    realRow<&UpmixControls::gainDb>("--gain", "gain", "Gain", kLowestGainDb, kHighestGainDb,
                                    "dB", "Output level"),
};

}  // namespace

std::vector<std::string> UpmixControlRow::choices() const {
    std::vector<std::string> names;
    if (kind == UpmixControlKind::Choice) {
        for (UpmixMethod method : kMethods) names.emplace_back(methodName(method));
    }
    return names;
}

std::span<const UpmixControlRow> upmixControlTable() { return kRows; }

}  // namespace quorveil::spectral
