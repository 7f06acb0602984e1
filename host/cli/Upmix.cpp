// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/cli/Upmix.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <numbers>
#include <optional>

#include "host/cli/Wording.h"
#include "host/hosting/ChainSettings.h"
#include "host/hosting/Count.h"
#include "host/soundfiles/SoundFile.h"
#include "host/spectral/SpectralRender.h"

namespace quorveil::spectral {

namespace {

namespace fs = std::filesystem;

using host::count;

// Output indices in file order.
enum Speaker { FL, FR, FC, LFE, BL, BR };

// A speaker by its file name (FL) or the modules' pin name (LF), any case.
int speakerNamed(const std::string& name) {
    const std::string n = host::foldCase(host::trimmed(name));
    const struct {
        const char* file;
        const char* pin;
        Speaker speaker;
    } names[] = {{"fl", "lf", FL}, {"fr", "rf", FR}, {"fc", "c", FC},
                 {"lfe", "lfe", LFE}, {"bl", "ls", BL}, {"br", "rs", BR}};
    for (const auto& row : names) {
        if (n == row.file || n == row.pin) return row.speaker;
    }
    throw host::HostError("--phase-from: no speaker '" + host::trimmed(name) +
                          "' (FL, FR, FC, LFE, BL, BR)");
}

// Left-side speakers take the phase of L, right-side ones of R, the centre
// and the LFE that of L+R; the LFE is silent unless it has a cutoff.
std::vector<PhaseSource> phaseSources(const UpmixOptions& options) {
    std::vector<PhaseSource> sources{{{1, 0}}, {{0, 1}}, {{1, 1}}, {{1, 1}}, {{1, 0}}, {{0, 1}}};
    applyPhaseFrom(options.phaseFrom, 2, sources, speakerNamed);
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
// Per-second levels, printed as each second completes.

class LevelReport {
public:
    LevelReport(const ReportLine* out, double sampleRate) : out_(out), sampleRate_(sampleRate) {}

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
            (*out_)("Level per second of output, dB RMS (-inf: silence)");
            std::string header = "  second";
            for (const char* name : kUpmixChannelNames) {
                char cell[16];
                std::snprintf(cell, sizeof cell, "%7s", name);
                header += cell;
            }
            (*out_)(header);
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
        (*out_)(line);
        energy_.fill(0.0);
        taken_ = 0;
        ++second_;
    }

    const ReportLine* out_;
    double sampleRate_;
    std::size_t position_ = 0, second_ = 0, taken_ = 0;
    std::array<double, kUpmixChannels> energy_{};
};

// ---------------------------------------------------------------------------
// The graph.

class UpmixGraph : public SpectralGraph {
public:
    UpmixGraph(const UpmixOptions& options, const host::PluginLibrary& library,
               const SpectralStream& stream, LevelReport& report, UpmixSummary& summary,
               host::RenderObserver& observer)
        : method_(options.method), report_(report), summary_(summary), observer_(observer),
          gain_(static_cast<float>(std::pow(10.0, options.gainDb / 20.0))),
          first_(library, library.findModule(moduleOf(options.method)), stream.engine()),
          clip_(library, library.findModule("Clip4_6"), stream.engine()),
          interleaved_(count(stream.engine().blockSize) * kUpmixChannels) {
        if (options.atf) {
            atf_.emplace(library, library.findModule("ATF4_6"), stream.engine());
        }
        const StftSettings& settings = stream.settings();
        if (options.lfeCutoffHz > 0.0) {
            lfeBins_ = std::min(settings.binCount(),
                                static_cast<int>(std::floor(options.lfeCutoffHz * settings.fftSize /
                                                            settings.sampleRate)) + 1);
        }
        lfeScale_ = stream.magnitudeScale();
        applySettings(options);
    }

    host::ModuleSession& firstStage() { return first_.session; }
    void writeTo(host::SoundFileWriter* file) { file_ = file; }
    uint64_t clippedSamples() const {
        uint64_t lit = 0;
        for (const host::IndicatorTally& tally : clip_.session.indicatorTallies()) lit += tally.lit;
        return lit;
    }

