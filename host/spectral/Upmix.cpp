#include "host/spectral/Upmix.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <numbers>
#include <ostream>

#include "host/spectral/HostedModule.h"

namespace quorveil::spectral {

namespace {

namespace fs = std::filesystem;

std::size_t count(int n) { return static_cast<std::size_t>(n); }

std::string uppercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// Output indices in file order.
enum Speaker { FL, FR, FC, LFE, BL, BR };

int speakerIndex(const std::string& name) {
    const std::string n = uppercase(name);
    const struct {
        const char* a;
        const char* b;
        Speaker speaker;
    } names[] = {{"FL", "LF", FL}, {"FR", "RF", FR}, {"FC", "C", FC},
                 {"LFE", "LFE", LFE}, {"BL", "LS", BL}, {"BR", "RS", BR}};
    for (const auto& row : names) {
        if (n == row.a || n == row.b) return row.speaker;
    }
    return -1;
}

bool parseSource(const std::string& text, PhaseSource& source) {
    const std::string s = uppercase(text);
    if (s == "L") {
        source.weights = {1.0f, 0.0f};
    } else if (s == "R") {
        source.weights = {0.0f, 1.0f};
    } else if (s == "L+R" || s == "R+L") {
        source.weights = {1.0f, 1.0f};
    } else {
        return false;
    }
    return true;
}

// Left-side speakers take the phase of L, right-side ones of R, the centre
// and the LFE that of L+R; the LFE is silent unless it has a cutoff.
std::vector<PhaseSource> phaseSources(const UpmixOptions& options) {
    std::vector<PhaseSource> sources{{{1, 0}}, {{0, 1}}, {{1, 1}}, {{1, 1}}, {{1, 0}}, {{0, 1}}};
    for (const std::string& item : options.phaseFrom) {
        const auto equals = item.find('=');
        PhaseSource source;
        const std::string sourceText = equals == std::string::npos ? item : item.substr(equals + 1);
        if (!parseSource(sourceText, source)) {
            throw UpmixInputError("--phase-from wants L, R or L+R, not '" + sourceText + "'");
        }
        if (equals == std::string::npos) {
            std::fill(sources.begin(), sources.end(), source);
            continue;
        }
        const int speaker = speakerIndex(item.substr(0, equals));
        if (speaker < 0) {
            throw UpmixInputError("--phase-from: no speaker '" + item.substr(0, equals) +
                                  "' (FL, FR, FC, LFE, BL, BR)");
        }
        sources[count(speaker)] = source;
    }
    if (options.lfeCutoffHz <= 0.0) sources[LFE].weights = {0.0f, 0.0f};
    return sources;
}

const char* moduleOf(UpmixMethod method) {
    switch (method) {
    case UpmixMethod::ArcTan: return "ArcTan4_6";
    case UpmixMethod::CC: return "CC4_6";
    default: return "Slice4_6";
    }
}

// ---------------------------------------------------------------------------
// Sound files: the stereo source and the 5.1 result.

class SoundSource {
public:
    virtual ~SoundSource() = default;
    virtual int channels() const = 0;
    virtual double sampleRate() const = 0;
    virtual int outputFormat() const = 0;  // libsndfile subtype for the result
    virtual std::size_t read(float* interleaved, std::size_t frames) = 0;
};

class FileSource : public SoundSource {
public:
    explicit FileSource(const std::string& path) {
        file_ = sf_open(path.c_str(), SFM_READ, &info_);
        if (file_ == nullptr) {
            throw UpmixInputError("cannot read '" + path + "': " + sf_strerror(nullptr));
        }
    }
    ~FileSource() override { sf_close(file_); }
    int channels() const override { return info_.channels; }
    double sampleRate() const override { return info_.samplerate; }
    int outputFormat() const override {
        const int subtype = info_.format & SF_FORMAT_SUBMASK;
        switch (subtype) {
        case SF_FORMAT_PCM_16:
        case SF_FORMAT_PCM_24:
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_DOUBLE:
            return subtype;
        default:
            return SF_FORMAT_PCM_24;
        }
    }
    std::size_t read(float* interleaved, std::size_t frames) override {
        const sf_count_t n = sf_readf_float(file_, interleaved, static_cast<sf_count_t>(frames));
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }

private:
    SF_INFO info_{};
    SNDFILE* file_ = nullptr;
};

class DemoSource : public SoundSource {
public:
    int channels() const override { return 2; }
    double sampleRate() const override { return DemoSignal::kSampleRate; }
    int outputFormat() const override { return SF_FORMAT_PCM_24; }
    std::size_t read(float* interleaved, std::size_t frames) override {
        return signal_.read(interleaved, frames);
    }

private:
    DemoSignal signal_;
};

// Writes to a temporary file beside the target and renames it into place
// only when the whole result is written, so a failed run leaves no output.
class SurroundFile {
public:
    SurroundFile(const std::string& path, double sampleRate, int subtype)
        : path_(path), temporary_(path + ".part") {
        SF_INFO info{};
        info.samplerate = static_cast<int>(sampleRate);
        info.channels = kUpmixChannels;
        info.format = SF_FORMAT_WAVEX | subtype;
        file_ = sf_open(temporary_.c_str(), SFM_WRITE, &info);
        if (file_ == nullptr) {
            throw UpmixInputError("cannot write '" + path + "': " + sf_strerror(nullptr));
        }
        // FL FR FC LFE BL BR: the WAVE_FORMAT_EXTENSIBLE mask 0x3F.
        int map[kUpmixChannels] = {SF_CHANNEL_MAP_LEFT,      SF_CHANNEL_MAP_RIGHT,
                                   SF_CHANNEL_MAP_CENTER,    SF_CHANNEL_MAP_LFE,
                                   SF_CHANNEL_MAP_REAR_LEFT, SF_CHANNEL_MAP_REAR_RIGHT};
        sf_command(file_, SFC_SET_CHANNEL_MAP_INFO, map, sizeof map);
        // Float input keeps its overs; the clipping warning says so anyway.
        sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    }
    ~SurroundFile() {
        if (file_ != nullptr) {
            sf_close(file_);
            std::error_code ignored;
            fs::remove(temporary_, ignored);
        }
    }

