// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/soundfiles/SoundFileHeaders.h"

#include <bit>
#include <cstdio>
#include <cstring>

namespace quorveil::host {

namespace {

constexpr uint32_t kOpenSize = 0xFFFFFFFFu;
constexpr uint16_t kWaveFormatPcm = 0x0001;
constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
// Core Audio: the layout is the channel bitmap that follows.
constexpr uint32_t kUseChannelBitmap = 0x10000;

uint32_t readLe(const std::string& bytes, std::size_t at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

uint64_t readLe64(const std::string& bytes, std::size_t at) {
    return static_cast<uint64_t>(readLe(bytes, at + 4, 4)) << 32 | readLe(bytes, at, 4);
}

uint32_t readBe(const std::string& bytes, std::size_t at) {
    uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

void writeLe(std::string& bytes, std::size_t at, uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i) & 0xFF);
    }
}

void writeBe(std::string& bytes, std::size_t at, uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * (3 - i)) & 0xFF);
    }
}

void appendLe(std::string& bytes, uint32_t value, int size) {
    bytes.append(static_cast<std::size_t>(size), '\0');
    writeLe(bytes, bytes.size() - static_cast<std::size_t>(size), value, size);
}

bool startsWith(const std::string& bytes, std::size_t at, const char* tag) {
    return bytes.compare(at, 4, tag) == 0;
}

// Visits the chunks of a RIFF/RF64 (little-endian sizes) or FORM
// (big-endian) file until `visit` returns true; the offset of the chunk that
// did, or npos.
template <class Visit>
std::size_t findChunk(const std::string& bytes, bool bigEndian, Visit visit) {
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const uint32_t size = bigEndian ? readBe(bytes, at + 4) : readLe(bytes, at + 4, 4);
        if (visit(at, size)) {
            return at;
        }
        const uint64_t next = at + 8 + static_cast<uint64_t>(size) + (size & 1u);
        if (next > bytes.size()) {
            break;
        }
        at = static_cast<std::size_t>(next);
    }
    return std::string::npos;
}

bool isWave(const std::string& bytes) {
    return bytes.size() >= 12 && (startsWith(bytes, 0, "RIFF") || startsWith(bytes, 0, "RF64")) &&
           startsWith(bytes, 8, "WAVE");
}

bool isAiff(const std::string& bytes) {
    return bytes.size() >= 12 && startsWith(bytes, 0, "FORM") &&
           (startsWith(bytes, 8, "AIFF") || startsWith(bytes, 8, "AIFC"));
}

int64_t declaredWaveFrames(const std::string& bytes) {
    uint32_t blockAlign = 0;
    uint16_t formatTag = 0;
    uint64_t rf64DataSize = 0;
    uint64_t dataSize = 0;
    bool found = false;
    findChunk(bytes, false, [&](std::size_t at, uint32_t size) {
        if (startsWith(bytes, at, "fmt ") && size >= 16 && at + 24 <= bytes.size()) {
            formatTag = static_cast<uint16_t>(readLe(bytes, at + 8, 2));
            blockAlign = readLe(bytes, at + 20, 2);
            if (formatTag == kWaveFormatExtensible && size >= 40 && at + 34 <= bytes.size()) {
                formatTag = static_cast<uint16_t>(readLe(bytes, at + 32, 2));  // SubFormat
            }
        } else if (startsWith(bytes, at, "ds64") && at + 24 <= bytes.size()) {
            rf64DataSize = readLe64(bytes, at + 16);
        } else if (startsWith(bytes, at, "data")) {
            dataSize = size == kOpenSize && rf64DataSize > 0 ? rf64DataSize : size;
            found = size != kOpenSize || rf64DataSize > 0;
            return true;
        }
        return false;
    });
    // PCM (1) and IEEE float (3) only: a block of any other encoding may hold
    // many frames.
    if (!found || blockAlign == 0 || (formatTag != kWaveFormatPcm && formatTag != 3)) {
        return -1;
    }
    return static_cast<int64_t>(dataSize / blockAlign);
}

int64_t declaredAiffFrames(const std::string& bytes) {
    int64_t frames = -1;
    findChunk(bytes, true, [&](std::size_t at, uint32_t size) {
        if (startsWith(bytes, at, "COMM") && size >= 18 && at + 14 <= bytes.size()) {
            frames = readBe(bytes, at + 10);
            return true;
        }
        return false;
    });
    return frames;
}

}  // namespace

