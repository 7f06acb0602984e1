// SPDX-License-Identifier: GPL-3.0-or-later
// `surround-host upmix` as a job: the stereo or mono file (or the built-in
// demo) fed through the streaming upmix engine (host/spectral/UpmixEngine.h),
// the channels of the chosen speaker layout (host/spectral/SpeakerLayout.h)
// written to a file that names its speakers, with the engine's latency
// hidden, the level report, the limiter's work and the clip count on the
// way. This is the only place the upmix meets files. Samples of the input
// that are not numbers are read as silence (the reader counts them and warns
// the observer).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/cli/LevelReport.h"
#include "host/cli/RenderJob.h"
#include "host/hosting/PluginLibrary.h"
#include "host/soundfiles/SoundFileHeaders.h"
#include "host/spectral/UpmixEngine.h"

namespace quorveil::cli {

inline constexpr const char* kDemoFileName = "upmix-demo.wav";

struct UpmixJob {
    std::string input;   // empty: the built-in demo
    // Empty: kDemoFileName for the demo, else "<input stem>-<layout>.wav"
    // ("song-7.1.wav").
    std::string output;
    std::string bits;    // "16", "24", "32f" or "" for the container's default
    std::string type;    // "wav", "flac", "aiff": the format when OUT's name does not say
    // FFT size, overlap, speaker layout, --set, --force and the controls;
    // the sample rate is the input's.
    spectral::UpmixSetup setup;
    bool report = false;
};

struct UpmixSummary {
    std::string output;
    double sampleRate = 0.0;
    std::size_t frames = 0;       // per channel, equal to the input's
    uint64_t clippedSamples = 0;  // sample positions Clip4_6 flagged
    int channels = 0;             // the layout's, file order
    std::array<float, spectral::kMostSpeakers> peak{};     // largest |sample|
    std::array<double, spectral::kMostSpeakers> energy{};  // sum of squares
    spectral::LimiterActivity limiter;
    int64_t replacedSamples = 0;  // not numbers, written as silence by the last guard
    bool monoInput = false;       // a mono file, fed to both sides (monoDestination)
    bool speakersStated = true;   // false: the file could not name its speakers
};

// The speakers of `layout` as the sound files name them, in file order.
std::vector<host::Speaker> fileSpeakers(const spectral::SpeakerLayout& layout);

// Where a mono input goes in `layout`: "FC", or "FL and FR" for a layout
// without a centre. The job feeds the sample times √½ to both sides, so the
// centred source keeps its level there.
std::string monoDestination(const spectral::SpeakerLayout& layout);

// "5.1 (FL FR FC LFE BL BR)".
std::string layoutText(const spectral::SpeakerLayout& layout);

// Runs the job with the modules of `library`. With job.report, hands each
// second's levels to `report` as it goes; `observer` hears the plan, what the
// modules tell the host, warnings and the progress. Throws host::HostError for
// anything the user can mend; the output exists only when this returns.
UpmixSummary runUpmix(const UpmixJob& job, const host::PluginLibrary& library,
                      host::RenderObserver& observer, const ReportLine& report);

}  // namespace quorveil::cli
