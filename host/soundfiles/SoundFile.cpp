// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/soundfiles/SoundFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "host/hosting/ParameterText.h"
#include "host/hosting/PluginLibrary.h"
#include "host/soundfiles/InterruptGuard.h"

namespace quorveil::host {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kHeaderBytes = 65536;

std::string inQuotes(const std::string& text) { return "'" + text + "'"; }

// libsndfile's message without its "Error : " or "System error : " prefix
// and its full stop.
std::string libraryMessage(SNDFILE* file) {
    std::string message = sf_strerror(file);
    for (const char* prefix : {"System error : ", "Error : "}) {
        if (message.rfind(prefix, 0) == 0) {
            message.erase(0, std::strlen(prefix));
        }
    }
    while (!message.empty() && (message.back() == '.' || message.back() == '\n')) {
        message.pop_back();
    }
    return message;
}

int bytesPerSample(SampleEncoding encoding) {
    return encoding == SampleEncoding::Pcm16 ? 2 : encoding == SampleEncoding::Pcm24 ? 3 : 4;
}

std::string seconds(int64_t frames, int32_t sampleRate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(frames) / sampleRate);
    return text;
}

// Plain WAV while the data fits RIFF's 32-bit sizes (with room for the
// header); RF64 beyond, and when the length is not known beforehand, RF64 that
// turns itself back into WAV if it stays small.
bool wantsRf64(const OutputFormat& format, int32_t channels, int64_t expectedFrames) {
    constexpr int64_t kRiffLimit = 0xFFFFFFFFLL - (1 << 16);
    return expectedFrames < 0 ||
           expectedFrames * channels * bytesPerSample(format.encoding) > kRiffLimit;
}

int majorFormat(Container container) {
    switch (container) {
    case Container::Wav:
        return SF_FORMAT_WAV;
    case Container::Flac:
        return SF_FORMAT_FLAC;
    case Container::Aiff:
        return SF_FORMAT_AIFF;
    }
    return 0;
}

int subtype(SampleEncoding encoding) {
    switch (encoding) {
    case SampleEncoding::Pcm16:
        return SF_FORMAT_PCM_16;
    case SampleEncoding::Pcm24:
        return SF_FORMAT_PCM_24;
    case SampleEncoding::Float32:
        return SF_FORMAT_FLOAT;
    }
    return 0;
}

// The path of a file this process has open for reading that is the same
// file as `target` (same device and inode, whatever the name: a symbolic
// link, ./, a hard link, stdin), except descriptor `except`.
std::optional<std::string> readerOfTheSameFile(const struct stat& target, int except) {
    DIR* folder = ::opendir("/proc/self/fd");
    if (folder == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> found;
    while (const dirent* entry = ::readdir(folder)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        struct stat open {};
        if (*end != '\0' || end == entry->d_name || fd == except || fd == ::dirfd(folder) ||
            ::fstat(static_cast<int>(fd), &open) != 0 || open.st_dev != target.st_dev ||
            open.st_ino != target.st_ino) {
            continue;
        }
        const int flags = ::fcntl(static_cast<int>(fd), F_GETFL);
        if (flags < 0 || (flags & O_ACCMODE) == O_WRONLY) {
            continue;
        }
        char path[4096];
        const std::string link = "/proc/self/fd/" + std::string(entry->d_name);
        const ssize_t length = ::readlink(link.c_str(), path, sizeof path - 1);
        found = length > 0 ? std::string(path, static_cast<std::size_t>(length)) : link;
        break;
    }
    ::closedir(folder);
    return found;
}

void refuseToOverwriteAnInput(const std::string& target, const struct stat& identity, int except) {
    if (const auto input = readerOfTheSameFile(identity, except)) {
        throw HostError("the output " + inQuotes(target) + " would overwrite the input " +
                        inQuotes(*input));
    }
}

bool writeAll(int fd, const std::string& bytes, off_t at = -1) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put =
            at < 0 ? ::write(fd, bytes.data() + done, bytes.size() - done)
                   : ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                              at + static_cast<off_t>(done));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

