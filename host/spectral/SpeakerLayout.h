// SPDX-License-Identifier: GPL-3.0-or-later
// The speaker layouts the upmix writes, as one table that the mix, the
// command line's options and reports, the sound files' channel masks, the
// LV2 plug-ins' ports and the docs all read. Angles are those of ITU-R
// BS.775 and BS.2051 (degrees, negative to the left): C 0, L/R ±30,
// surrounds ±110 in 4.0 and 5.x, sides ±90 and backs ±140 in 7.1. Channel
// order is the WAV order of the layout's channel mask, which FLAC shares;
// the writer gives AIFF its own map from the same speakers.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace quorveil::spectral {

// Every speaker any layout has.
enum class SpeakerId : uint8_t { FL, FR, FC, LFE, BL, BR, SL, SR };

struct SpeakerPosition {
    SpeakerId id;
    const char* name;        // "FL": reports, PipeWire-style names
    const char* longName;    // "front left"
    double azimuth;          // degrees, negative to the left; NaN for the LFE
    uint32_t waveMask;       // its bit in a WAV channel mask
    const char* designation;  // the LV2 designation (http://lv2plug.in/ns/ext/port-groups#…)
    const char* pipewire;     // its audio.position name in PipeWire
    // Its weight in a stereo fold-down (ITU: front 1, centre and
    // surrounds 0.707 into each side they belong to, LFE left out).
    double foldLeft, foldRight;
};

inline constexpr int kMostSpeakers = 8;

struct SpeakerLayout {
    const char* name;  // "5.1": the value of --layout
    const char* description;
    int count;
    std::array<SpeakerPosition, kMostSpeakers> speakers;  // file order
    uint32_t waveMask;
    const char* lv2Group;  // the LV2 port-group class of its outputs (pg:…)

    bool has(SpeakerId id) const;
    // The channel of `id` in file order, or −1.
    int channelOf(SpeakerId id) const;
    bool hasSurrounds() const { return has(SpeakerId::BL) || has(SpeakerId::SL); }
    std::span<const SpeakerPosition> positions() const { return {speakers.data(), static_cast<std::size_t>(count)}; }
};

inline constexpr std::size_t kLayoutCount = 6;
// 3.0, 3.1, 4.0, 5.0, 5.1, 7.1, in that order.
std::span<const SpeakerLayout> speakerLayouts();
// The 5.1 layout, the default.
const SpeakerLayout& defaultLayout();
// By name ("5.1", "7.1", "quad" for 4.0, any letter case); throws
// host::HostError naming the layouts.
const SpeakerLayout& findLayout(const std::string& name);

}  // namespace quorveil::spectral
