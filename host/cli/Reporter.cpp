#include <cinttypes>

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

void Reporter::error(const std::string& line) {
    endProgress();
    std::fprintf(err_, "surround-host: %s\n", line.c_str());
    std::fflush(err_);
}

void Reporter::warning(const std::string& line) {
    if (verbosity_ != Verbosity::Quiet) {
        endProgress();
        std::fprintf(err_, "surround-host: warning: %s\n", line.c_str());
    }
}

void Reporter::verbose(const std::string& line) {
    if (verbosity_ == Verbosity::Verbose) {
        endProgress();
        std::fprintf(err_, "surround-host: %s\n", line.c_str());
    }
}

void Reporter::report(const host::RenderSummary& summary) {
    for (const host::IndicatorTally& tally : summary.indicators) {
        if (tally.lit > 0) {
            warning("clipping at " + std::to_string(tally.lit) + " sample position" +
                    (tally.lit == 1 ? "" : "s") + " (indicator '" + tally.parameter +
                    "': a sample at or above +1.0)");
        }
    }
    if (summary.sampleRate > 0) {
        verbose("wrote " + std::to_string(summary.frames) + " frames (" +
                clockText(static_cast<double>(summary.frames) / summary.sampleRate) + ") of " +
                std::to_string(summary.outputChannels) + " channels, " + summary.format);
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
            verbose("  " + parameter.label + " = " + session.currentValue(parameter) +
                    (parameter.unit.empty() ? "" : " " + parameter.unit));
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
    if (!terminal_ || verbosity_ == Verbosity::Quiet) {
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