std::string firstBytes(int fd) {
    std::string bytes(kHeaderBytes, '\0');
    const ssize_t got = ::pread(fd, bytes.data(), bytes.size(), 0);
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
}

// Whether every |sample| is at most `limit`; NaN is not. One branch-free
// pass the compiler vectorises: the common case costs next to nothing.
bool allWithin(const float* samples, std::size_t count, float limit) {
    int outside = 0;
    for (std::size_t i = 0; i < count; ++i) {
        outside |= std::fabs(samples[i]) <= limit ? 0 : 1;
    }
    return outside == 0;
}

// A WAV header read from a pipe that leaves its length open (0xFFFFFFFF, as
// streaming writers do) gives libsndfile a length just short of 4 GiB of
// data: that is no length at all.
bool leavesItsLengthOpen(const SF_INFO& info) {
    int sampleBytes = 4;
    switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        sampleBytes = 1;
        break;
    case SF_FORMAT_PCM_16:
        sampleBytes = 2;
        break;
    case SF_FORMAT_PCM_24:
        sampleBytes = 3;
        break;
    case SF_FORMAT_DOUBLE:
        sampleBytes = 8;
        break;
    default:
        break;
    }
    const int64_t frameBytes = static_cast<int64_t>(info.channels) * sampleBytes;
    return (info.frames + 2) * frameBytes > 0xFFFFFFFFLL - 4096;
}

// The bits of an integer sample format, 0 for floats and compressed formats
// that decode to no fixed full scale.
int integerBits(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return 8;
    case SF_FORMAT_PCM_16:
        return 16;
    case SF_FORMAT_PCM_24:
        return 24;
    case SF_FORMAT_PCM_32:
        return 32;
    default:
        return 0;
    }
}

}  // namespace

bool isStandardStream(const std::string& path) { return path == "-"; }

OutputFormat outputFormatFor(const std::string& target, const std::string& bits,
                             const std::string& type) {
    OutputFormat format;
    const bool stream = isStandardStream(target);
    const std::string kind =
        type.empty() ? foldCase(fs::path(target).extension().string())
                     : std::string(".").append(foldCase(type));
    if (kind == ".wav" || kind == ".wave") {
        format.container = Container::Wav;
    } else if (kind == ".flac") {
        format.container = Container::Flac;
    } else if (kind == ".aif" || kind == ".aiff" || kind == ".aifc") {
        format.container = Container::Aiff;
    } else if (!type.empty()) {
        throw HostError("--type takes wav, flac or aiff, not " + inQuotes(type));
    } else if (stream) {
        throw HostError("writing to stdout ('-') needs --type wav, flac or aiff");
    } else {
        throw HostError("cannot tell the output format from " + inQuotes(target) +
                        ": name it .wav, .flac or .aiff");
    }
    if (stream && format.container == Container::Aiff) {
        throw HostError("AIFF cannot be streamed to stdout: its header must hold the length "
                        "before the samples (stream -t wav or -t flac, or name a file)");
    }
    if (bits.empty()) {
        format.encoding = format.container == Container::Flac ? SampleEncoding::Pcm24
                                                              : SampleEncoding::Float32;
    } else if (bits == "16") {
        format.encoding = SampleEncoding::Pcm16;
    } else if (bits == "24") {
        format.encoding = SampleEncoding::Pcm24;
    } else if (foldCase(bits) == "32f") {
        format.encoding = SampleEncoding::Float32;
    } else {
        throw HostError("--bits takes 16, 24 or 32f, not " + inQuotes(bits));
    }
    if (format.container == Container::Flac && format.encoding == SampleEncoding::Float32) {
        throw HostError("FLAC stores 16 or 24-bit samples, not 32-bit float: use --bits 16 or 24");
    }
    return format;
}

