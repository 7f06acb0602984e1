// SPDX-License-Identifier: MIT
// Pins as data: each module lists, once, how many pins of each family it has
// and the names it announces for them, and the base class answers the
// dispatcher's count and name operations from that table.
//
// Names and counts are separate on purpose. The host asks for all input (or
// output) names at once, takes the families' lists concatenated in the order
// audio, MIDI, frequency, magnitude, and keeps the first `count` of them, the
// total pin count. A module whose only pins are spectral may therefore
// announce names on its (empty) audio family: those are the ones the host
// shows on its spectral pins. Hosts and saved sessions see exactly these
// names, so they are part of a module's face.
#pragma once

#include <cstdint>
#include <span>

namespace plogue::biduleSDK {

struct PinFamily {
    int32_t count = 0;                    // pins of this family
    std::span<const char* const> names;   // announced; none: one empty name per pin
};

struct PinTable {
    PinFamily audioIn, audioOut;
    PinFamily midiIn, midiOut;
    PinFamily frequencyIn, frequencyOut;
    PinFamily magnitudeIn, magnitudeOut;
};

}  // namespace plogue::biduleSDK
