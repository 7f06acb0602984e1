// Sound files for the command-line host, through libsndfile: a reader that
// streams interleaved frames, and a writer that streams into a temporary file
// beside its target and renames it over the target only when told the whole
// render succeeded. A failed or interrupted render never leaves a half-written
// file behind, nor harms a file already at the target.
#pragma once

#include <cstdint>
#include <string>

struct sf_private_tag;

namespace quorveil::host {

enum class Container { Wav, Flac, Aiff };
enum class SampleEncoding { Pcm16, Pcm24, Float32 };
// What the channels are for. Surround51: six channels FL FR FC LFE BL BR,
// which a WAV or RF64 file states in WAVE_FORMAT_EXTENSIBLE's channel mask
// (0x3F) and FLAC implies by its channel order.
enum class ChannelLayout { Unnamed, Surround51 };

struct OutputFormat {
    Container container = Container::Wav;
    SampleEncoding encoding = SampleEncoding::Float32;
    ChannelLayout layout = ChannelLayout::Unnamed;
};

// The container from the target's extension (.wav, .flac, .aif/.aiff/.aifc,
// any letter case) and the encoding from `bits` ("16", "24", "32f"; empty
// means 32-bit float, or 24-bit for FLAC, which stores no floats).
// Throws HostError for an unknown extension or a pairing the container
// cannot store.
OutputFormat outputFormatFor(const std::string& target, const std::string& bits);

// "WAV, 32-bit float", "FLAC, 24-bit".
std::string formatName(const OutputFormat& format);

class SoundFileReader {
public:
    // Throws HostError: missing, a folder, unreadable, or not a sound file.
    explicit SoundFileReader(const std::string& path);
    ~SoundFileReader();
    SoundFileReader(const SoundFileReader&) = delete;
    SoundFileReader& operator=(const SoundFileReader&) = delete;

    const std::string& path() const { return path_; }
    int32_t channels() const { return channels_; }
    int32_t sampleRate() const { return sampleRate_; }
    int64_t frames() const { return frames_; }  // -1 when the file does not say

    // Up to `frames` interleaved frames into `interleaved`; the number read,
    // 0 at the end. Throws HostError on a read error.
    int64_t read(float* interleaved, int64_t frames);

private:
    std::string path_;
    sf_private_tag* file_ = nullptr;
    int32_t channels_ = 0;
    int32_t sampleRate_ = 0;
    int64_t frames_ = -1;
};

class SoundFileWriter {
public:
    // Creates the temporary file beside `target`; throws HostError when the
    // target's folder is missing or not writable, or the format refuses the
    // channel count or rate. `expectedFrames` (-1 when unknown) lets a WAV
    // that would outgrow the 4 GiB of RIFF become RF64 from the start.
    SoundFileWriter(const std::string& target, const OutputFormat& format, int32_t channels,
                    int32_t sampleRate, int64_t expectedFrames = -1);
    // Without commit(), the temporary file is removed and the target untouched.
    ~SoundFileWriter();
    SoundFileWriter(const SoundFileWriter&) = delete;
    SoundFileWriter& operator=(const SoundFileWriter&) = delete;

    // Throws HostError when the frames cannot be written (disk full, ...).
    void write(const float* interleaved, int64_t frames);

    // Closes the file and renames it over the target; throws HostError.
    void commit();

    const std::string& temporaryPath() const { return temporary_; }

private:
    void discard();

    std::string target_;
    std::string temporary_;
    sf_private_tag* file_ = nullptr;
    bool committed_ = false;
};

}  // namespace quorveil::host