    void write(const float* interleaved, std::size_t frames) {
        if (sf_writef_float(file_, interleaved, static_cast<sf_count_t>(frames)) !=
            static_cast<sf_count_t>(frames)) {
            throw host::HostError("writing '" + path_ + "' failed: " + sf_strerror(file_));
        }
    }

    void commit() {
        const int closed = sf_close(file_);
        file_ = nullptr;
        std::error_code error;
        if (closed != 0) {
            fs::remove(temporary_, error);
            throw host::HostError("writing '" + path_ + "' failed");
        }
        fs::rename(temporary_, path_, error);
        if (error) {
            fs::remove(temporary_, error);
            throw host::HostError("cannot move the result to '" + path_ + "'");
        }
    }

private:
    std::string path_, temporary_;
    SNDFILE* file_ = nullptr;
};

// ---------------------------------------------------------------------------
// Per-second levels, printed as each second completes.

class LevelReport {
public:
    LevelReport(std::ostream* out, double sampleRate) : out_(out), sampleRate_(sampleRate) {}

    void add(const float* const* channels, std::size_t frames) {
        if (out_ == nullptr) return;
        std::size_t done = 0;
        while (done < frames) {
            const std::size_t boundary = secondEnd();
            const std::size_t n = std::min(frames - done, boundary - position_);
            for (std::size_t c = 0; c < kUpmixChannels; ++c) {
                double sum = 0.0;
                for (std::size_t i = 0; i < n; ++i) {
                    const double s = channels[c][done + i];
                    sum += s * s;
                }
                energy_[c] += sum;
            }
            position_ += n;
            taken_ += n;
            done += n;
            if (position_ == boundary) flush();
        }
    }

    void finish() {
        if (out_ != nullptr && taken_ > 0) flush();
    }

private:
    std::size_t secondEnd() const {
        return static_cast<std::size_t>(std::llround(sampleRate_ * static_cast<double>(second_ + 1)));
    }

