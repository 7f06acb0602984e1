// SPDX-License-Identifier: GPL-3.0-or-later
// The upmix's level report: each channel's level per second of output, in
// dB RMS, one line per second as it completes, so a user sees where the sound
// went.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>

#include "host/spectral/SpeakerMix.h"

namespace quorveil::cli {

// One line of the report, without its line feed.
using ReportLine = std::function<void(const std::string& line)>;

class LevelReport {
public:
    // `out` null: the report says nothing.
    LevelReport(const ReportLine* out, double sampleRate) : out_(out), sampleRate_(sampleRate) {}

    // The next `frames` samples of the six channels, in file order.
    void add(const float* const* channels, std::size_t frames);
    // The last, partial second.
    void finish();

private:
    std::size_t secondEnd() const;
    void flush();

    const ReportLine* out_;
    double sampleRate_;
    std::size_t position_ = 0, second_ = 0, taken_ = 0;
    std::array<double, spectral::kUpmixChannels> energy_{};
};

}  // namespace quorveil::cli
