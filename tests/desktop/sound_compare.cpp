// SPDX-License-Identifier: GPL-3.0-or-later
// quorveil-sound-compare: whether a sound that went through a real client
// (PipeWire, FFmpeg, mpv, a codec) is the sound surround-host made.
//
//   quorveil-sound-compare TEST REFERENCE [--channels FIRST-LAST] [--offset N | --find-offset]
//                          [--frames N] [--within DB]
//
// TEST frame (offset + k) is held against REFERENCE frame k, channel by
// channel (TEST's channels FIRST to LAST, REFERENCE's all). --find-offset
// takes the first offset at which every compared sample is equal, so a
// recording that starts early is lined up with its reference. --frames N
// compares exactly N frames and fails when either file is shorter; without
// it, every REFERENCE frame TEST holds. By default every sample must be
// equal; --within DB passes when each channel's difference is at least DB
// below that channel of REFERENCE (lossy codecs).
//
// One line on standard output:
//   compared 864000 samples (6 channels x 144000 frames) at offset 2048: 0 differ
// then, with --within, one "channel C: difference -D dB" line per channel.
// Exit status 0 when the sounds agree, 1 when not, 2 for bad arguments or
// files.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Sound {
    int channels = 0;
    std::size_t frames = 0;
    std::vector<float> samples;  // interleaved
    float at(std::size_t frame, int channel) const {
        return samples[frame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)];
    }
};

Sound readSound(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) throw std::runtime_error("cannot read '" + path + "': " + sf_strerror(nullptr));
    Sound sound;
    sound.channels = info.channels;
    sound.samples.resize(static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels));
    sound.frames = static_cast<std::size_t>(sf_readf_float(file, sound.samples.data(), info.frames));
    sf_close(file);
    sound.samples.resize(sound.frames * static_cast<std::size_t>(sound.channels));
    return sound;
}

struct Options {
    std::string test, reference;
    int firstChannel = 0, lastChannel = -1;  // -1: TEST's last
    std::size_t offset = 0;
    bool findOffset = false;
    std::optional<std::size_t> frames;
    std::optional<double> withinDb;
};

std::size_t parseCount(const char* text) {
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (end == text || *end != '\0' || value < 0) {
        throw std::invalid_argument(std::string("not a count: '") + text + "'");
    }
    return static_cast<std::size_t>(value);
}

Options parseOptions(int argc, char** argv) {
    Options o;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--channels") {
            const std::string range = value();
            const std::size_t dash = range.find('-');
            o.firstChannel = static_cast<int>(parseCount(range.substr(0, dash).c_str()));
            o.lastChannel = dash == std::string::npos
                                ? o.firstChannel
                                : static_cast<int>(parseCount(range.substr(dash + 1).c_str()));
        } else if (arg == "--offset") {
            o.offset = parseCount(value());
        } else if (arg == "--find-offset") {
            o.findOffset = true;
        } else if (arg == "--frames") {
            o.frames = parseCount(value());
        } else if (arg == "--within") {
            o.withinDb = std::strtod(value(), nullptr);
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) throw std::invalid_argument("want TEST and REFERENCE");
    o.test = files[0];
    o.reference = files[1];
    return o;
}

// Frames compared at `offset`: the REFERENCE frames TEST holds, or exactly
// `wanted` when given (0 when either file is too short for that).
std::size_t comparable(const Sound& test, const Sound& reference, std::size_t offset,
                       std::optional<std::size_t> wanted) {
    const std::size_t held = test.frames > offset ? std::min(test.frames - offset, reference.frames) : 0;
    if (!wanted) return held;
    return held >= *wanted ? *wanted : 0;
}

std::size_t differing(const Sound& test, int first, const Sound& reference, std::size_t offset,
                      std::size_t frames) {
    std::size_t count = 0;
    for (std::size_t k = 0; k < frames; ++k) {
        for (int c = 0; c < reference.channels; ++c) {
            count += test.at(offset + k, first + c) != reference.at(k, c);
        }
    }
    return count;
}

// The first offset at which TEST equals REFERENCE over the compared frames:
// REFERENCE's first frame with sound must appear in TEST first.
std::optional<std::size_t> findOffset(const Sound& test, int first, const Sound& reference,
                                      std::optional<std::size_t> wanted) {
    std::size_t sounding = 0;
    auto silent = [&](std::size_t k) {
        for (int c = 0; c < reference.channels; ++c) {
            if (reference.at(k, c) != 0.0f) return false;
        }
        return true;
    };
    while (sounding < reference.frames && silent(sounding)) ++sounding;
    if (sounding == reference.frames) return std::nullopt;
    for (std::size_t offset = 0; offset + sounding < test.frames; ++offset) {
        bool candidate = true;
        for (int c = 0; c < reference.channels && candidate; ++c) {
            candidate = test.at(offset + sounding, first + c) == reference.at(sounding, c);
        }
        if (!candidate) continue;
        const std::size_t frames = comparable(test, reference, offset, wanted);
        if (frames > sounding && differing(test, first, reference, offset, frames) == 0) return offset;
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    Sound test, reference;
    try {
        o = parseOptions(argc, argv);
        test = readSound(o.test);
        reference = readSound(o.reference);
        if (o.lastChannel < 0) o.lastChannel = test.channels - 1;
        if (o.lastChannel >= test.channels || o.lastChannel - o.firstChannel + 1 != reference.channels) {
            throw std::invalid_argument("channels " + std::to_string(o.firstChannel) + "-" +
                                        std::to_string(o.lastChannel) + " of " + o.test + " (" +
                                        std::to_string(test.channels) + " channels) against " +
                                        std::to_string(reference.channels) + " of " + o.reference);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quorveil-sound-compare: %s\n", error.what());
        return 2;
    }
    if (o.findOffset) {
        const auto found = findOffset(test, o.firstChannel, reference, o.frames);
        if (!found) {
            std::printf("no offset at which %s holds %s\n", o.test.c_str(), o.reference.c_str());
            return 1;
        }
        o.offset = *found;
    }
    const std::size_t frames = comparable(test, reference, o.offset, o.frames);
    if (frames == 0) {
        std::printf("nothing to compare at offset %zu: %zu frames against %zu\n", o.offset, test.frames,
                    reference.frames);
        return 1;
    }
    const std::size_t differ = differing(test, o.firstChannel, reference, o.offset, frames);
    std::printf("compared %zu samples (%d channels x %zu frames) at offset %zu: %zu differ\n",
                frames * static_cast<std::size_t>(reference.channels), reference.channels, frames,
                o.offset, differ);
    if (!o.withinDb) return differ == 0 ? 0 : 1;
    bool agree = true;
    for (int c = 0; c < reference.channels; ++c) {
        double signal = 0.0, error = 0.0;
        for (std::size_t k = 0; k < frames; ++k) {
            const double r = reference.at(k, c), t = test.at(o.offset + k, o.firstChannel + c);
            signal += r * r;
            error += (t - r) * (t - r);
        }
        if (signal == 0.0) {
            // A silent reference channel must come out silent too.
            std::printf("channel %d: %s\n", c, error == 0.0 ? "silent in both" : "should be silent");
            agree = agree && error == 0.0;
            continue;
        }
        const double db = 10.0 * std::log10(std::max(error, 1e-30) / signal);
        std::printf("channel %d: difference %.1f dB\n", c, db);
        agree = agree && db <= -*o.withinDb;
    }
    return agree ? 0 : 1;
}
