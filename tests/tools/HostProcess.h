// SPDX-License-Identifier: GPL-3.0-or-later
// surround-host run the ways a shell runs it: input from a file or a pipe,
// output into a pipe that may close early, a working folder, a file-size
// limit, signals inherited as ignored, and a signal sent once the render's
// temporary file exists. Complements runHost() of ToolSupport.h.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/tools/ToolSupport.h"

namespace quorveil::testing {

struct HostCall {
    std::vector<std::string> args;
    std::string workingFolder;          // empty: the test's own
    std::string stdinFile;              // redirected from a file (seekable)
    std::optional<std::string> stdinPipe;  // or these bytes through a pipe
    // stdout: captured whole, or read through a pipe of which only the first
    // `stdoutKeep` bytes are read before the pipe is closed (as `| head -c`).
    std::optional<std::size_t> stdoutKeep;
    bool stderrClosedEarly = false;     // stderr is a pipe nobody reads
    std::string stdoutFile;             // or stdout goes to this file (/dev/full)
    long fileSizeLimit = -1;            // RLIMIT_FSIZE in bytes
    std::vector<int> ignoredSignals;    // inherited as SIG_IGN, as nohup does
    // Sent once the host writes its output in `watchFolder` (a file open
    // there that has no name yet, or a hidden temporary one).
    int signalOnTemporary = 0;
    std::string watchFolder;
};

struct HostResult {
    int exitCode = -1;   // 128 + signal when a signal ended it
    std::string out, err;
};

// Whether the process has stopped: -1 while running, else the wait status.
inline int exitCodeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

inline bool holdsTemporaryFile(const std::string& folder) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (entry.path().filename().string().find(".partial-") != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Whether process `pid` has an unfinished output open in `folder`: a file
// created there without a name (O_TMPFILE, "#<inode> (deleted)" to /proc)
// or under a hidden temporary name.
inline bool writesInto(pid_t pid, const std::string& folder) {
    std::error_code error;
    const std::string prefix = fs::canonical(folder, error).string() + "/";
    for (const auto& entry :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        std::error_code unreadable;
        const std::string target = fs::read_symlink(entry.path(), unreadable).string();
        if (target.rfind(prefix, 0) == 0 &&
            (target.find(" (deleted)") != std::string::npos ||
             target.find(".partial-") != std::string::npos)) {
            return true;
        }
    }
    return false;
}

inline std::string drain(int fd) {
    std::string text;
    char buffer[65536];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

inline HostResult callHost(const HostCall& call) {
    ScratchFolder capture;
    const std::string outPath = capture.file("stdout"), errPath = capture.file("stderr");
    std::vector<std::string> argv{SURROUND_HOST_PATH};
    argv.insert(argv.end(), call.args.begin(), call.args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv) pointers.push_back(arg.data());
    pointers.push_back(nullptr);

    int inPipe[2] = {-1, -1}, outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
    if (call.stdinPipe && ::pipe(inPipe) != 0) return {};
    if (call.stdoutKeep && ::pipe(outPipe) != 0) return {};
    if (call.stderrClosedEarly && ::pipe(errPipe) != 0) return {};

    const pid_t child = ::fork();
    if (child == 0) {
        if (!call.workingFolder.empty() && ::chdir(call.workingFolder.c_str()) != 0) ::_exit(126);
        if (call.stdinPipe) {
            ::dup2(inPipe[0], 0);
            ::close(inPipe[1]);
        } else if (!call.stdinFile.empty()) {
            ::dup2(::open(call.stdinFile.c_str(), O_RDONLY), 0);
        }
        if (call.stdoutKeep) {
            ::dup2(outPipe[1], 1);
            ::close(outPipe[0]);
        } else {
            const std::string& target = call.stdoutFile.empty() ? outPath : call.stdoutFile;
            ::dup2(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        }
        if (call.stderrClosedEarly) {
            ::dup2(errPipe[1], 2);
            ::close(errPipe[0]);
        } else {
            ::dup2(::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        }
        if (call.fileSizeLimit >= 0) {
            const struct rlimit limit {static_cast<rlim_t>(call.fileSizeLimit),
                                       static_cast<rlim_t>(call.fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        // SIGQUIT and SIGABRT dump core by default: not into the test's folder.
        const struct rlimit noCore {0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        for (int signal : call.ignoredSignals) ::signal(signal, SIG_IGN);
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }

    HostResult result;
    // The parent's ends: feed stdin in a thread, so a host that stops
    // reading never blocks the test.
    std::thread feeder;
    if (call.stdinPipe) {
        ::close(inPipe[0]);
        feeder = std::thread([fd = inPipe[1], bytes = *call.stdinPipe] {
            ::signal(SIGPIPE, SIG_IGN);
            std::size_t at = 0;
            while (at < bytes.size()) {
                const ssize_t put = ::write(fd, bytes.data() + at, bytes.size() - at);
                if (put <= 0) break;
                at += static_cast<std::size_t>(put);
            }
            ::close(fd);
        });
    }
    if (call.stderrClosedEarly) {
        ::close(errPipe[1]);
        ::close(errPipe[0]);  // nobody will read what the host says
    }
    if (call.stdoutKeep) {
        ::close(outPipe[1]);
        std::size_t want = *call.stdoutKeep;
        char buffer[4096];
        while (result.out.size() < want) {
            const ssize_t got =
                ::read(outPipe[0], buffer, std::min(sizeof buffer, want - result.out.size()));
            if (got <= 0) break;
            result.out.append(buffer, static_cast<std::size_t>(got));
        }
        ::close(outPipe[0]);  // as `head` does once it has enough
    }
    if (call.signalOnTemporary != 0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!writesInto(child, call.watchFolder) &&
               std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(child, &status, WNOHANG) == child) {
                if (feeder.joinable()) feeder.join();
                result.exitCode = exitCodeOf(status);
                result.err = readText(errPath);
                return result;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ::kill(child, call.signalOnTemporary);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (feeder.joinable()) feeder.join();
    result.exitCode = exitCodeOf(status);
    if (!call.stdoutKeep && call.stdoutFile.empty()) result.out = readText(outPath);
    if (!call.stderrClosedEarly) result.err = readText(errPath);
    return result;
}

// A sound file read to its end in pieces, whatever length its header gives
// (a FLAC written into a pipe cannot state one).
inline Sound readToTheEnd(const std::string& path, int* format = nullptr) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
    }
    Sound sound{info.channels, info.samplerate, {}};
    std::vector<float> piece(4096 * static_cast<std::size_t>(info.channels));
    for (sf_count_t got; (got = sf_readf_float(file, piece.data(), 4096)) > 0;) {
        sound.samples.insert(sound.samples.end(), piece.begin(),
                             piece.begin() + got * info.channels);
    }
    sf_close(file);
    if (format != nullptr) *format = info.format;
    return sound;
}

// Every line of `text` that contains `part`.
inline std::vector<std::string> linesWith(const std::string& text, const std::string& part) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.find(part) != std::string::npos) lines.push_back(line);
    }
    return lines;
}

// The bytes of a file.
inline std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// What ffprobe says of the first audio stream: "channels=6|channel_layout=5.1".
inline std::string probeLayout(const std::string& path) {
    const std::string command =
        "ffprobe -v error -select_streams a:0 -show_entries stream=channels,channel_layout "
        "-of compact=p=0:nk=0 '" + path + "' 2>&1";
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) text += buffer;
        ::pclose(pipe);
    }
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// The channel mask of a WAVE_FORMAT_EXTENSIBLE header (RIFF or RF64); -1
// when the file has none.
inline long wavChannelMask(const std::string& bytes) {
    auto le32 = [&](std::size_t at) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
               static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
               static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
               static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
    };
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        const uint32_t size = le32(at + 4);
        if (id == "fmt ") {
            const auto tag = static_cast<unsigned char>(bytes[at + 8]) |
                             static_cast<unsigned char>(bytes[at + 9]) << 8;
            return tag == 0xFFFE && size >= 40 ? static_cast<long>(le32(at + 8 + 20)) : -1;
        }
        at += 8 + size + (size & 1);
    }
    return -1;
}

}  // namespace quorveil::testing
