// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the surround-host tests: a scratch folder per test, sound files
// written and read with libsndfile, and surround-host run as a user runs it.
#pragma once

#include <fcntl.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/hosting/HostedInstance.h"
#include "host/hosting/PluginLibrary.h"

namespace quorveil::testing {

// A sanitized build runs the same cases on shorter sound: a memory or
// undefined-behaviour fault shows in the first half second as well as in
// the third, and the long runs that pin figures are the native build's.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif


namespace fs = std::filesystem;

class ScratchFolder {
public:
    ScratchFolder() {
        static std::atomic<int> serial{0};
        path_ = fs::temp_directory_path() /
                ("surround-host-test-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const fs::path& path() const { return path_; }

    // Every name in the folder, hidden ones included, sorted.
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(path_)) {
            found.push_back(entry.path().filename().string());
        }
        std::sort(found.begin(), found.end());
        return found;
    }

private:
    fs::path path_;
};

// Why the library beside the tools does not create the module (by class
// name), or "" when it does. Every library build serves all modules of its
// table, so a module that does not load is a broken build, never a reason to
// skip: tests that need one assert it with ASSERT_MODULE_LOADS.
inline std::string moduleLoadFailure(const std::string& className) {
    try {
        host::PluginLibrary library(QUORVEIL_LIBRARY_PATH);
        host::HostedInstance instance(library, "audio.quorveil." + className);
        return "";
    } catch (const host::HostError& error) {
        return error.what();
    }
}

#define ASSERT_MODULE_LOADS(name)                                      \
    ASSERT_EQ(::quorveil::testing::moduleLoadFailure(name), "")       \
        << (name) << " is in the module table but the library does not create it"

struct Sound {
    int channels = 0;
    int sampleRate = 0;
    std::vector<float> samples;  // interleaved
    std::size_t frames() const { return channels > 0 ? samples.size() / channels : 0; }
    float at(std::size_t frame, int channel) const {
        return samples[frame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)];
    }
};

inline void writeSound(const std::string& path, const Sound& sound,
                       int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
    SF_INFO info{};
    info.channels = sound.channels;
    info.samplerate = sound.sampleRate;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        throw std::runtime_error("cannot write test sound " + path);
    }
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const sf_count_t written =
        sf_writef_float(file, sound.samples.data(), static_cast<sf_count_t>(sound.frames()));
    sf_close(file);
    if (written != static_cast<sf_count_t>(sound.frames())) {
        throw std::runtime_error("cannot write test sound " + path + ": " + sf_strerror(nullptr));
    }
}

inline Sound readSound(const std::string& path, int* format = nullptr) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        throw std::runtime_error("cannot read rendered sound " + path);
    }
    Sound sound{info.channels, info.samplerate, {}};
    sound.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, sound.samples.data(), info.frames);
    sf_close(file);
    if (format != nullptr) {
        *format = info.format;
    }
    return sound;
}

inline std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct HostRun {
    int exitCode = -1;
    std::string out, err;
    long maxResidentKiB = 0;
};

// Runs surround-host with `args`, stdout and stderr captured.
inline HostRun runHost(const std::vector<std::string>& args) {
    ScratchFolder capture;
    const std::string outPath = capture.file("stdout"), errPath = capture.file("stderr");
    std::vector<std::string> argv{SURROUND_HOST_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv) {
        pointers.push_back(arg.data());
    }
    pointers.push_back(nullptr);

    const pid_t child = ::fork();
    if (child == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }
    HostRun run;
    int status = 0;
    struct rusage usage {};
    ::wait4(child, &status, 0, &usage);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.maxResidentKiB = usage.ru_maxrss;
    run.out = readText(outPath);
    run.err = readText(errPath);
    return run;
}

}  // namespace quorveil::testing