std::string formatName(const OutputFormat& format) {
    const char* container = format.container == Container::Wav    ? "WAV"
                            : format.container == Container::Flac ? "FLAC"
                                                                  : "AIFF";
    const char* encoding = format.encoding == SampleEncoding::Pcm16   ? "16-bit"
                           : format.encoding == SampleEncoding::Pcm24 ? "24-bit"
                                                                      : "32-bit float";
    return std::string(container) + ", " + encoding;
}

// --- reading ----------------------------------------------------------------

SoundFileReader::SoundFileReader(const std::string& path, WarningListener* listener)
    : path_(path), listener_(listener) {
    const bool stream = isStandardStream(path);
    int descriptor = STDIN_FILENO;
    if (stream && ::isatty(STDIN_FILENO) != 0) {
        // Rather than wait for sound typed at a terminal.
        throw HostError("the input is '-', stdin, but stdin is a terminal: redirect a file to it "
                        "(< in.wav) or pipe one in");
    }
    if (!stream) {
        std::error_code error;
        const fs::file_status status = fs::status(path, error);
        if (!fs::exists(status)) {
            throw HostError("input " + inQuotes(path) + " does not exist");
        }
        if (fs::is_directory(status)) {
            throw HostError("input " + inQuotes(path) + " is a folder, not a sound file");
        }
        descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (descriptor < 0) {
            throw HostError("cannot read input " + inQuotes(path) + ": " + std::strerror(errno));
        }
    }
    struct stat identity {};
    const bool seekable = ::fstat(descriptor, &identity) == 0 && S_ISREG(identity.st_mode);
    const std::string header = seekable ? firstBytes(descriptor) : std::string();

    SF_INFO info{};
    file_ = sf_open_fd(descriptor, SFM_READ, &info, stream ? SF_FALSE : SF_TRUE);
    if (file_ == nullptr) {
        const int code = sf_error(nullptr);
        const std::string message = libraryMessage(nullptr);
        if (stream && !seekable) {
            throw HostError("cannot read the sound on stdin (" + message +
                            "): from a pipe libsndfile reads WAV and AIFF; redirect any other "
                            "file with '<'");
        }
        if (code == SF_ERR_UNRECOGNISED_FORMAT || code == SF_ERR_MALFORMED_FILE ||
            code == SF_ERR_UNSUPPORTED_ENCODING) {
            throw HostError("input " + inQuotes(path) + " is not a sound file libsndfile can read (" +
                            message + ")");
        }
        throw HostError("cannot read input " + inQuotes(path) + ": " + message);
    }
    if (info.channels <= 0 || info.samplerate <= 0) {
        sf_close(file_);
        file_ = nullptr;
        throw HostError("input " + inQuotes(path) + " has no channels or no sample rate");
    }
    channels_ = info.channels;
    sampleRate_ = info.samplerate;
    if (const int bits = integerBits(info.format); bits > 0) {
        // libsndfile reads an integer sample as sample / 2^(bits-1): the
        // largest positive one stays just below 1.0.
        fullScaleFrom_ = static_cast<float>(1.0 - std::ldexp(1.0, 1 - bits));
        integerFormat_ = std::to_string(bits) + "-bit";
    }
    const bool known = info.frames >= 0 && info.frames < SF_COUNT_MAX;
    frames_ = known && !(!seekable && leavesItsLengthOpen(info)) ? info.frames : -1;
    // libsndfile shortens what a seekable file's header promises to what it
    // holds; the header itself still says what was promised.
    const int64_t promised = seekable ? declaredFrames(header) : -1;
    declared_ = promised >= 0 ? promised : frames_;
}

SoundFileReader::~SoundFileReader() {
    if (file_ != nullptr) {
        sf_close(file_);
    }
}

