// SPDX-License-Identifier: GPL-3.0-or-later
// The few header bytes surround-host reads or writes itself, beside
// libsndfile: what an input's header declares (so a short file is noticed),
// the WAV header of a stream whose length may be unknown, and the speaker
// layout stamped into a finished file in the way each container states it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorveil::host {

// Speakers by the bit a WAVE_FORMAT_EXTENSIBLE channel mask (and a Core Audio
// channel bitmap) gives them; None for a channel that is no speaker.
enum class Speaker : uint32_t {
    None = 0,
    FrontLeft = 0x1,
    FrontRight = 0x2,
    FrontCentre = 0x4,
    LowFrequency = 0x8,
    BackLeft = 0x10,
    BackRight = 0x20,
    SideLeft = 0x200,
    SideRight = 0x400,
};

// The speaker a channel-mask bit names (0x200: SideLeft); None for a bit
// that names none of the speakers above, or for more than one bit.
Speaker speakerOfMaskBit(uint32_t bit);

// The mask a WAV file states for `speakers` in file order. A mask names the
// first channels in rising bit order, so it stops at the first channel that
// is no speaker or breaks that order; the channels after it are unassigned.
uint32_t channelMask(const std::vector<Speaker>& speakers);
// Whether the mask names every channel.
bool namesEveryChannel(const std::vector<Speaker>& speakers);
// The speakers FLAC assumes for `channels` channels when a file states none
// (the WAV order of its default layouts: 0x7 for three, 0x33 for four, 0x37
// for five, 0x3F for six, 0x63F for eight ...); 0 beyond eight.
uint32_t flacDefaultMask(int32_t channels);

// Frames the header of a WAV, RF64 or AIFF file declares for its sound data,
// read from its first bytes; -1 when the header does not say (another format,
// a length left open by a streaming writer, a compressed encoding).
int64_t declaredFrames(const std::string& headerBytes);

// A streamed WAV header: WAVE_FORMAT_EXTENSIBLE unless plain 16-bit PCM
// in one or two unnamed channels will do. `frames` < 0, or data beyond 4 GiB,
// leaves the sizes open (0xFFFFFFFF), as readers of a pipe expect.
std::string streamWavHeader(int32_t channels, int32_t sampleRate, int bitsPerSample,
                            bool floatSamples, const std::vector<Speaker>& speakers,
                            int64_t frames);

// A whole FLAC file that holds no samples: the "fLaC" marker and a
// STREAMINFO block (its length 0, "unknown", as FLAC allows), and, when
// `mask` is not 0, a VORBIS_COMMENT block stating it as
// WAVEFORMATEXTENSIBLE_CHANNEL_MASK. libsndfile writes no FLAC header until
// the first samples, so an empty render would otherwise leave 0 bytes, which
// no reader opens.
std::string emptyFlacFile(int32_t channels, int32_t sampleRate, int bitsPerSample, uint32_t mask);

// The text a FLAC writer stores as its comment to hold the place of the
// channel-mask comment stampFlacChannelMask() writes over it, letter for
// letter the same length.
const std::string& flacMaskPlaceholder();

// The annotation an AIFF writer stores to hold the place of the CHAN chunk
// stampAiffChannelBitmap() writes over it: twelve letters, so that the ANNO
// chunk is exactly as long as a CHAN chunk without channel descriptions.
const std::string& aiffChannelPlaceholder();

// Stamp the layout into the first bytes of a finished file (returned edited;
// false when the header has no place for it):
//   WAV/RF64: the channel mask of its WAVE_FORMAT_EXTENSIBLE format chunk;
//   AIFF: a CHAN chunk over the placeholder annotation, stating the layout
//         as a channel bitmap (the bits of a WAV channel mask), the Core
//         Audio way of saying "back left, back right" rather than the side
//         pair a layout tag of L R C LFE Ls Rs means to most readers, and
//         the one way to state 7.1 with its sides and backs;
//   FLAC: WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0x... over the placeholder comment.
bool stampWavChannelMask(std::string& headerBytes, uint32_t mask);
bool stampAiffChannelBitmap(std::string& headerBytes, uint32_t mask);
bool stampFlacChannelMask(std::string& headerBytes, uint32_t mask);

}  // namespace quorveil::host
