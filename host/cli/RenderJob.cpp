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

}  // namespace quorveil::host