int64_t SoundFileReader::read(float* interleaved, int64_t frames) {
    if (ended_) {
        return 0;
    }
    const sf_count_t got = sf_readf_float(file_, interleaved, frames);
    if (got < frames) {
        const bool decoderError = sf_error(file_) != SF_ERR_NO_ERROR;
        if (decoderError) {
            if (declared_ >= 0 && read_ + got >= declared_) {
                throw HostError("cannot read input " + inQuotes(path_) + ": " +
                                libraryMessage(file_));
            }
            cutShortBy_ = libraryMessage(file_);
        }
        // Nothing at all from a file that should hold something: a decoder
        // that failed from the start (pages that fail their checksum, a
        // stream it cannot follow) is no empty sound.
        if (read_ + got == 0 && (decoderError || declared_ != 0)) {
            throw HostError("cannot read input " + inQuotes(path_) + ": the decoder gave no " +
                            "samples" + (declared_ > 0 ? " of the " + seconds(declared_, sampleRate_) +
                                                             " its header declares"
                                                       : "") +
                            (cutShortBy_.empty() ? "" : " (" + cutShortBy_ + ")"));
        }
        ended_ = true;
    }
    mend(interleaved, static_cast<std::size_t>(got) * static_cast<std::size_t>(channels_));
    read_ += got;
    if (ended_) {
        reachedTheEnd();
    }
    return got;
}

// What is not a number, or louder than anything a mix holds, becomes
// silence here, before anything computes with it: one NaN would otherwise
// spread over every frame it touches, and one huge sample over every bin it
// is squared in. One pass tells whether there is anything to mend.
void SoundFileReader::mend(float* interleaved, std::size_t samples) {
    if (!allWithin(interleaved, samples, kLoudestReadSample)) {
        for (std::size_t i = 0; i < samples; ++i) {
            const float sample = interleaved[i];
            if (!(std::fabs(sample) <= kLoudestReadSample)) {
                interleaved[i] = 0.0f;
                ++(std::isfinite(sample) ? tooLoud_ : nonFinite_);
            }
        }
    }
    if (fullScaleFrom_ > 0.0f && !allWithin(interleaved, samples, std::nextafter(fullScaleFrom_, 0.0f))) {
        for (std::size_t i = 0; i < samples; ++i) {
            fullScale_ += std::fabs(interleaved[i]) >= fullScaleFrom_ ? 1 : 0;
        }
    }
}

void SoundFileReader::reachedTheEnd() {
    if (listener_ == nullptr) {
        return;
    }
    if (declared_ > read_) {
        listener_->warning("input " + inQuotes(path_) + " ends after " + seconds(read_, sampleRate_) +
                           ", though its header declares " + seconds(declared_, sampleRate_) +
                           " (premature end of file" +
                           (cutShortBy_.empty() ? "" : ": " + cutShortBy_) + "): " +
                           seconds(declared_ - read_, sampleRate_) + " lost");
    } else if (!cutShortBy_.empty()) {
        listener_->warning("input " + inQuotes(path_) + ": the decoder stopped after " +
                           seconds(read_, sampleRate_) + " (" + cutShortBy_ +
                           "); whatever follows is lost");
    }
    if (nonFinite_ + tooLoud_ > 0) {
        const int64_t silenced = nonFinite_ + tooLoud_;
        const char* what = tooLoud_ == 0  ? "not numbers"
                           : nonFinite_ == 0 ? "beyond +120 dBFS"
                                             : "not numbers or beyond +120 dBFS";
        listener_->warning("input " + inQuotes(path_) + ": " + std::to_string(silenced) +
                           (silenced == 1 ? " sample that was " : " samples that were ") + what +
                           (silenced == 1 ? " was" : " were") + " read as silence");
    }
    if (fullScale_ > 0) {
        listener_->warning("input " + inQuotes(path_) + ": " + std::to_string(fullScale_) +
                           (fullScale_ == 1 ? " sample is" : " samples are") + " at " +
                           integerFormat_ + " full scale, where integer samples clip: the sound " +
                           "may have clipped before it was saved");
    }
}

// --- writing ----------------------------------------------------------------

