// The upmix's controls as data: one row per control, with the name, range,
// default and unit that the command line offers as an option, the LV2
// plug-in as a control port, and the engine clamps to. Every one of them
// reads this table, so the three cannot drift apart.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "host/spectral/UpmixEngine.h"

namespace quorveil::spectral {

enum class UpmixControlKind {
    Real,    // a number in [minimum, maximum]
    Toggle,  // 0 off, 1 on
    Choice,  // an index into choices
};

struct UpmixControlRow {
    const char* option;  // command-line option, "--width"
    const char* symbol;  // LV2 port symbol, "width"
    const char* name;    // as a host shows it, "Width"
    UpmixControlKind kind;
    double minimum, maximum;
    const char* unit;    // "", "dB", "ms", "Hz"
    const char* help;    // one sentence for --help and the plug-in's port comment
    // The control's value in a set of controls, as a number (a choice by its
    // index, a toggle as 0 or 1).
    double (*get)(const UpmixControls& controls);
    void (*set)(UpmixControls& controls, double value);

    // The value of a fresh UpmixControls.
    double defaultValue() const { return get(UpmixControls{}); }
    // The choices' names, in index order; empty for other kinds.
    std::vector<std::string> choices() const;
};

std::span<const UpmixControlRow> upmixControlTable();

}  // namespace quorveil::spectral
