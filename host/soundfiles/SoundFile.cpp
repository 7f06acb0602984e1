#include "host/soundfiles/SoundFile.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "host/hosting/ParameterText.h"
#include "host/soundfiles/InterruptGuard.h"
#include "host/hosting/PluginLibrary.h"

namespace quorveil::host {

namespace fs = std::filesystem;

namespace {

std::string inQuotes(const std::string& text) { return "'" + text + "'"; }

std::string libraryMessage(SNDFILE* file) {
    std::string message = sf_strerror(file);
    while (!message.empty() && (message.back() == '.' || message.back() == '\n')) {
        message.pop_back();
    }
    return message;
}

int bytesPerSample(SampleEncoding encoding) {
    return encoding == SampleEncoding::Pcm16 ? 2 : encoding == SampleEncoding::Pcm24 ? 3 : 4;
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

}  // namespace

OutputFormat outputFormatFor(const std::string& target, const std::string& bits) {
    OutputFormat format;
    const std::string extension = foldCase(fs::path(target).extension().string());
    if (extension == ".wav" || extension == ".wave") {
        format.container = Container::Wav;
    } else if (extension == ".flac") {
        format.container = Container::Flac;
    } else if (extension == ".aif" || extension == ".aiff" || extension == ".aifc") {
        format.container = Container::Aiff;
    } else {
        throw HostError("cannot tell the output format from " + inQuotes(target) +
                        ": name it .wav, .flac or .aiff");
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

SoundFileReader::SoundFileReader(const std::string& path) : path_(path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (!fs::exists(status)) {
        throw HostError("input " + inQuotes(path) + " does not exist");
    }
    if (fs::is_directory(status)) {
        throw HostError("input " + inQuotes(path) + " is a folder, not a sound file");
    }
    SF_INFO info{};
    file_ = sf_open(path.c_str(), SFM_READ, &info);
    if (file_ == nullptr) {
        const int code = sf_error(nullptr);
        if (code == SF_ERR_UNRECOGNISED_FORMAT || code == SF_ERR_MALFORMED_FILE ||
            code == SF_ERR_UNSUPPORTED_ENCODING) {
            throw HostError("input " + inQuotes(path) + " is not a sound file libsndfile can read (" +
                            libraryMessage(nullptr) + ")");
        }
        throw HostError("cannot read input " + inQuotes(path) + ": " + libraryMessage(nullptr));
    }
    if (info.channels <= 0 || info.samplerate <= 0) {
        sf_close(file_);
        throw HostError("input " + inQuotes(path) + " has no channels or no sample rate");
    }
    channels_ = info.channels;
    sampleRate_ = info.samplerate;
    frames_ = info.frames >= 0 && info.frames < SF_COUNT_MAX ? info.frames : -1;
}

SoundFileReader::~SoundFileReader() {
    if (file_ != nullptr) {
        sf_close(file_);
    }
}

int64_t SoundFileReader::read(float* interleaved, int64_t frames) {
    const sf_count_t got = sf_readf_float(file_, interleaved, frames);
    if (got < frames && sf_error(file_) != SF_ERR_NO_ERROR) {
        throw HostError("cannot read input " + inQuotes(path_) + ": " + libraryMessage(file_));
    }
    return got;
}

// --- writing ----------------------------------------------------------------

SoundFileWriter::SoundFileWriter(const std::string& target, const OutputFormat& format,
                                 int32_t channels, int32_t sampleRate, int64_t expectedFrames)
    : target_(target) {
    const fs::path targetPath(target);
    fs::path folder = targetPath.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        throw HostError("cannot write " + inQuotes(target) + ": folder " + inQuotes(folder.string()) +
                        " does not exist");
    }
    if (fs::is_directory(targetPath, error)) {
        throw HostError("cannot write " + inQuotes(target) + ": it is a folder");
    }

    if (format.layout == ChannelLayout::Surround51 && channels != 6) {
        throw HostError("cannot write " + inQuotes(target) + " as 5.1: " +
                        std::to_string(channels) + " channels, not 6");
    }

    // Hidden, beside the target, so the final rename stays on one file system.
    static std::atomic<unsigned> serial{0};
    int descriptor = -1;
    for (int attempt = 0; attempt < 100 && descriptor < 0; ++attempt) {
        std::string name = ".";
        name.append(targetPath.filename().string());
        name.append(".partial-");
        name.append(std::to_string(::getpid()));
        name.append("-");
        name.append(std::to_string(serial++));
        temporary_ = (folder / name).string();
        // An interrupt between creating the file and protecting it would
        // leave it behind: hold such signals until both are done.
        int openError = 0;
        {
            InterruptGuard::HeldSignals held;
            descriptor = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            openError = errno;
            if (descriptor >= 0) {
                InterruptGuard::protect(temporary_);
            }
        }
        if (descriptor < 0 && openError != EEXIST) {
            throw HostError("cannot write " + inQuotes(target) + ": " + std::strerror(openError));
        }
    }
    if (descriptor < 0) {
        throw HostError("cannot write " + inQuotes(target) + ": no free temporary name beside it");
    }

    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    const bool rf64 =
        format.container == Container::Wav && wantsRf64(format, channels, expectedFrames);
    // WAVE_FORMAT_EXTENSIBLE where readers expect it: more than two channels,
    // more than 16 bits, or speakers to name.
    const bool surround = format.layout == ChannelLayout::Surround51;
    const bool extensible = format.container == Container::Wav &&
                            (channels > 2 || format.encoding != SampleEncoding::Pcm16 || surround);
    info.format = (rf64         ? SF_FORMAT_RF64
                   : extensible ? SF_FORMAT_WAVEX
                                : majorFormat(format.container)) |
                  subtype(format.encoding);
    if (!sf_format_check(&info)) {
        ::close(descriptor);
        discard();
        throw HostError("cannot write " + inQuotes(target) + ": " + formatName(format) +
                        " cannot hold " + std::to_string(channels) + " channels at " +
                        std::to_string(sampleRate) + " Hz");
    }
    file_ = sf_open_fd(descriptor, SFM_WRITE, &info, SF_TRUE);
    if (file_ == nullptr) {
        // libsndfile has closed the descriptor on its way out.
        const std::string message = libraryMessage(nullptr);
        discard();
        throw HostError("cannot write " + inQuotes(target) + ": " + message);
    }
    if (rf64 && expectedFrames < 0) {
        sf_command(file_, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    }
    if (surround) {
        // The header is written again on close, with the mask this map gives.
        int map[] = {SF_CHANNEL_MAP_LEFT,   SF_CHANNEL_MAP_RIGHT,     SF_CHANNEL_MAP_CENTER,
                     SF_CHANNEL_MAP_LFE,    SF_CHANNEL_MAP_REAR_LEFT, SF_CHANNEL_MAP_REAR_RIGHT};
        sf_command(file_, SFC_SET_CHANNEL_MAP_INFO, map, sizeof map);
    }
    if (format.encoding != SampleEncoding::Float32) {
        // Saturate at full scale rather than wrap around.
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
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
    }
    InterruptGuard::release();
}

void SoundFileWriter::write(const float* interleaved, int64_t frames) {
    if (sf_writef_float(file_, interleaved, frames) != frames) {
        throw HostError("cannot write " + inQuotes(target_) + ": " + libraryMessage(file_));
    }
}

void SoundFileWriter::commit() {
    // sf_close reports nothing, so a failed final flush shows up here first.
    sf_write_sync(file_);
    const int code = sf_error(file_);
    const std::string message = libraryMessage(file_);
    sf_close(file_);
    file_ = nullptr;
    if (code != SF_ERR_NO_ERROR) {
        throw HostError("cannot write " + inQuotes(target_) + ": " + message);
    }
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        throw HostError("cannot write " + inQuotes(target_) + ": " + std::strerror(errno));
    }
    committed_ = true;
    InterruptGuard::release();
}

}  // namespace quorveil::host