uint32_t channelMask(const std::vector<Speaker>& speakers) {
    uint32_t mask = 0;
    for (Speaker speaker : speakers) {
        const auto bit = static_cast<uint32_t>(speaker);
        if (bit == 0 || bit <= mask) {
            break;  // a mask names channels in rising bit order only
        }
        mask |= bit;
    }
    return mask;
}

bool namesEveryChannel(const std::vector<Speaker>& speakers) {
    return !speakers.empty() &&
           static_cast<std::size_t>(std::popcount(channelMask(speakers))) == speakers.size();
}

Speaker speakerOfMaskBit(uint32_t bit) {
    for (Speaker speaker : {Speaker::FrontLeft, Speaker::FrontRight, Speaker::FrontCentre,
                            Speaker::LowFrequency, Speaker::BackLeft, Speaker::BackRight,
                            Speaker::SideLeft, Speaker::SideRight}) {
        if (static_cast<uint32_t>(speaker) == bit) return speaker;
    }
    return Speaker::None;
}

uint32_t flacDefaultMask(int32_t channels) {
    // Mono is its centre; 7 channels are 6.1 with a back centre.
    constexpr uint32_t kDefaults[] = {0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x70F, 0x63F};
    return channels >= 1 && channels <= 8 ? kDefaults[channels - 1] : 0;
}

int64_t declaredFrames(const std::string& headerBytes) {
    if (isWave(headerBytes)) {
        return declaredWaveFrames(headerBytes);
    }
    if (isAiff(headerBytes)) {
        return declaredAiffFrames(headerBytes);
    }
    return -1;
}

