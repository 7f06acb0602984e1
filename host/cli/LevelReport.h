// SPDX-License-Identifier: GPL-3.0-or-later
// The upmix's level report: each channel's level per second of output, in
// dB RMS, one line per second as it completes, so a user sees where the sound
// went.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>

#include "host/spectral/SpeakerLayout.h"

namespace quorveil::cli {

// One line of the report, without its line feed.
using ReportLine = std::function<void(const std::string& line)>;

class LevelReport {
public:
    // `out` null: the report says nothing. One column per speaker of `layout`.
    LevelReport(const ReportLine* out, double sampleRate, const spectral::SpeakerLayout& layout)
        : out_(out), sampleRate_(sampleRate), layout_(layout) {}

    // The next `frames` samples of the layout's channels, in file order.
    void add(const float* const* channels, std::size_t frames);
    // The last, partial second.
    void finish();

private:
    std::size_t secondEnd() const;
    void flush();

    const ReportLine* out_;
    double sampleRate_;
    const spectral::SpeakerLayout& layout_;
    std::size_t position_ = 0, second_ = 0, taken_ = 0;
    std::array<double, spectral::kMostSpeakers> energy_{};
};

}  // namespace quorveil::cli
