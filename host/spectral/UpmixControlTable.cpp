// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/UpmixControlTable.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "host/hosting/ParameterText.h"
#include "host/hosting/PluginLibrary.h"

namespace quorveil::spectral {

namespace {

constexpr std::array kMethods{
    UpmixMethodEntry{UpmixMethod::Slice, "slice", "Slice4_6",
                     "front stage: every source where the stereo put it, on FL-FC-FR, the "
                     "ambience behind; folds back down to the stereo. For music and film"},
    UpmixMethodEntry{UpmixMethod::ArcTan, "arctan", "ArcTan4_6",
                     "wrap-around: the stereo stage spread around the listener, hard left "
                     "behind the left; for effect and ambient music, not for a faithful image"},
    UpmixMethodEntry{UpmixMethod::CC, "cc", "CC4_6",
                     "centre and surrounds: the centre holds, what only one side carries moves "
                     "out to the listener's side; for wide mixes and live recordings"},
};

const UpmixMethodEntry& methodEntry(UpmixMethod method) {
    for (const UpmixMethodEntry& entry : kMethods) {
        if (entry.method == method) return entry;
    }
    return kMethods.front();
}

constexpr std::array kControls{
    UpmixControlEntry{"width", "Width", nullptr, "", 0.0, 1.0, 0.0, nullptr,
                      "Front image: 1 spans FL-FC-FR, 0.5 keeps a quarter of a side's power at "
                      "the side, 0 puts it all in FC",
                      &UpmixControls::width},
    UpmixControlEntry{"centre", "Centre", "center", "dB", -60.0, 12.0, 0.0, nullptr,
                      "Level of the centre speaker", &UpmixControls::centreDb},
    UpmixControlEntry{"ambience", "Ambience", nullptr, "dB", -60.0, 12.0, 0.0, nullptr,
                      "Level of the ambience (what L and R do not share, mostly behind)",
                      &UpmixControls::ambienceDb},
    UpmixControlEntry{"rear-delay", "Rear delay", nullptr, "ms", 0.0, 100.0, 0.0, nullptr,
                      "Delay of the surround speakers. Any delay combs a stereo fold-down of the "
                      "file (the ambience leaves front and surrounds as one signal)",
                      &UpmixControls::rearDelayMs},
    UpmixControlEntry{"smooth", "Smoothing", nullptr, "ms", 10.0, 2000.0, 0.0, nullptr,
                      "Time constant of the per-bin averages that decide direct sound, ambience "
                      "and placement: longer is steadier, shorter follows faster",
                      &UpmixControls::smoothMs},
    UpmixControlEntry{"lfe-cutoff", "LFE cutoff", nullptr, "Hz", 20.0, 500.0, 0.0, "0 for a silent LFE",
                      "Bass to the LFE below this frequency, 10 dB down as 5.1 playback raises "
                      "the LFE by 10 dB (see --lfe-mode)",
                      &UpmixControls::lfeCutoffHz},
    UpmixControlEntry{"gain", "Gain", nullptr, "dB", -120.0, 60.0, 0.0, nullptr,
                      "Output level, before the limiter", &UpmixControls::gainDb},
};

}  // namespace

std::span<const UpmixMethodEntry> upmixMethodTable() { return kMethods; }

UpmixMethod parseUpmixMethod(const std::string& name) {
    const std::string wanted = host::foldCase(host::trimmed(name));
    std::string names;
    for (const UpmixMethodEntry& entry : kMethods) {
        if (wanted == entry.name) return entry.method;
        names += (names.empty() ? "" : ", ") + std::string(entry.name);
    }
    throw host::HostError("unknown upmix method '" + name + "' (" + names + ")");
}

const char* methodName(UpmixMethod method) { return methodEntry(method).name; }

LfeMode parseLfeMode(const std::string& name) {
    const std::string wanted = host::foldCase(host::trimmed(name));
    if (wanted == "copy") return LfeMode::Copy;
    if (wanted == "crossover") return LfeMode::Crossover;
    throw host::HostError("unknown LFE mode '" + name + "' (copy, crossover)");
}

const char* lfeModeName(LfeMode mode) { return mode == LfeMode::Crossover ? "crossover" : "copy"; }

const char* placementModule(UpmixMethod method) { return methodEntry(method).module; }

double UpmixControlEntry::clamped(double value) const {
    if (std::isnan(value)) return defaultValue();
    if (offText != nullptr && value == off) return value;
    return std::clamp(value, minimum, maximum);
}

std::string UpmixControlEntry::rangeText() const {
    char text[160];
    std::snprintf(text, sizeof text, "--%s wants %g to %g%s%s%s%s", symbol, minimum, maximum,
                  *unit != '\0' ? " " : "", unit, offText != nullptr ? " (or " : "",
                  offText != nullptr ? offText : "");
    return std::string(text) + (offText != nullptr ? ")" : "");
}

std::span<const UpmixControlEntry> upmixControlTable() { return kControls; }

const UpmixControlEntry& controlEntry(double UpmixControls::*field) {
    for (const UpmixControlEntry& entry : kControls) {
        if (entry.field == field) return entry;
    }
    return kControls.front();  // every level field has its row
}

std::string checkControls(const UpmixControls& controls) {
    for (const UpmixControlEntry& entry : kControls) {
        if (!entry.accepts(controls.*entry.field)) return entry.rangeText();
    }
    return {};
}

UpmixControls clampedControls(const UpmixControls& controls) {
    UpmixControls c = controls;
    for (const UpmixControlEntry& entry : kControls) c.*entry.field = entry.clamped(c.*entry.field);
    return c;
}

}  // namespace quorveil::spectral
