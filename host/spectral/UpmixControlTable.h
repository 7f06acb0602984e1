// SPDX-License-Identifier: GPL-3.0-or-later
// The upmix's controls as data: the methods, and one entry per level-like
// control, from which the engine checks and clamps and the command line
// declares its options (a real-time plug-in would declare its ports from the
// same rows), so names, ranges, units and defaults cannot drift apart. The
// defaults are those of UpmixControls itself. ATF is a plain switch.
#pragma once

#include <span>
#include <string>

#include "host/spectral/DirectPlacement.h"
#include "host/spectral/SpeakerMix.h"

namespace quorveil::spectral {

// What may change while the engine runs.
struct UpmixControls {
    UpmixMethod method = UpmixMethod::Slice;
    bool atf = false;           // ATF4_6 after the placement
    double width = 1.0;         // front image: 1 spans FL-FC-FR, 0 puts it all in FC
    double centreDb = 0.0;      // level of FC
    double ambienceDb = 0.0;    // level of the ambience (mostly behind)
    // The surrounds come this much later. 0 by default: the ambience leaves
    // front and surround speakers as one signal, so any delay combs a
    // stereo fold-down.
    double rearDelayMs = 0.0;
    double smoothMs = 100.0;    // steady-state time constant of the per-bin averages
    double lfeCutoffHz = 0.0;   // 0: a silent LFE
    LfeMode lfeMode = LfeMode::Copy;
    double gainDb = 0.0;        // output level, before the limiter and Clip4_6
    bool limiter = true;        // the output's peak limiter
};

struct UpmixMethodEntry {
    UpmixMethod method;
    const char* name;    // "slice": the value of --method
    const char* module;  // "Slice4_6": the module that places the direct sound
    const char* character;  // what it sounds like and when to pick it (--help)
};
std::span<const UpmixMethodEntry> upmixMethodTable();
// "slice", "arctan", "cc" (any letter case); throws host::HostError.
UpmixMethod parseUpmixMethod(const std::string& name);
// "copy", "crossover"; throws host::HostError.
LfeMode parseLfeMode(const std::string& name);
const char* lfeModeName(LfeMode mode);
const char* methodName(UpmixMethod method);
const char* placementModule(UpmixMethod method);

struct UpmixControlEntry {
    const char* symbol;  // "rear-delay": the option --rear-delay, a port's symbol
    const char* name;    // "Rear delay": as a plug-in host shows the control
    const char* alias;   // another spelling of the option, or null
    const char* unit;    // "dB", "ms", "Hz", or "" for a plain number
    double minimum, maximum;
    // A value outside [minimum, maximum] that is also taken, with what it
    // means; `offText` null when there is none.
    double off;
    const char* offText;
    const char* help;
    double UpmixControls::*field;

    double defaultValue() const { return UpmixControls{}.*field; }
    bool accepts(double value) const {
        return (value >= minimum && value <= maximum) || (offText != nullptr && value == off);
    }
    // The value the engine runs with: in range, the default for a NaN.
    double clamped(double value) const;
    // "--rear-delay wants 0 to 100 ms".
    std::string rangeText() const;
};

// Width, centre, ambience, rear delay, smoothing, LFE cutoff, gain.
std::span<const UpmixControlEntry> upmixControlTable();
// The entry of one control: controlEntry(&UpmixControls::rearDelayMs).
const UpmixControlEntry& controlEntry(double UpmixControls::*field);

// Empty when every control is in range (and a number); otherwise one line
// naming the first option out of range and its range.
std::string checkControls(const UpmixControls& controls);

// The same controls with every value brought into range.
UpmixControls clampedControls(const UpmixControls& controls);

}  // namespace quorveil::spectral
