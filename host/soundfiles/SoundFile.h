// SPDX-License-Identifier: GPL-3.0-or-later
// Sound files for the command-line host, through libsndfile: a reader that
// streams interleaved frames, and a writer that streams into a temporary file
// beside its target and renames it over the target only when told the whole
// render succeeded. A failed or interrupted render never leaves a half-written
// file behind, nor harms a file already at the target.
//
// What they guarantee whoever renders through them:
//   - the reader hands out finite samples no louder than kLoudestReadSample
//     only: one that is not a number (NaN, +inf, -inf) or beyond that bound
//     is read as silence and counted; a file that ends before its header
//     said is read to where it ends; a file of which the decoder could give
//     nothing is an error; samples of an integer file at its full scale
//     (where such samples clip) are counted. Each becomes one warning when
//     the end is reached;
//   - the writer never writes a sample that is not a number (the last guard:
//     it becomes silence and is counted for the caller to report), counts
//     the samples beyond full scale per channel, refuses to overwrite a file
//     this process is reading, and says why a write failed in libsndfile's
//     or the system's words;
//   - a file is written unnamed (O_TMPFILE) where the file system allows and
//     given its name only once complete, so not even SIGKILL leaves a part
//     of it behind; elsewhere it is written under a hidden temporary name
//     beside its target, and the next writer into that folder removes what
//     a process killed outright left there. A target that is no regular
//     file (a device such as /dev/null, a FIFO) is written directly;
//   - an empty render is still a file its format's readers open;
//   - `-` is stdin or stdout. A stream cannot be renamed into place: what a
//     failure leaves in it is what was written so far.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/hosting/WarningListener.h"
#include "host/soundfiles/SoundFileHeaders.h"

struct sf_private_tag;

namespace quorveil::host {

enum class Container { Wav, Flac, Aiff };
enum class SampleEncoding { Pcm16, Pcm24, Float32 };
struct OutputFormat {
    Container container = Container::Wav;
    SampleEncoding encoding = SampleEncoding::Float32;
    // The speaker of each channel in file order (Speaker::None for one that
    // is no speaker); empty: unnamed. The caller gives them as data (the
    // upmix from its layout table, `render` from the module's pin names). A
    // WAV states them in its channel mask, AIFF (a CHAN chunk) and FLAC (a
    // WAVEFORMATEXTENSIBLE_CHANNEL_MASK comment) when every channel is a
    // speaker and the file can be rewritten once complete.
    std::vector<Speaker> speakers;
};

// The loudest sample the reader hands out, +120 dBFS, the upmix engine's own
// bound on its input: a louder one is read as silence. Squared in a spectral
// bin, a few such samples would overflow what the engines average.
inline constexpr float kLoudestReadSample = 1e6f;

// The highest sample rate the writer writes, 768 kHz: the highest any audio
// device runs at, and below where readers of some formats stop reading back
// what was written (libsndfile reads an AIFF's 2^31 Hz as 800 MHz).
inline constexpr int32_t kHighestWrittenSampleRate = 768000;

// `-`: stdin for a reader, stdout for a writer.
bool isStandardStream(const std::string& path);

// The container from `type` ("wav", "flac", "aiff"; any letter case) or,
// without one, from the target's extension (.wav, .flac, .aif/.aiff/.aifc),
// and the encoding from `bits` ("16", "24", "32f"; empty means 32-bit float,
// or 24-bit for FLAC, which stores no floats). Throws HostError for an
// unknown type or extension, `-` without a type, AIFF to stdout, or a
// pairing the container cannot store.
OutputFormat outputFormatFor(const std::string& target, const std::string& bits,
                             const std::string& type = "");

// "WAV, 32-bit float", "FLAC, 24-bit".
std::string formatName(const OutputFormat& format);

class SoundFileReader {
public:
    // Throws HostError: missing, a folder, unreadable, or not a sound file.
    // `listener` hears the warnings of the end of the file.
    explicit SoundFileReader(const std::string& path, WarningListener* listener = nullptr);
    ~SoundFileReader();
    SoundFileReader(const SoundFileReader&) = delete;
    SoundFileReader& operator=(const SoundFileReader&) = delete;

    const std::string& path() const { return path_; }
    int32_t channels() const { return channels_; }
    int32_t sampleRate() const { return sampleRate_; }
    int64_t frames() const { return frames_; }  // -1 when the file does not say

    // Up to `frames` interleaved frames into `interleaved`, every sample
    // finite and within kLoudestReadSample; the number read, 0 at the end.
    // Throws HostError on a read error at or beyond the frames the header
    // declares, and when the file ends before the decoder gave a single
    // frame of one that should hold some (a declared length, a decoder
    // error, or a stream of unknown length).
    int64_t read(float* interleaved, int64_t frames);

