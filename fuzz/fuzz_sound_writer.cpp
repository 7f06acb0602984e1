// SPDX-License-Identifier: GPL-3.0-or-later
// surround-host's output path: SoundFileWriter asked for any container,
// sample format, channel count, sample rate and speaker layout, handed any
// number of frames (none included) in any pieces, of any samples (NaN,
// infinite, huge), with a file already at the target or none. The oracle:
// either the writer refuses, with the target exactly as it was and nothing
// left beside it, or it commits a file that libsndfile opens with the
// channels, rate and frames written and finite samples only, and nothing
// left beside it. The files live in a folder of their own in memory
// (/dev/shm where there is one).
#include <fuzzer/FuzzedDataProvider.h>

#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/BusOracle.h"
#include "host/hosting/PluginLibrary.h"
#include "host/soundfiles/SoundFile.h"

namespace {

namespace fs = std::filesystem;
using namespace quorveil;

const fs::path& folder() {
    static const fs::path made = [] {
        const fs::path base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
        std::string pattern = (base / "fuzz-writer-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        return fs::path(pattern);
    }();
    return made;
}

std::string bytesOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

[[noreturn]] void finding(const std::string& what, const std::string& target) {
    std::fprintf(stderr, "writer oracle: %s (%s)\n", what.c_str(), target.c_str());
    std::abort();
}

// Whatever the writer did, the folder holds the target (or not) and nothing else.
void nothingBeside(const fs::path& target) {
    for (const auto& entry : fs::directory_iterator(folder())) {
        if (entry.path() != target) finding("left " + entry.path().filename().string(), target);
    }
}

// What libsndfile reads back from a committed file must be what was written.
void readsBack(const fs::path& target, int channels, int rate, int64_t frames) {
    SF_INFO info{};
    SNDFILE* file = sf_open(target.c_str(), SFM_READ, &info);
    if (file == nullptr) finding(std::string("the file does not open: ") + sf_strerror(nullptr), target);
    if (info.channels != channels || info.samplerate != rate) {
        sf_close(file);
        finding("the file says " + std::to_string(info.channels) + " channels at " +
                    std::to_string(info.samplerate) + " Hz",
                target);
    }
    std::vector<float> piece(1024 * static_cast<std::size_t>(channels));
    int64_t read = 0;
    for (sf_count_t got; (got = sf_readf_float(file, piece.data(), 1024)) > 0;) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(got * channels); ++i) {
            if (!std::isfinite(piece[i])) {
                sf_close(file);
                finding("a sample that is not a number was written", target);
            }
        }
        read += got;
    }
    sf_close(file);
    if (read != frames) {
        finding("wrote " + std::to_string(frames) + " frames, read " + std::to_string(read), target);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const char* extension = in.PickValueInArray({".wav", ".flac", ".aiff"});
    const fs::path target = folder() / (std::string("out") + extension);
    for (const auto& entry : fs::directory_iterator(folder())) fs::remove(entry.path());
    const bool existing = in.ConsumeBool();
    if (existing) std::ofstream(target, std::ios::binary) << "a file that must outlive a refusal";
    const std::string before = existing ? bytesOf(target) : std::string();

    const std::string bits = in.PickValueInArray({"", "16", "24", "32f"});
    const int channels = in.ConsumeIntegralInRange(0, 9);
    const int rate = in.ConsumeBool() ? in.PickValueInArray({8000, 44100, 48000, 96000, 192000})
                                      : in.ConsumeIntegral<int>();
    int64_t written = 0;
    try {
        host::OutputFormat format = host::outputFormatFor(target.string(), bits);
        if (in.ConsumeBool()) {
            // Speakers to state, in any order, some channels no speaker.
            for (int c = 0; c < channels; ++c) {
                format.speakers.push_back(in.PickValueInArray(
                    {host::Speaker::None, host::Speaker::FrontLeft, host::Speaker::FrontRight,
                     host::Speaker::FrontCentre, host::Speaker::LowFrequency,
                     host::Speaker::BackLeft, host::Speaker::BackRight, host::Speaker::SideLeft,
                     host::Speaker::SideRight}));
            }
        }
        const int pieces = in.ConsumeIntegralInRange(0, 3);
        std::vector<int64_t> lengths;
        for (int p = 0; p < pieces; ++p) lengths.push_back(in.ConsumeIntegralInRange<int64_t>(0, 3000));
        int64_t total = 0;
        for (int64_t length : lengths) total += length;
        const int64_t expected = in.PickValueInArray<int64_t>({-1, total, total + 1, 0});

        host::SoundFileWriter writer(target.string(), format, channels, rate, expected);
        std::vector<float> samples;
        for (int64_t length : lengths) {
            samples.resize(static_cast<std::size_t>(length) * static_cast<std::size_t>(channels));
            fuzz::fillBus(in, samples.data(), samples.size());
            writer.write(samples.data(), length);
            written += length;
        }
        writer.commit();
    } catch (const host::HostError&) {
        // A refusal, as the tool shows it: the target as it was.
        if (existing ? bytesOf(target) != before : fs::exists(target)) {
            finding("a refusal changed the target", target.string());
        }
        nothingBeside(target);
        return 0;
    }
    nothingBeside(target);
    readsBack(target, channels, rate, written);
    return 0;
}