namespace {

constexpr const char* kPartialMark = ".partial-";

// ".<name>.partial-<pid>-<serial>" in `folder`: hidden, beside its target,
// and telling which process wrote it.
std::string hiddenName(const std::string& folder, const std::string& name, const std::string& serial) {
    std::string hidden = ".";
    hidden.append(name).append(kPartialMark).append(std::to_string(::getpid()));
    hidden.append("-").append(serial);
    return (fs::path(folder) / hidden).string();
}

// Whether process `pid` still runs (as far as this process can see).
bool running(long pid) {
    if (pid <= 0 || pid > INT32_MAX) return true;  // no process id: leave the file alone
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// Removes from `folder` the hidden temporary files ".<name>.partial-<pid>-<n>"
// of writers that no longer run: a process killed outright (SIGKILL, a power
// cut) cannot remove its own. Files of running processes, this one's
// included, stay.
void removeLeftoversOfDeadWriters(const std::string& folder) {
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        const std::size_t mark = name.rfind(kPartialMark);
        if (name.empty() || name[0] != '.' || mark == std::string::npos) {
            continue;
        }
        char* end = nullptr;
        const char* digits = name.c_str() + mark + std::strlen(kPartialMark);
        const long pid = std::strtol(digits, &end, 10);
        if (end == digits || *end != '-' || running(pid)) {
            continue;
        }
        struct stat identity {};
        const std::string path = (fs::path(folder) / name).string();
        if (::lstat(path.c_str(), &identity) == 0 && S_ISREG(identity.st_mode)) {
            ::unlink(path.c_str());
        }
    }
    ::closedir(listing);
}

}  // namespace

SoundFileWriter::SoundFileWriter(const std::string& target, const OutputFormat& format,
                                 int32_t channels, int32_t sampleRate, int64_t expectedFrames)
    : target_(target), format_(format), channels_(channels), sampleRate_(sampleRate),
      stream_(isStandardStream(target)), levels_(static_cast<std::size_t>(std::max(channels, 0))) {
    if (sampleRate < 1 || sampleRate > kHighestWrittenSampleRate) {
        throw HostError("cannot write " + inQuotes(target) + " at " + std::to_string(sampleRate) +
                        " Hz: surround-host writes 1 to " +
                        std::to_string(kHighestWrittenSampleRate) + " Hz");
    }
    if (!format_.speakers.empty() && format_.speakers.size() != static_cast<std::size_t>(channels)) {
        throw HostError("cannot write " + inQuotes(target) + ": " + std::to_string(channels) +
                        " channels, but " + std::to_string(format_.speakers.size()) +
                        " speakers to name");
    }
    try {
        if (stream_) {
            openStream(STDOUT_FILENO, format_, sampleRate, expectedFrames);
        } else {
            openFile(format_, sampleRate, expectedFrames);
        }
    } catch (...) {
        discard();  // no destructor runs for a writer that was never made
        throw;
    }
}

void SoundFileWriter::openFile(const OutputFormat& format, int32_t sampleRate,
                               int64_t expectedFrames) {
    const fs::path targetPath(target_);
    fs::path folder = targetPath.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    folder_ = folder.string();
    std::error_code error;
    const fs::file_status folderStatus = fs::status(folder, error);
    if (fs::exists(folderStatus) && !fs::is_directory(folderStatus)) {
        throw HostError("cannot write " + inQuotes(target_) + ": " + inQuotes(folder.string()) +
                        " is a file, not a folder");
    }
    if (!fs::is_directory(folderStatus)) {
        throw HostError("cannot write " + inQuotes(target_) + ": folder " +
                        inQuotes(folder.string()) + " does not exist");
    }
    struct stat identity {};
    if (::stat(target_.c_str(), &identity) == 0) {
        if (S_ISDIR(identity.st_mode)) {
            throw HostError("cannot write " + inQuotes(target_) + ": it is a folder");
        }
        if (!S_ISREG(identity.st_mode)) {
            // A device or a FIFO is written into, front to back, as stdout
            // is: renaming a file over it would replace it (/dev/null).
            const int descriptor = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC);
            if (descriptor < 0) {
                throw HostError("cannot write " + inQuotes(target_) + ": " + std::strerror(errno));
            }
            ownsDescriptor_ = true;
            stream_ = true;
            openStream(descriptor, format, sampleRate, expectedFrames);
            return;
        }
        refuseToOverwriteAnInput(target_, identity, -1);
    }

    removeLeftoversOfDeadWriters(folder_);
    // Unnamed in the target's folder, so that it can be linked in on the
    // same file system; nothing to clean up if the process dies.
    // (It is linked in through /proc/self/fd, so only where that is there.)
    descriptor_ = ::access("/proc/self/fd", X_OK) == 0
                      ? ::open(folder_.c_str(), O_RDWR | O_TMPFILE | O_CLOEXEC, 0666)
                      : -1;
    if (descriptor_ >= 0) {
        unnamed_ = true;
    } else {
        descriptor_ = createTemporary(folder_, targetPath.filename().string());
    }
    ownsDescriptor_ = true;
    openWithLibrary(format, sampleRate, expectedFrames);
}