    void flush() {
        if (second_ == 0) {
            *out_ << "Level per second of output, dB RMS (-inf: silence)\n  second";
            for (const char* name : kUpmixChannelNames) {
                char cell[16];
                std::snprintf(cell, sizeof cell, "%7s", name);
                *out_ << cell;
            }
            *out_ << '\n';
        }
        char span[48];
        std::snprintf(span, sizeof span, "%zu-%zu", second_, second_ + 1);
        char line[128];
        int at = std::snprintf(line, sizeof line, "%8s", span);
        for (std::size_t c = 0; c < kUpmixChannels; ++c) {
            const double meanSquare = energy_[c] / static_cast<double>(taken_);
            if (meanSquare > 0.0) {
                at += std::snprintf(line + at, sizeof line - static_cast<std::size_t>(at), "%7.1f",
                                    10.0 * std::log10(meanSquare));
            } else {
                at += std::snprintf(line + at, sizeof line - static_cast<std::size_t>(at), "%7s",
                                    "-inf");
            }
        }
        *out_ << line << '\n';
        energy_.fill(0.0);
        taken_ = 0;
        ++second_;
    }

    std::ostream* out_;
    double sampleRate_;
    std::size_t position_ = 0, second_ = 0, taken_ = 0;
    std::array<double, kUpmixChannels> energy_{};
};

// ---------------------------------------------------------------------------
// The graph.

class UpmixGraph : public SpectralGraph {
public:
    UpmixGraph(const UpmixOptions& options, const host::PluginLibrary& library,
               const SpectralStream& stream, LevelReport& report, UpmixSummary& summary)
        : method_(options.method), report_(report), summary_(summary),
          gain_(static_cast<float>(std::pow(10.0, options.gainDb / 20.0))),
          first_(library, moduleOf(options.method), stream.engine()),
          clip_(library, "Clip4_6", stream.engine()),
          interleaved_(count(stream.engine().blockSize) * kUpmixChannels) {
        if (options.atf) {
            atf_ = std::make_unique<HostedModule>(library, "ATF4_6", stream.engine());
        }
        const StftSettings& settings = stream.settings();
        if (options.lfeCutoffHz > 0.0) {
            lfeBins_ = std::min(settings.binCount(),
                                static_cast<int>(std::floor(options.lfeCutoffHz * settings.fftSize /
                                                            settings.sampleRate)) + 1);
        }
        lfeScale_ = stream.magnitudeScale();
        std::vector<ParameterSetting> parsed;
        for (const std::string& text : options.settings) parsed.push_back(parseSetting(text));
        std::vector<HostedModule*> chain{&first_};
        if (atf_) chain.push_back(atf_.get());
        applySettings(parsed, chain);
    }

    void writeTo(SurroundFile* file) { file_ = file; }

    void processFrames(SpectralStream& stream) override {
        const auto& engine = stream.engine();
        const int frames = engine.frameCount;
        const std::size_t bins = count(engine.binCount);
        auto copyFrames = [&](host::SpectralPinBuffers& from, int fromPin,
                              host::SpectralPinBuffers& to, int toPin) {
            for (int f = 0; f < frames; ++f) {
                std::copy_n(from.frame(fromPin, f), bins, to.frame(toPin, f));
            }
        };

        host::ProcessBuffers& first = first_.buffers();
        copyFrames(stream.magnitudes(), 0, first.magnitudeIn, 0);
        copyFrames(stream.magnitudes(), 1, first.magnitudeIn, 1);
        if (first.frequencyIn.pinCount() >= 2) {
            copyFrames(stream.frequencies(), 0, first.frequencyIn, 0);
            copyFrames(stream.frequencies(), 1, first.frequencyIn, 1);
        }
        first_.process();

        // The five speakers, LF RF C LS RS, into the outputs FL FR FC BL BR.
        host::SpectralPinBuffers& out = stream.outputs();
        const int speakerPin[5] = {FL, FR, FC, BL, BR};
        switch (method_) {
        case UpmixMethod::Slice:
            for (int s = 0; s < 5; ++s) copyFrames(first.magnitudeOut, s, out, speakerPin[s]);
            break;
        case UpmixMethod::ArcTan:
            // Each speaker sums its dominant and lesser images.
            for (int s = 0; s < 5; ++s) {
                for (int f = 0; f < frames; ++f) {
                    const float* dominant = first.magnitudeOut.frame(s, f);
                    const float* lesser = first.magnitudeOut.frame(s + 5, f);
                    float* speaker = out.frame(speakerPin[s], f);
                    for (std::size_t k = 0; k < bins; ++k) speaker[k] = dominant[k] + lesser[k];
                }
            }
            break;
        case UpmixMethod::CC:
            copyFrames(stream.magnitudes(), 0, out, FL);
            copyFrames(stream.magnitudes(), 1, out, FR);
            copyFrames(first.magnitudeOut, 0, out, FC);
            copyFrames(first.magnitudeOut, 1, out, BL);
            copyFrames(first.magnitudeOut, 2, out, BR);
            break;
        }

        if (atf_) {
            host::ProcessBuffers& atf = atf_->buffers();
            for (int s = 0; s < 5; ++s) copyFrames(out, speakerPin[s], atf.magnitudeIn, s);
            copyFrames(stream.frequencies(), 0, atf.frequencyIn, 0);
            copyFrames(stream.frequencies(), 1, atf.frequencyIn, 1);
            atf_->process();
            for (int s = 0; s < 5; ++s) copyFrames(atf.magnitudeOut, s, out, speakerPin[s]);
        }

        // LFE: the bins of L+R up to the cutoff.
        for (int f = 0; f < frames; ++f) {
            float* lfe = out.frame(LFE, f);
            std::fill(lfe, lfe + bins, 0.0f);
            const std::complex<float>* left = stream.spectrum(0, f);
            const std::complex<float>* right = stream.spectrum(1, f);
            for (std::size_t k = 0; k < count(lfeBins_); ++k) {
                lfe[k] = std::abs(left[k] + right[k]) * lfeScale_;
            }
        }
    }

