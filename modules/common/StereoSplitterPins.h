// SPDX-License-Identifier: MIT
// The pins of the modules that split a stereo pair of magnitude streams
// (Slice4_6, CC4_6): two magnitude inputs L and R and one magnitude output
// per speaker, and nothing else.
//
// Hosts see names by position in the concatenated lists of all families,
// audio first, cut to the total pin count. These modules announce their
// names on the (empty) audio family as well, so those are the ones hosts
// show on the magnitude pins, and passthrough names on the MIDI and
// frequency families that never reach a host. All of it is what the modules
// have always answered, so it stays.
#pragma once

#include <cstdint>
#include <span>

#include "frame/PinTable.h"

namespace quorveil {

inline constexpr const char* kStereoInputNames[] = {"L", "R"};
inline constexpr const char* kPassthroughMidiIn[] = {"Passthrough MIDI in"};
inline constexpr const char* kPassthroughMidiOut[] = {"Passthrough MIDI out"};
inline constexpr const char* kPassthroughFrequencyIn[] = {"Passthrough frequency in"};
inline constexpr const char* kPassthroughFrequencyOut[] = {"Passthrough frequency out"};

constexpr plogue::biduleSDK::PinTable stereoSplitterPins(
    std::span<const char* const> speakerNames) {
    const auto speakers = static_cast<int32_t>(speakerNames.size());
    return {.audioIn = {0, kStereoInputNames},
            .audioOut = {0, speakerNames},
            .midiIn = {0, kPassthroughMidiIn},
            .midiOut = {0, kPassthroughMidiOut},
            .frequencyIn = {0, kPassthroughFrequencyIn},
            .frequencyOut = {0, kPassthroughFrequencyOut},
            .magnitudeIn = {2, kStereoInputNames},
            .magnitudeOut = {speakers, speakerNames}};
}

}  // namespace quorveil