// A hidden temporary file ".<name>.partial-<pid>-<n>" in `folder`, protected
// by the interrupt guard; its descriptor.
int SoundFileWriter::createTemporary(const std::string& folder, const std::string& name) {
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ = hiddenName(folder, name, std::to_string(serial++));
        // An interrupt between creating the file and protecting it would
        // leave it behind: hold such signals until both are done.
        int descriptor = -1, openError = 0;
        {
            InterruptGuard::HeldSignals held;
            descriptor = ::open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            openError = errno;
            if (descriptor >= 0) {
                InterruptGuard::protect(temporary_);
            }
        }
        if (descriptor >= 0) {
            return descriptor;
        }
        if (openError != EEXIST) {
            temporary_.clear();
            throw HostError("cannot write " + inQuotes(target_) + ": " + std::strerror(openError));
        }
    }
    temporary_.clear();
    throw HostError("cannot write " + inQuotes(target_) + ": no free temporary name beside it");
}

void SoundFileWriter::openWithLibrary(const OutputFormat& format, int32_t sampleRate,
                                      int64_t expectedFrames) {
    SF_INFO info{};
    info.channels = channels_;
    info.samplerate = sampleRate;
    const bool rf64 =
        format.container == Container::Wav && wantsRf64(format, channels_, expectedFrames);
    // WAVE_FORMAT_EXTENSIBLE where readers expect it: more than two channels,
    // more than 16 bits, or speakers to name.
    const bool extensible =
        format.container == Container::Wav &&
        (channels_ > 2 || format.encoding != SampleEncoding::Pcm16 || !format.speakers.empty());
    info.format = (rf64         ? SF_FORMAT_RF64
                   : extensible ? SF_FORMAT_WAVEX
                                : majorFormat(format.container)) |
                  subtype(format.encoding);
    if (!sf_format_check(&info)) {
        throw HostError("cannot write " + inQuotes(target_) + ": " + formatName(format) +
                        " cannot hold " + std::to_string(channels_) + " channels at " +
                        std::to_string(sampleRate) + " Hz");
    }
    file_ = sf_open_fd(descriptor_, SFM_WRITE, &info, SF_FALSE);
    if (file_ == nullptr) {
        throw HostError("cannot write " + inQuotes(target_) + ": " + libraryMessage(nullptr));
    }
    if (rf64 && expectedFrames < 0) {
        sf_command(file_, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    }
    if (format.container == Container::Aiff && namesEveryChannel(format.speakers)) {
        // libsndfile writes a CHAN chunk for some layouts only, and as a
        // layout tag that readers take differently: an annotation of a CHAN
        // chunk's length, before the sound, holds its place (see
        // finishHeader).
        sf_set_string(file_, SF_STR_COMMENT, aiffChannelPlaceholder().c_str());
    }
    if (format.container == Container::Flac && namesEveryChannel(format.speakers) &&
        (!stream_ || seekableStream_)) {
        // libsndfile writes comments of its own keys only: one of the right
        // length holds the place of the channel mask (see finishHeader).
        sf_set_string(file_, SF_STR_COMMENT, flacMaskPlaceholder().c_str());
    }
    if (format.encoding != SampleEncoding::Float32) {
        // Saturate at full scale rather than wrap around.
        sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    }
}

void SoundFileWriter::openStream(int descriptor, const OutputFormat& format, int32_t sampleRate,
                                 int64_t expectedFrames) {
    descriptor_ = descriptor;
    struct stat identity {};
    if (descriptor == STDOUT_FILENO && ::fstat(descriptor, &identity) == 0 &&
        S_ISREG(identity.st_mode)) {
        // stdout is a file (`> out.wav`): libsndfile writes it as any file,
        // header last; only the rename is missing.
        refuseToOverwriteAnInput(target_, identity, STDOUT_FILENO);
        seekableStream_ = true;
        openWithLibrary(format, sampleRate, expectedFrames);
        return;
    }
    SF_INFO info{};
    info.channels = channels_;
    info.samplerate = sampleRate;
    if (format.container == Container::Wav) {
        // libsndfile writes no WAV into a pipe: the header is written here,
        // the samples follow as raw little-endian data.
        errno = 0;
        if (!writeAll(descriptor_,
                      streamWavHeader(channels_, sampleRate, 8 * bytesPerSample(format.encoding),
                                      format.encoding == SampleEncoding::Float32, format.speakers,
                                      expectedFrames))) {
            failed(errno, "the header did not go out");
        }
        info.format = SF_FORMAT_RAW | SF_ENDIAN_LITTLE | subtype(format.encoding);
    } else {
        info.format = majorFormat(format.container) | subtype(format.encoding);
    }
    if (!sf_format_check(&info)) {
        throw HostError("cannot write " + inQuotes(target_) + ": " + formatName(format) +
                        " cannot hold " + std::to_string(channels_) + " channels at " +
                        std::to_string(sampleRate) + " Hz");
    }
    file_ = sf_open_fd(descriptor_, SFM_WRITE, &info, SF_FALSE);
    if (file_ == nullptr) {
        throw HostError("cannot write " + inQuotes(target_) + ": " + libraryMessage(nullptr));
    }
    if (format.encoding != SampleEncoding::Float32) {
        sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    }
}

SoundFileWriter::~SoundFileWriter() {
    if (!committed_) {
        discard();
    }
}

void SoundFileWriter::discard() {
    if (file_ != nullptr) {
        sf_close(file_);
        file_ = nullptr;
    }
    if (ownsDescriptor_ && descriptor_ >= 0) {
        ::close(descriptor_);  // an unnamed file goes with its last descriptor
    }
    descriptor_ = -1;
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
        InterruptGuard::release();
    }
}

