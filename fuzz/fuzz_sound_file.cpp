// SPDX-License-Identifier: GPL-3.0-or-later
// surround-host's input path: a mutated WAV, AIFF or FLAC file through the
// reader the tool opens its input with, the checks the tool makes of what
// the reader says (channels, sample rate against the spectral settings), and
// every frame read, all in this process. The bytes live in an anonymous
// in-memory file, so nothing touches the disk and nothing is spawned. A
// refusal is a HostError, as the tool shows it; anything else that escapes,
// and any sanitizer report, is a finding. The oracle, against libsndfile
// reading the same bytes on its own: the reader hands out only finite
// samples within +120 dBFS, as many frames as the decoder gives, and no
// success where the decoder failed before giving a single frame.
#include <sndfile.h>
#include <sys/mman.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/hosting/PluginLibrary.h"
#include "host/soundfiles/SoundFile.h"
#include "host/spectral/Stft.h"

namespace {

using quorveil::host::HostError;
using quorveil::host::SoundFileReader;

// Enough frames to pass through several blocks and the format's own chunks,
// few enough that a header claiming hours still ends quickly.
constexpr int64_t kMostFrames = 1 << 16;
constexpr int64_t kFramesPerRead = 512;

class MemoryFile {
public:
    MemoryFile(const uint8_t* data, std::size_t size) : fd_(memfd_create("fuzz-input", 0)) {
        for (std::size_t written = 0; fd_ >= 0 && written < size;) {
            const ssize_t n = ::write(fd_, data + written, size - written);
            if (n <= 0) break;
            written += static_cast<std::size_t>(n);
        }
    }
    ~MemoryFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    bool ok() const { return fd_ >= 0; }
    // A path the reader opens afresh, from the first byte.
    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
};

// Coverage sees this program's code, not libsndfile's, so the parser's paths
// would all look alike. What the reader made of a file (channels, rate,
// length, the kinds of samples, the library's error text) is counted here as
// coverage of its own: libFuzzer's extra counters, so that a mutation
// reaching a new outcome is kept and mutated further.
constexpr std::size_t kOutcomes = 1 << 12;
__attribute__((section("__libfuzzer_extra_counters"))) uint8_t outcomeCounters[kOutcomes];

void noteOutcome(const char* what, uint64_t value) {
    const std::size_t key = std::hash<std::string>{}(what) ^ (value * 0x9E3779B97F4A7C15ull);
    uint8_t& counter = outcomeCounters[key % kOutcomes];
    counter = static_cast<uint8_t>(counter + 1);
}

unsigned sampleKinds(const float* samples, std::size_t count) {
    unsigned kinds = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const float x = samples[i];
        kinds |= std::isnan(x) ? 1u : std::isinf(x) ? 2u : std::fabs(x) > 1.0f ? 4u
                 : x != 0.0f && !std::isnormal(x) ? 8u : 16u;
    }
    return kinds;
}

[[noreturn]] void finding(const char* what, double value) {
    std::fprintf(stderr, "reader oracle: %s (%g)\n", what, value);
    std::abort();
}

// What libsndfile itself decodes of the file, up to kMostFrames frames, and
// whether its decoder stopped on an error.
struct Decoded {
    bool opened = false;
    int64_t frames = 0;
    bool failed = false;
};

Decoded decodeDirectly(const std::string& path) {
    Decoded decoded;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr || info.channels <= 0) {
        if (file != nullptr) sf_close(file);
        return decoded;
    }
    decoded.opened = true;
    std::vector<float> piece(static_cast<std::size_t>(kFramesPerRead) * static_cast<std::size_t>(info.channels));
    while (decoded.frames < kMostFrames) {
        const sf_count_t got = sf_readf_float(file, piece.data(), kFramesPerRead);
        decoded.frames += got;
        if (got < kFramesPerRead) {
            decoded.failed = sf_error(file) != SF_ERR_NO_ERROR;
            break;
        }
    }
    sf_close(file);
    return decoded;
}

// Every frame the reader gave: finite and within the bound it promises.
void checkSamples(const float* samples, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!(std::fabs(samples[i]) <= quorveil::host::kLoudestReadSample)) {
            finding("a sample that is not a number or beyond +120 dBFS was read", samples[i]);
        }
    }
}

// Reads the whole file; the frames the reader gave.
int64_t readWholeFile(const std::string& path) {
    SoundFileReader reader(path);
    // What render and upmix check before they start.
    if (reader.channels() <= 0 || reader.sampleRate() <= 0) __builtin_trap();
    quorveil::spectral::StftSettings settings;
    settings.sampleRate = static_cast<double>(reader.sampleRate());
    noteOutcome("rate check", quorveil::spectral::checkSettings(settings).empty());
    noteOutcome("channels", static_cast<uint64_t>(reader.channels()));
    noteOutcome("rate", static_cast<uint64_t>(std::bit_width(static_cast<uint32_t>(reader.sampleRate()))));
    noteOutcome("declared length", static_cast<uint64_t>(std::bit_width(static_cast<uint64_t>(reader.frames()))));

    std::vector<float> interleaved(static_cast<std::size_t>(kFramesPerRead) *
                                   static_cast<std::size_t>(reader.channels()));
    int64_t total = 0;
    unsigned kinds = 0;
    while (total < kMostFrames) {
        const int64_t got = reader.read(interleaved.data(), kFramesPerRead);
        if (got < 0 || got > kFramesPerRead) __builtin_trap();
        if (got == 0) break;
        kinds |= sampleKinds(interleaved.data(), static_cast<std::size_t>(got * reader.channels()));
        checkSamples(interleaved.data(), static_cast<std::size_t>(got * reader.channels()));
        total += got;
    }
    noteOutcome("read length", static_cast<uint64_t>(std::bit_width(static_cast<uint64_t>(total))));
    noteOutcome("sample kinds", kinds);
    return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    MemoryFile file(data, size);
    if (!file.ok()) return 0;
    const Decoded decoded = decodeDirectly(file.path());
    try {
        const int64_t read = readWholeFile(file.path());
        if (decoded.opened && decoded.failed && decoded.frames == 0) {
            finding("the decoder gave nothing and failed, yet the file was read as empty", 0.0);
        }
        if (decoded.opened && read != decoded.frames) {
            finding("the reader gave another number of frames than the decoder",
                    static_cast<double>(read - decoded.frames));
        }
    } catch (const HostError& error) {
        // The tool's one line and exit status 2: a refusal, not a finding.
        noteOutcome(error.what(), 0);
    }
    return 0;
}
