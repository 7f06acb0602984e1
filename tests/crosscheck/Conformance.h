// SPDX-License-Identifier: MIT
// The cross-check between the native library and the 32-bit Windows DLL: a
// fixed, deterministic battery that drives every module the library can
// create through the C interface and records every output value (as exact
// bits) and every host service call as text; and the comparison of two such
// records, which allows at most one unit in the last place per value (two C
// runtimes may round sine, cosine or arctangent differently).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "host/hosting/PluginLibrary.h"

namespace quorveil::host {

// The engine settings of the battery.
inline constexpr double kBatterySampleRate = 44100.0;
inline constexpr int32_t kBatteryBlockSize = 256;
inline constexpr int32_t kBatteryFftSize = 2048;
inline constexpr int32_t kBatteryOverlap = 4;
inline constexpr int32_t kBatteryFrameCount = 2;

// Runs the battery over every row of the module table (a row the library
// refuses to create is recorded as refused, which fails any comparison of the
// record) and writes the record to `out`.
// Values appear as "f" + 8 hex digits (float) or "d" + 16 (double); texts
// are quoted with every byte outside printable ASCII, the space, the quote
// and the backslash escaped as \xHH, so no token holds a space.
void runBattery(const PluginLibrary& library, std::ostream& out);

// Units in the last place between two floats or two doubles given as bits:
// 0 for equal values (+0 and -0 included); a NaN against anything but the
// same bits counts as infinitely far.
uint64_t ulpDistance32(uint32_t a, uint32_t b);
uint64_t ulpDistance64(uint64_t a, uint64_t b);

struct Comparison {
    uint64_t lines = 0;
    uint64_t values = 0;          // value tokens compared
    uint64_t differing = 0;       // values whose bits differ
    uint64_t beyondOneUlp = 0;    // of those, further apart than one ulp
    uint64_t structural = 0;      // lines or tokens that are not values and differ
    std::vector<std::string> examples;  // the first few differences, described

    bool passed() const { return beyondOneUlp == 0 && structural == 0; }
};

// Compares two battery records token by token.
Comparison compareRecords(std::istream& expected, std::istream& actual);

}  // namespace quorveil::host
