// SPDX-License-Identifier: GPL-3.0-or-later
#include <cinttypes>
#include <cmath>

#include "host/cli/CommandLine.h"

namespace quorveil::cli {

namespace {

std::string clockText(double seconds) {
    const auto whole = static_cast<int64_t>(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%" PRId64 ":%02d", whole / 60, static_cast<int>(whole % 60));
    return text;
}

}  // namespace

void Reporter::line(const std::string& text) {
    // A closed stderr (`2>&1 | head`) must never stop the render: once a line
    // fails, the rest are not tried. SIGPIPE is ignored (InterruptGuard).
    if (std::ferror(err_) != 0) {
        return;
    }
    endProgress();
    std::fprintf(err_, "surround-host: %s\n", text.c_str());
    std::fflush(err_);
}

void Reporter::error(const std::string& text) { line(text); }

void Reporter::note(const std::string& text) {
    if (verbosity_ != Verbosity::Quiet) {
        line("note: " + text);
    }
}

void Reporter::warning(const std::string& text) { line("warning: " + text); }

void Reporter::verbose(const std::string& text) {
    if (verbosity_ == Verbosity::Verbose) {
        line(text);
    }
}

namespace {

// "1000 output samples are above 0 dBFS (peak +4.1 dBFS): ..." for the
// channels that carry sound; empty when none goes beyond full scale.
std::string oversWarning(const host::RenderSummary& summary) {
    int64_t overs = 0;
    float peak = 0.0f;
    for (std::size_t c = 0; c < summary.levels.size(); ++c) {
        const bool sound = c >= summary.outputNames.size() || host::carriesSound(summary.outputNames[c]);
        if (sound) {
            overs += summary.levels[c].overs;
            peak = std::max(peak, summary.levels[c].peak);
        }
    }
    if (overs == 0) {
        return {};
    }
    char level[32];
    std::snprintf(level, sizeof level, "%+.1f dBFS", 20.0 * std::log10(static_cast<double>(peak)));
    const std::string count = std::to_string(overs) + (overs == 1 ? " output sample" : " output samples");
    const host::OutputFormat& format = summary.written;
    if (format.encoding == host::SampleEncoding::Float32) {
        return count + (overs == 1 ? " is" : " are") + " above 0 dBFS (peak " + level +
               "): 32-bit float keeps " + (overs == 1 ? "it" : "them") +
               ", but they clip when played or converted to integer samples";
    }
    const char* bits = format.encoding == host::SampleEncoding::Pcm16 ? "16-bit" : "24-bit";
    return count + " clipped at full scale (peak " + level + "): " + bits +
           " samples cannot hold " + (overs == 1 ? "it" : "them") +
           (format.container == host::Container::Flac
                ? "; use WAV or AIFF with --bits 32f to keep them"
                : "; --bits 32f keeps them");
}

// "channel 7 ('FFT Delay') carries a value, not sound: the FFT delay in
// samples; ..." for the outputs that are no speaker's sound (a delay, a
// position, an angle), which would reach a speaker as DC at any level;
// empty when every channel is sound.
std::string valueChannelsNote(const host::RenderSummary& summary) {
    std::vector<std::size_t> channels;
    std::string names, carried;
    float peak = 0.0f;
    for (std::size_t c = 0; c < summary.outputNames.size(); ++c) {
        const std::string& name = summary.outputNames[c];
        if (host::carriesSound(name)) continue;
        channels.push_back(c);
        names += (names.empty() ? "'" : ", '") + name + "'";
        const std::string what = host::valueCarriedBy(name);
        if (carried.find(what) == std::string::npos) carried += (carried.empty() ? "" : "; ") + what;
        if (c < summary.levels.size()) peak = std::max(peak, summary.levels[c].peak);
    }
    if (channels.empty()) {
        return {};
    }
    const bool one = channels.size() == 1;
    std::string text = one ? "channel " : "channels ";
    for (std::size_t i = 0; i < channels.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == channels.size() ? " and " : ", ") +
                std::to_string(channels[i] + 1);
    }
    text += " (" + names + ") " + (one ? "carries a value" : "carry values") + ", not sound: " +
            carried;
    if (peak > 1.0f) {
        if (summary.written.encoding == host::SampleEncoding::Float32) {
            char level[32];
            std::snprintf(level, sizeof level, "%+.1f dBFS", 20.0 * std::log10(static_cast<double>(peak)));
            text += std::string("; as samples ") + (one ? "it reaches " : "they reach ") + level +
                    ", keep " + (one ? "it" : "them") + " away from speakers";
        } else {
            text += std::string("; ") +
                    (summary.written.encoding == host::SampleEncoding::Pcm16 ? "16" : "24") +
                    "-bit samples hold " + (one ? "it" : "them") + " only as full scale" +
                    (summary.written.container == host::Container::Flac
                         ? "; WAV or AIFF with --bits 32f keep the values"
                         : "; --bits 32f keeps the values");
        }
    }
    return text;
}

}  // namespace

void Reporter::report(const host::RenderSummary& summary) {
    for (const host::IndicatorTally& tally : summary.indicators) {
        if (tally.lit > 0) {
            warning("clipping at " + std::to_string(tally.lit) + " sample position" +
                    (tally.lit == 1 ? "" : "s") + " (indicator '" + tally.parameter +
                    "': a sample at or above +1.0)");
        }
    }
    if (const std::string overs = oversWarning(summary); !overs.empty()) {
        warning(overs);
    }
    if (const std::string values = valueChannelsNote(summary); !values.empty()) {
        note(values);
    }
}

void Reporter::starting(host::ModuleSession& session, const std::string& plan) {
    started_ = lastDrawn_ = std::chrono::steady_clock::now();
    if (verbosity_ != Verbosity::Verbose) {
        return;
    }
    verbose(plan);
    for (const host::ParameterDescription& parameter : session.parameters()) {
        if (parameter.carriesValue() && !parameter.isIndicator()) {
            verbose("  " + parameter.label + " = " +
                    host::withUnit(session.currentValue(parameter), parameter.unit));
        }
    }
}

void Reporter::hostMessages(const std::vector<host::HostMessage>& messages) {
    for (const host::HostMessage& message : messages) {
        switch (message.kind) {
        case host::HostMessage::Kind::Value:
            verbose("module sets '" + message.parameter + "' to " + message.value);
            break;
        case host::HostMessage::Kind::Enabled:
            verbose("module turns '" + message.parameter + "' " + message.value);
            break;
        case host::HostMessage::Kind::Text:
            verbose("module says '" + message.parameter + "' " + message.value);
            break;
        }
    }
}

void Reporter::progress(int64_t done, int64_t total, int32_t sampleRate) {
    if (!terminal_ || verbosity_ == Verbosity::Quiet || std::ferror(err_) != 0) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    // Only renders that take a while get a progress line, redrawn ten times
    // a second at most.
    if (now - started_ < std::chrono::seconds(1) ||
        (drawn_ && now - lastDrawn_ < std::chrono::milliseconds(100))) {
        return;
    }
    lastDrawn_ = now;
    drawn_ = true;
    const double seconds = static_cast<double>(done) / sampleRate;
    const double elapsed = std::chrono::duration<double>(now - started_).count();
    std::string line = "rendering " + clockText(seconds);
    if (total > 0) {
        line += " of " + clockText(static_cast<double>(total) / sampleRate) + " (" +
                std::to_string(done * 100 / total) + "%)";
    }
    char speed[32];
    std::snprintf(speed, sizeof speed, ", %.0fx real time", seconds / elapsed);
    std::fprintf(err_, "\r\033[Ksurround-host: %s%s", line.c_str(), speed);
    std::fflush(err_);
}

void Reporter::endProgress() {
    if (drawn_) {
        std::fputs("\r\033[K", err_);
        std::fflush(err_);
        drawn_ = false;
    }
}

}  // namespace quorveil::cli