    // Samples read as silence so far: not numbers, or beyond kLoudestReadSample.
    int64_t nonFiniteSamples() const { return nonFinite_; }
    int64_t tooLoudSamples() const { return tooLoud_; }
    // Samples of an integer file at its format's full scale, so far.
    int64_t fullScaleSamples() const { return fullScale_; }

private:
    void reachedTheEnd();
    void mend(float* interleaved, std::size_t samples);

    std::string path_;
    sf_private_tag* file_ = nullptr;
    WarningListener* listener_ = nullptr;
    int32_t channels_ = 0;
    int32_t sampleRate_ = 0;
    int64_t frames_ = -1;
    int64_t declared_ = -1;  // what the header promises, when it says
    int64_t read_ = 0;
    int64_t nonFinite_ = 0, tooLoud_ = 0, fullScale_ = 0;
    // Integer files: the magnitude at and above which a sample sits at full
    // scale ((2^(bits-1) - 1) / 2^(bits-1)), and its format's name; 0 and
    // empty for float files.
    float fullScaleFrom_ = 0.0f;
    std::string integerFormat_;
    std::string cutShortBy_;  // the decoder's words when it stopped early
    bool ended_ = false;
};

// How far beyond full scale one channel of a written file went.
struct ChannelLevel {
    int64_t overs = 0;   // samples beyond full scale, |sample| > 1
    float peak = 0.0f;   // the largest |sample| among them; 0 when there is none
};

class SoundFileWriter {
public:
    // Opens the output: an unnamed file in the target's folder (or a hidden
    // temporary one beside it), the target itself when it is no regular
    // file, or the stream on stdout for `-`. Throws HostError when the
    // target is a file this process reads, its folder is missing, a file or
    // not writable, the rate is not 1 to kHighestWrittenSampleRate Hz, or
    // the format refuses the channel count or rate.
    // `expectedFrames` (-1 when unknown) lets a WAV that would outgrow the
    // 4 GiB of RIFF become RF64 from the start, and a streamed WAV state its
    // length. What the last guard replaced, the caller reports
    // (nonFiniteSamples), since only it knows why it could happen.
    SoundFileWriter(const std::string& target, const OutputFormat& format, int32_t channels,
                    int32_t sampleRate, int64_t expectedFrames = -1);
    // Without commit(), the unfinished file goes and the target is untouched.
    ~SoundFileWriter();
    SoundFileWriter(const SoundFileWriter&) = delete;
    SoundFileWriter& operator=(const SoundFileWriter&) = delete;

    // Throws HostError when the frames cannot be written (disk full, a
    // file-size limit, a closed pipe), in the words of libsndfile or the
    // system.
    void write(const float* interleaved, int64_t frames);

    // Closes the file, states its speakers and gives it the target's name;
    // throws HostError.
    void commit();

    // Whether the file is written through a name other than the target's
    // (hidden, beside it), which the next run removes if this one is killed.
    bool writesThroughTemporaryName() const { return !temporary_.empty(); }
    // False when readers will take the channels for other speakers than
    // format.speakers: a FLAC written into a pipe cannot state them, and its
    // readers assume FLAC's default order for its channel count (3.1's four
    // channels become quad).
    bool statesItsSpeakers() const;
    const std::vector<ChannelLevel>& levels() const { return levels_; }
    // Output samples that were not numbers and were written as silence.
    int64_t nonFiniteSamples() const { return nonFinite_; }

private:
    void openFile(const OutputFormat& format, int32_t sampleRate, int64_t expectedFrames);
    void openStream(int descriptor, const OutputFormat& format, int32_t sampleRate,
                    int64_t expectedFrames);
    void openWithLibrary(const OutputFormat& format, int32_t sampleRate, int64_t expectedFrames);
    int createTemporary(const std::string& folder, const std::string& name);
    void putInPlace();
    [[noreturn]] void failed(int savedErrno, const std::string& fallback);
    void finishHeader(bool seekable);
    void discard();

    std::string target_;
    std::string temporary_;  // the hidden name, while the file has one
    std::string folder_;
    OutputFormat format_;
    int32_t channels_ = 0;
    int32_t sampleRate_ = 0;
    sf_private_tag* file_ = nullptr;
    int descriptor_ = -1;         // what libsndfile writes into
    bool ownsDescriptor_ = false; // closed here (not stdout)
    bool unnamed_ = false;        // an O_TMPFILE file, linked in by commit()
    bool stream_ = false;         // written front to back: stdout, a device, a FIFO
    bool seekableStream_ = false; // stdout is a file: written as one, without the rename
    int64_t frames_ = 0;
    int64_t nonFinite_ = 0;
    std::vector<ChannelLevel> levels_;
    std::vector<float> mended_;
    bool committed_ = false;
};

}  // namespace quorveil::host