void SoundFileWriter::failed(int savedErrno, const std::string& fallback) {
    std::string why = file_ != nullptr && sf_error(file_) != SF_ERR_NO_ERROR ? libraryMessage(file_)
                      : savedErrno != 0 ? std::string(std::strerror(savedErrno))
                                        : fallback;
    throw HostError("cannot write " + inQuotes(target_) + ": " + why);
}

void SoundFileWriter::write(const float* interleaved, int64_t frames) {
    const auto channels = static_cast<std::size_t>(channels_);
    const std::size_t samples = static_cast<std::size_t>(std::max<int64_t>(frames, 0)) * channels;
    const float* clean = interleaved;
    // Most chunks hold nothing beyond full scale: one quick pass tells.
    if (!allWithin(interleaved, samples, 1.0f)) {
        // The last guard: nothing that is not a number reaches the file.
        if (!allWithin(interleaved, samples, FLT_MAX)) {
            mended_.assign(interleaved, interleaved + samples);
            for (float& sample : mended_) {
                if (!std::isfinite(sample)) {
                    sample = 0.0f;
                    ++nonFinite_;
                }
            }
            clean = mended_.data();
        }
        for (std::size_t i = 0; i < samples; ++i) {
            const float magnitude = std::fabs(clean[i]);
            if (magnitude > 1.0f) {
                ChannelLevel& level = levels_[i % channels];
                ++level.overs;
                level.peak = std::max(level.peak, magnitude);
            }
        }
    }

    errno = 0;
    const sf_count_t written = sf_writef_float(file_, clean, frames);
    if (written != frames) {
        failed(errno, "libsndfile wrote " + std::to_string(written) + " of " +
                          std::to_string(frames) + " frames");
    }
    frames_ += frames;
}