    void deliver(const float* const* channels, std::size_t frames) override {
        host::ProcessBuffers& clip = clip_.buffers();
        const std::size_t block = count(clip.audioIn.blockSize());
        for (int c = 0; c < kUpmixChannels; ++c) {
            float* in = clip.audioIn.pin(c);
            for (std::size_t i = 0; i < frames; ++i) in[i] = channels[c][i] * gain_;
            std::fill(in + frames, in + block, 0.0f);
        }
        clip_.process();
        // The indicator: each flagged sample position costs the pair (0, 1).
        for (const host::ServiceCall& call : clip_.instance().serviceLog()) {
            if (call.id == 0 && call.integer == 1) ++summary_.clippedSamples;
        }
        clip_.instance().clearServiceLog();

        const float* passed[kUpmixChannels];
        for (int c = 0; c < kUpmixChannels; ++c) {
            passed[c] = clip.audioOut.pin(c);
            const std::size_t ci = count(c);
            for (std::size_t i = 0; i < frames; ++i) {
                const float s = passed[c][i];
                interleaved_[i * kUpmixChannels + ci] = s;
                summary_.peak[ci] = std::max(summary_.peak[ci], std::fabs(s));
                summary_.energy[ci] += static_cast<double>(s) * s;
            }
        }
        report_.add(passed, frames);
        if (file_ != nullptr) file_->write(interleaved_.data(), frames);
    }

private:
    UpmixMethod method_;
    SurroundFile* file_ = nullptr;
    LevelReport& report_;
    UpmixSummary& summary_;
    float gain_;
    HostedModule first_;
    std::unique_ptr<HostedModule> atf_;
    HostedModule clip_;
    int lfeBins_ = 0;
    float lfeScale_ = 0.0f;
    std::vector<float> interleaved_;
};

std::string defaultOutput(const UpmixOptions& options) {
    if (!options.output.empty()) return options.output;
    if (options.input.empty()) return kDemoFileName;
    fs::path path(options.input);
    return (path.parent_path() / (path.stem().string() + "-5.1.wav")).string();
}

}  // namespace

UpmixMethod parseUpmixMethod(const std::string& name) {
    const std::string n = uppercase(name);
    if (n == "SLICE") return UpmixMethod::Slice;
    if (n == "ARCTAN") return UpmixMethod::ArcTan;
    if (n == "CC") return UpmixMethod::CC;
    throw UpmixInputError("unknown upmix method '" + name + "' (slice, arctan, cc)");
}

UpmixSummary runUpmix(const UpmixOptions& options, std::ostream& report) {
    std::unique_ptr<SoundSource> source;
    if (options.input.empty()) {
        source = std::make_unique<DemoSource>();
    } else {
        source = std::make_unique<FileSource>(options.input);
    }
    const std::string name = options.input.empty() ? "the demo" : "'" + options.input + "'";
    if (source->channels() != 2) {
        throw UpmixInputError(name + " has " + std::to_string(source->channels()) +
                              " channels; upmix takes stereo");
    }
    const StftSettings settings{source->sampleRate(), options.fftSize, options.overlap};
    if (std::string problem = checkSettings(settings); !problem.empty()) {
        throw UpmixInputError(problem);
    }
    if (!(options.lfeCutoffHz >= 0.0) || !std::isfinite(options.lfeCutoffHz)) {
        throw UpmixInputError("--lfe-cutoff wants a frequency in Hz above 0");
    }
    if (!std::isfinite(options.gainDb)) {
        throw UpmixInputError("--gain wants a level in dB");
    }

    UpmixSummary summary;
    summary.output = defaultOutput(options);
    summary.sampleRate = settings.sampleRate;
    if (!options.input.empty() && fs::exists(summary.output) && fs::exists(options.input) &&
        fs::equivalent(summary.output, options.input)) {
        throw UpmixInputError("the output would overwrite the input '" + options.input + "'");
    }

    std::unique_ptr<host::PluginLibrary> library;
    try {
        library = std::make_unique<host::PluginLibrary>(options.libraryPath);
    } catch (const host::HostError& error) {
        throw UpmixInputError(error.what());
    }
    SpectralStream stream(settings, 2, phaseSources(options));
    LevelReport levels(options.report ? &report : nullptr, settings.sampleRate);

    // Everything that can refuse the run does so before the output exists.
    std::unique_ptr<UpmixGraph> graph;
    try {
        graph = std::make_unique<UpmixGraph>(options, *library, stream, levels, summary);
    } catch (const host::HostError& error) {
        throw UpmixInputError(error.what());
    }
    SurroundFile file(summary.output, settings.sampleRate, source->outputFormat());
    graph->writeTo(&file);

    summary.frames = stream.run(
        [&](float* interleaved, std::size_t frames) { return source->read(interleaved, frames); },
        *graph);
    levels.finish();
    file.commit();
    return summary;
}

// ---------------------------------------------------------------------------
// The demo.

std::size_t DemoSignal::read(float* interleaved, std::size_t frames) {
    constexpr double pi = std::numbers::pi;
    const std::size_t n = std::min(frames, kLength - position_);
    // A minor arpeggio, one note every 0.3 s, four harmonics, plucked.
    constexpr double notes[] = {220.0, 261.63, 329.63, 440.0, 329.63, 261.63};
    constexpr double noteSeconds = 0.3;
    for (std::size_t i = 0; i < n; ++i, ++position_) {
        const double t = static_cast<double>(position_) / kSampleRate;
        const auto note = static_cast<std::size_t>(t / noteSeconds);
        const double since = t - static_cast<double>(note) * noteSeconds;
        const double hz = notes[note % std::size(notes)];
        const double envelope = std::min(1.0, since / 0.005) * std::exp(-since * 6.0);
        double tone = 0.0;
        for (int h = 1; h <= 4; ++h) tone += std::sin(2.0 * pi * hz * h * since) / h;
        const double source = 0.1 * envelope * tone;

        // Hard right for 2 s, across to hard left by 10 s, then held there.
        const double p = std::clamp((t - 2.0) / 8.0, 0.0, 1.0);
        const double left = std::sin(p * pi / 2.0), right = std::cos(p * pi / 2.0);

        // Two independent noises, gently low-passed: an ambience about 36 dB down.
        auto white = [this] {
            noiseState_ = noiseState_ * 1664525u + 1013904223u;
            return static_cast<float>(noiseState_ >> 8) / 8388608.0f - 1.0f;
        };
        ambienceL_ += 0.2f * (white() - ambienceL_);
        ambienceR_ += 0.2f * (white() - ambienceR_);

        interleaved[2 * i] = static_cast<float>(source * left) + 0.03f * ambienceL_;
        interleaved[2 * i + 1] = static_cast<float>(source * right) + 0.03f * ambienceR_;
    }
    return n;
}

}  // namespace quorveil::spectral
