// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/cli/LevelReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quorveil::cli {


void LevelReport::add(const float* const* channels, std::size_t frames) {
    if (out_ == nullptr) return;
    std::size_t done = 0;
    while (done < frames) {
        const std::size_t boundary = secondEnd();
        const std::size_t n = std::min(frames - done, boundary - position_);
        for (std::size_t c = 0; c < static_cast<std::size_t>(layout_.count); ++c) {
            double sum = 0.0;
            for (std::size_t i = 0; i < n; ++i) {
                const double s = channels[c][done + i];
                sum += s * s;
            }
            energy_[c] += sum;
        }
        position_ += n;
        taken_ += n;
        done += n;
        if (position_ == boundary) flush();
    }
}

void LevelReport::finish() {
    if (out_ != nullptr && taken_ > 0) flush();
}

std::size_t LevelReport::secondEnd() const {
    return static_cast<std::size_t>(std::llround(sampleRate_ * static_cast<double>(second_ + 1)));
}

void LevelReport::flush() {
    if (second_ == 0) {
        (*out_)(std::string("Level per second of output, ") + layout_.name + ", dB RMS (-inf: silence)");
        std::string header = "  second";
        for (const spectral::SpeakerPosition& speaker : layout_.positions()) {
            char cell[16];
            std::snprintf(cell, sizeof cell, "%7s", speaker.name);
            header += cell;
        }
        (*out_)(header);
    }
    char span[48];
    std::snprintf(span, sizeof span, "%zu-%zu", second_, second_ + 1);
    char line[160];
    int at = std::snprintf(line, sizeof line, "%8s", span);
    for (std::size_t c = 0; c < static_cast<std::size_t>(layout_.count); ++c) {
        const double meanSquare = energy_[c] / static_cast<double>(taken_);
        if (meanSquare > 0.0) {
            at += std::snprintf(line + at, sizeof line - static_cast<std::size_t>(at), "%7.1f",
                                10.0 * std::log10(meanSquare));
        } else {
            at += std::snprintf(line + at, sizeof line - static_cast<std::size_t>(at), "%7s",
                                "-inf");
        }
    }
    (*out_)(line);
    energy_.fill(0.0);
    taken_ = 0;
    ++second_;
}

}  // namespace quorveil::cli