std::string streamWavHeader(int32_t channels, int32_t sampleRate, int bitsPerSample,
                            bool floatSamples, const std::vector<Speaker>& speakers,
                            int64_t frames) {
    const auto bytesPerSample = static_cast<uint32_t>(bitsPerSample / 8);
    const uint32_t blockAlign = bytesPerSample * static_cast<uint32_t>(channels);
    const bool extensible = channels > 2 || bitsPerSample != 16 || floatSamples || !speakers.empty();
    const uint32_t formatSize = extensible ? 40 : 16;
    const uint64_t dataBytes = frames < 0 ? UINT64_MAX : static_cast<uint64_t>(frames) * blockAlign;
    const uint64_t riffBytes = 4 + 8 + formatSize + 8 + dataBytes;
    const bool open = frames < 0 || riffBytes > kOpenSize - 1;

    std::string header = "RIFF";
    appendLe(header, open ? kOpenSize : static_cast<uint32_t>(riffBytes), 4);
    header += "WAVEfmt ";
    appendLe(header, formatSize, 4);
    appendLe(header, extensible ? kWaveFormatExtensible : kWaveFormatPcm, 2);
    appendLe(header, static_cast<uint32_t>(channels), 2);
    appendLe(header, static_cast<uint32_t>(sampleRate), 4);
    appendLe(header, static_cast<uint32_t>(sampleRate) * blockAlign, 4);
    appendLe(header, blockAlign, 2);
    appendLe(header, static_cast<uint32_t>(bitsPerSample), 2);
    if (extensible) {
        appendLe(header, 22, 2);  // the extension's size
        appendLe(header, static_cast<uint32_t>(bitsPerSample), 2);
        appendLe(header, channelMask(speakers), 4);
        // KSDATAFORMAT_SUBTYPE_PCM or _IEEE_FLOAT: 0000000x-0000-0010-8000-00AA00389B71.
        appendLe(header, floatSamples ? 3 : 1, 4);
        header += std::string("\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 12);
    }
    header += "data";
    appendLe(header, open ? kOpenSize : static_cast<uint32_t>(dataBytes), 4);
    return header;
}

std::string emptyFlacFile(int32_t channels, int32_t sampleRate, int bitsPerSample, uint32_t mask) {
    // STREAMINFO, 34 bytes of big-endian bit fields: block sizes (16, 16),
    // frame sizes (24, 24; 0 = unknown), rate (20), channels - 1 (3),
    // bits - 1 (5), samples (36; 0 = unknown), MD5 (128; 0 = none).
    std::string info(34, '\0');
    const uint64_t blockSize = 4096;
    uint64_t fields = static_cast<uint64_t>(sampleRate & 0xFFFFF) << 44 |
                      static_cast<uint64_t>((channels - 1) & 0x7) << 41 |
                      static_cast<uint64_t>((bitsPerSample - 1) & 0x1F) << 36;
    for (std::size_t i = 0; i < 2; ++i) {
        info[i * 2] = static_cast<char>(blockSize >> 8);
        info[i * 2 + 1] = static_cast<char>(blockSize & 0xFF);
    }
    for (std::size_t i = 0; i < 8; ++i) {
        info[10 + i] = static_cast<char>(fields >> (8 * (7 - i)) & 0xFF);
    }
    std::string comments;
    if (mask != 0) {
        char text[64];
        const int length =
            std::snprintf(text, sizeof text, "WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0x%08X", mask);
        const std::string vendor = "quorveil-surround";
        appendLe(comments, static_cast<uint32_t>(vendor.size()), 4);
        comments += vendor;
        appendLe(comments, 1, 4);
        appendLe(comments, static_cast<uint32_t>(length), 4);
        comments.append(text, static_cast<std::size_t>(length));
    }
    auto block = [](std::string& file, int type, bool last, const std::string& body) {
        file += static_cast<char>((last ? 0x80 : 0) | type);
        for (int shift = 16; shift >= 0; shift -= 8) {
            file += static_cast<char>(body.size() >> shift & 0xFF);
        }
        file += body;
    };
    std::string file = "fLaC";
    block(file, 0, comments.empty(), info);
    if (!comments.empty()) block(file, 4, true, comments);
    return file;
}

const std::string& flacMaskPlaceholder() {
    // "WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0x0000003F" is 44 characters; the
    // comment "comment=" + this is too.
    static const std::string placeholder = "quorveil-speaker-layout-follows-here";
    static_assert(sizeof("quorveil-speaker-layout-follows-here") - 1 + 8 ==
                  sizeof("WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0x0000003F") - 1);
    return placeholder;
}

bool stampWavChannelMask(std::string& headerBytes, uint32_t mask) {
    if (!isWave(headerBytes)) {
        return false;
    }
    const std::size_t at = findChunk(headerBytes, false, [&](std::size_t chunk, uint32_t) {
        return startsWith(headerBytes, chunk, "fmt ");
    });
    if (at == std::string::npos || at + 32 > headerBytes.size() ||
        readLe(headerBytes, at + 4, 4) < 40 ||
        readLe(headerBytes, at + 8, 2) != kWaveFormatExtensible) {
        return false;
    }
    writeLe(headerBytes, at + 8 + 20, mask, 4);
    return true;
}

const std::string& aiffChannelPlaceholder() {
    static const std::string placeholder = "quorveil-CHN";
    static_assert(sizeof("quorveil-CHN") - 1 == 12);
    return placeholder;
}

bool stampAiffChannelBitmap(std::string& headerBytes, uint32_t mask) {
    if (!isAiff(headerBytes)) {
        return false;
    }
    const std::string& placeholder = aiffChannelPlaceholder();
    const std::size_t at = findChunk(headerBytes, true, [&](std::size_t chunk, uint32_t size) {
        return startsWith(headerBytes, chunk, "ANNO") && size == placeholder.size() &&
               headerBytes.compare(chunk + 8, size, placeholder) == 0;
    });
    if (at == std::string::npos) {
        return false;
    }
    headerBytes.replace(at, 4, "CHAN");
    writeBe(headerBytes, at + 8, kUseChannelBitmap);
    writeBe(headerBytes, at + 12, mask);
    writeBe(headerBytes, at + 16, 0);  // no channel descriptions follow
    return true;
}

bool stampFlacChannelMask(std::string& headerBytes, uint32_t mask) {
    const std::string& placeholder = flacMaskPlaceholder();
    if (headerBytes.compare(0, 4, "fLaC") != 0) {
        return false;
    }
    const std::size_t value = headerBytes.find(placeholder);
    if (value == std::string::npos || value < 8 ||
        headerBytes.compare(value - 8, 8, "comment=") != 0) {
        return false;
    }
    char comment[64];
    std::snprintf(comment, sizeof comment, "WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0x%08X", mask);
    std::memcpy(headerBytes.data() + value - 8, comment, placeholder.size() + 8);
    return true;
}

}  // namespace quorveil::host
