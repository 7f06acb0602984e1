// SPDX-License-Identifier: GPL-3.0-or-later
// The upmixers the bench compares, each a function from a test signal to a
// 5.1 result: the engine in this process (what `surround-host upmix` runs),
// FFmpeg's `surround` filter, or any surround-host binary, through files.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "bench/quality/QualityMetrics.h"
#include "host/hosting/PluginLibrary.h"
#include "host/spectral/UpmixEngine.h"

namespace quorveil::quality {

// What a run changes from the defaults.
struct RunSettings {
    bool rearDelayZero = false;  // for the downmix
    bool lfe120 = false;         // LFE cutoff 120 Hz
};

struct Upmixer {
    std::string name;
    std::function<Surround(const TestSignal&, const RunSettings&)> run;
    // Which of the settings it knows; the others leave its result unchanged.
    bool hasRearDelay = true;
    bool hasLfeCutoff = true;
};

// The engine with `controls` (the rear delay and LFE cutoff as the run asks).
Upmixer engineUpmixer(const host::PluginLibrary& library, const std::string& name,
                      const spectral::UpmixControls& controls,
                      std::vector<host::ParameterAssignment> settings = {});

// `ffmpeg -af surround=win_size=2048:overlap=0.75`, files in `scratch`;
// its LFE is on at its own defaults (crossover 128 to 256 Hz) in every run.
// Its latency, measured once here with a click through the same command,
// is taken out: output sample i lines up with input sample i, and as many
// come out as went in.
bool ffmpegInstalled();
Upmixer ffmpegUpmixer(const std::string& scratch);

// `HOST upmix IN OUT --method METHOD ARGS`, with `--lfe-cutoff 120` in the
// LFE run; for a surround-host of any version.
Upmixer hostUpmixer(const std::string& host, const std::string& method, const std::string& args,
                    const std::string& scratch);

// Every signal through `upmixer`, measured. Each signal runs at default
// settings, again with the rear delay at 0 for the downmix and again with
// the LFE at 120 Hz for its leakage. `everywhere` false keeps the extra runs
// to the signals the targets name (downmix: dialogue and demo; LFE: the
// centred noise, dialogue and demo) and leaves NaN elsewhere: for quick tests.
std::vector<QualityRow> measureAll(const Upmixer& upmixer, const std::vector<TestSignal>& signals,
                                   bool everywhere = true);

}  // namespace quorveil::quality
