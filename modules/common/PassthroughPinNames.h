// Names the magnitude splitters (Slice4_6, CC4_6) announce on families they
// have no pins of. The host keeps only as many names as there are pins, so
// these never reach it; they are part of what the modules answer all the same.
#pragma once

namespace quorveil {

inline constexpr const char* kPassthroughMidiIn[] = {"Passthrough MIDI in"};
inline constexpr const char* kPassthroughMidiOut[] = {"Passthrough MIDI out"};
inline constexpr const char* kPassthroughFrequencyIn[] = {"Passthrough frequency in"};
inline constexpr const char* kPassthroughFrequencyOut[] = {"Passthrough frequency out"};

}  // namespace quorveil