    void processFrames(SpectralStream& stream) override {
        const auto& engine = stream.engine();
        const int frames = engine.frameCount;
        const std::size_t bins = count(engine.binCount);

        host::ProcessBuffers& first = first_.buffers;
        copyPin(stream.magnitudes(), 0, first.magnitudeIn, 0);
        copyPin(stream.magnitudes(), 1, first.magnitudeIn, 1);
        if (first.frequencyIn.pinCount() >= 2) {
            copyPin(stream.frequencies(), 0, first.frequencyIn, 0);
            copyPin(stream.frequencies(), 1, first.frequencyIn, 1);
        }
        run(first_);

        // The five speakers, LF RF C LS RS, into the outputs FL FR FC BL BR.
        host::SpectralPinBuffers& out = stream.outputs();
        const int speakerPin[5] = {FL, FR, FC, BL, BR};
        switch (method_) {
        case UpmixMethod::Slice:
            for (int s = 0; s < 5; ++s) copyPin(first.magnitudeOut, s, out, speakerPin[s]);
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
            copyPin(stream.magnitudes(), 0, out, FL);
            copyPin(stream.magnitudes(), 1, out, FR);
            copyPin(first.magnitudeOut, 0, out, FC);
            copyPin(first.magnitudeOut, 1, out, BL);
            copyPin(first.magnitudeOut, 2, out, BR);
            break;
        }

        if (atf_) {
            host::ProcessBuffers& atf = atf_->buffers;
            for (int s = 0; s < 5; ++s) copyPin(out, speakerPin[s], atf.magnitudeIn, s);
            copyPin(stream.frequencies(), 0, atf.frequencyIn, 0);
            copyPin(stream.frequencies(), 1, atf.frequencyIn, 1);
            run(*atf_);
            for (int s = 0; s < 5; ++s) copyPin(atf.magnitudeOut, s, out, speakerPin[s]);
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
        host::ProcessBuffers& clip = clip_.buffers;
        const std::size_t block = count(clip.audioIn.blockSize());
        for (int c = 0; c < kUpmixChannels; ++c) {
            float* in = clip.audioIn.pin(c);
            for (std::size_t i = 0; i < frames; ++i) in[i] = channels[c][i] * gain_;
            std::fill(in + frames, in + block, 0.0f);
        }
        run(clip_);

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
        if (file_ != nullptr) file_->write(interleaved_.data(), static_cast<int64_t>(frames));
    }

private:
    // One process call; what the module tells the host goes to the observer.
    void run(GraphModule& module) {
        module.process();
        if (auto messages = module.session.takeMessages(); !messages.empty()) {
            observer_.hostMessages(messages);
        }
    }

    // Each setting goes to the modules of the chain that have the parameter
    // (or to the one it names); a setting that reaches none is a mistake.
    void applySettings(const UpmixOptions& options) {
        std::vector<host::ModuleSession*> chain{&first_.session};
        if (atf_) chain.push_back(&atf_->session);
        host::applySettings(chain, options.settings, options.force, &observer_);
        for (host::ModuleSession* module : chain) observer_.hostMessages(module->takeMessages());
    }

    UpmixMethod method_;
    host::SoundFileWriter* file_ = nullptr;
    LevelReport& report_;
    UpmixSummary& summary_;
    host::RenderObserver& observer_;
    float gain_;
    GraphModule first_;
    std::optional<GraphModule> atf_;
    GraphModule clip_;
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
    const std::string n = host::foldCase(name);
    if (n == "slice") return UpmixMethod::Slice;
    if (n == "arctan") return UpmixMethod::ArcTan;
    if (n == "cc") return UpmixMethod::CC;
    throw host::HostError("unknown upmix method '" + name + "' (slice, arctan, cc)");
}

UpmixSummary runUpmix(const UpmixOptions& options, const host::PluginLibrary& library,
                      host::RenderObserver& observer, const ReportLine& report) {
    // The stereo source: the file, or the demo made in code.
    std::optional<host::SoundFileReader> file;
    DemoSignal demo;
    int32_t channels = 2, sampleRate = static_cast<int32_t>(DemoSignal::kSampleRate);
    auto length = static_cast<int64_t>(DemoSignal::kLength);
    if (!options.input.empty()) {
        file.emplace(options.input, &observer);
        channels = file->channels();
        sampleRate = file->sampleRate();
        length = file->frames();
    }
    if (channels != 2) {
        throw host::HostError("'" + options.input + "' has " + host::plural(channels, "channel") +
                              "; upmix takes stereo");
    }
    const StftSettings settings{static_cast<double>(sampleRate), options.fftSize, options.overlap};
    if (std::string problem = checkSettings(settings); !problem.empty()) {
        throw host::HostError(problem);
    }
    if (!(options.lfeCutoffHz >= 0.0) || !std::isfinite(options.lfeCutoffHz)) {
        throw host::HostError("--lfe-cutoff wants a frequency in Hz above 0");
    }
    if (!std::isfinite(options.gainDb)) {
        throw host::HostError("--gain wants a level in dB");
    }

    UpmixSummary summary;
    summary.output = defaultOutput(options);
    summary.sampleRate = settings.sampleRate;
    std::error_code ignored;
    if (!options.input.empty() && fs::equivalent(summary.output, options.input, ignored)) {
        throw host::HostError("the output would overwrite the input '" + options.input + "'");
    }
    host::OutputFormat format = host::outputFormatFor(summary.output, "", options.type);
    format.layout = host::ChannelLayout::Surround51;

    // Everything that can refuse the run does so before the output exists.
    SpectralStream stream(settings, 2, phaseSources(options));
    LevelReport levels(options.report ? &report : nullptr, settings.sampleRate);
    UpmixGraph graph(options, library, stream, levels, summary, observer);
    host::SoundFileWriter writer(summary.output, format, kUpmixChannels, sampleRate, length,
                                 &observer);
    graph.writeTo(&writer);
    observer.starting(graph.firstStage(),
                      "upmix with " + graph.firstStage().module().name +
                          (options.atf ? " and ATF4_6" : "") + ": " + std::to_string(sampleRate) +
                          " Hz, FFT " + std::to_string(options.fftSize) + " overlap " +
                          std::to_string(options.overlap) + ", " + host::formatName(format) +
                          ", 5.1 (FL FR FC LFE BL BR)");

    int64_t taken = 0;
    summary.frames = stream.run(
        [&](float* interleaved, std::size_t frames) {
            const std::size_t got =
                file ? static_cast<std::size_t>(file->read(interleaved, static_cast<int64_t>(frames)))
                     : demo.read(interleaved, frames);
            taken += static_cast<int64_t>(got);
            observer.progress(taken, length, sampleRate);
            return got;
        },
        graph);
    levels.finish();
    writer.commit();
    summary.clippedSamples = graph.clippedSamples();
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