void SoundFileWriter::commit() {
    errno = 0;
    // sf_close reports a failed final flush (FLAC's last frames among them)
    // only as its result.
    sf_write_sync(file_);
    if (sf_error(file_) != SF_ERR_NO_ERROR) {
        failed(errno, "the last samples did not go out");
    }
    const int closed = sf_close(file_);
    file_ = nullptr;
    if (closed != SF_ERR_NO_ERROR) {
        throw HostError("cannot write " + inQuotes(target_) + ": " + sf_error_number(closed));
    }
    finishHeader(!stream_ || seekableStream_);
    if (!stream_) {
        putInPlace();
    }
    if (ownsDescriptor_ && ::close(descriptor_) != 0 && !stream_) {
        failed(errno, "it could not be closed");
    }
    descriptor_ = -1;
    committed_ = true;
}

// What libsndfile leaves to do once it has closed the file: the header of a
// FLAC that got no samples (libsndfile writes none before the first), and
// the speakers, stamped into the header of a file that can be rewritten.
void SoundFileWriter::finishHeader(bool seekable) {
    errno = 0;
    const uint32_t mask = channelMask(format_.speakers);
    if (format_.container == Container::Flac && frames_ == 0) {
        const std::string empty =
            emptyFlacFile(channels_, sampleRate_, 8 * bytesPerSample(format_.encoding),
                          namesEveryChannel(format_.speakers) ? mask : 0);
        if (!writeAll(descriptor_, empty, seekable ? 0 : -1)) {
            failed(errno, "its header could not be written");
        }
        return;
    }
    const bool wav = format_.container == Container::Wav;
    if (!seekable || mask == 0 || (!wav && !namesEveryChannel(format_.speakers))) {
        return;
    }
    std::string header = firstBytes(descriptor_);
    const bool stamped = wav ? stampWavChannelMask(header, mask)
                         : format_.container == Container::Aiff ? stampAiffChannelBitmap(header, mask)
                                                                : stampFlacChannelMask(header, mask);
    if (stamped && !writeAll(descriptor_, header, 0)) {
        failed(errno, "its header could not be completed");
    }
}

bool SoundFileWriter::statesItsSpeakers() const {
    // A WAV states them in the header it starts with, AIFF never goes into a
    // pipe, and a FLAC in one has no header to rewrite: its readers assume
    // FLAC's default order.
    const bool rewritable = !stream_ || seekableStream_;
    if (format_.container != Container::Flac || rewritable || !namesEveryChannel(format_.speakers)) {
        return true;
    }
    return channelMask(format_.speakers) == flacDefaultMask(channels_);
}

// The finished file takes the target's name, at once: a file written unnamed
// is first linked in under a hidden name (a link cannot replace a file) and
// renamed over the target from there.
void SoundFileWriter::putInPlace() {
    if (unnamed_) {
        const std::string self = "/proc/self/fd/" + std::to_string(descriptor_);
        static std::atomic<unsigned> serial{0};
        for (int attempt = 0; attempt < 100 && temporary_.empty(); ++attempt) {
            const std::string name = hiddenName(folder_, fs::path(target_).filename().string(),
                                                std::string("l").append(std::to_string(serial++)));
            InterruptGuard::HeldSignals held;
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                temporary_ = name;
                InterruptGuard::protect(temporary_);
            } else if (errno != EEXIST) {
                failed(errno, "it could not be given its name");
            }
        }
        if (temporary_.empty()) {
            failed(0, "no free temporary name beside it");
        }
    }
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        failed(errno, "it could not be given its name");
    }
    temporary_.clear();
    InterruptGuard::release();
}

}  // namespace quorveil::host
