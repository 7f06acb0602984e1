// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/cli/RenderJob.h"

namespace quorveil::host {

namespace {

Speaker speakerNamedBy(const std::string& pinName) {
    const std::string word = foldCase(trimmed(pinName).substr(0, trimmed(pinName).find(' ')));
    const struct {
        const char* name;
        Speaker speaker;
    } names[] = {{"lf", Speaker::FrontLeft},     {"rf", Speaker::FrontRight},
                 {"c", Speaker::FrontCentre},    {"lfe", Speaker::LowFrequency},
                 {"ls", Speaker::BackLeft},      {"rs", Speaker::BackRight}};
    for (const auto& row : names) {
        if (word == row.name) {
            return row.speaker;
        }
    }
    return Speaker::None;
}

}  // namespace

std::vector<Speaker> speakersNamedBy(const std::vector<std::string>& pinNames) {
    std::vector<Speaker> speakers;
    for (const std::string& name : pinNames) {
        speakers.push_back(speakerNamedBy(name));
    }
    return speakers;
}

bool carriesSound(const std::string& pinName) { return speakerNamedBy(pinName) != Speaker::None; }

std::string valueCarriedBy(const std::string& pinName) {
    // The outputs of the library's modules that are no sound.
    const struct {
        const char* name;
        const char* carries;
    } values[] = {{"fft delay", "the FFT delay in samples"},
                  {"1", "each bin's position between the sides (0 to 1)"},
                  {"2", "each bin's angle on the speaker ring in degrees"}};
    for (const auto& row : values) {
        if (foldCase(trimmed(pinName)) == row.name) return row.carries;
    }
    return "a value";
}

}  // namespace quorveil::host
