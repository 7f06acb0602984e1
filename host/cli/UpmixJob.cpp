// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/cli/UpmixJob.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "compiler/VectorClones.h"
#include "host/cli/DemoSignal.h"
#include "host/cli/Wording.h"
#include "host/hosting/ChainSettings.h"
#include "host/soundfiles/SoundFile.h"
#include "host/spectral/UpmixStream.h"
#include "host/spectral/WorkerThread.h"

namespace quorveil::cli {

namespace {

namespace fs = std::filesystem;

// What the file's reader takes as sound is what the engine takes as sound.
static_assert(host::kLoudestReadSample == spectral::kLoudestInput);

std::string defaultOutput(const UpmixJob& job, const spectral::SpeakerLayout& layout) {
    if (!job.output.empty()) return job.output;
    if (job.input.empty()) return kDemoFileName;
    fs::path path(job.input);
    return (path.parent_path() / (path.stem().string() + "-" + layout.name + ".wav")).string();
}

// √½: a mono sample goes to each side at this gain, so that the centred
// source the upmix finds carries the sample's own power.
constexpr float kMonoToEachSide = 0.70710678f;

// The source as L and R: a stereo file, a mono file on both sides, or the
// demo made in code.
class StereoSource {
public:
    StereoSource(const std::string& input, host::WarningListener* warnings) {
        if (!input.empty()) file_.emplace(input, warnings);
    }
    int32_t channels() const { return file_ ? file_->channels() : 2; }
    int32_t sampleRate() const {
        return file_ ? file_->sampleRate() : static_cast<int32_t>(DemoSignal::kSampleRate);
    }
    int64_t frames() const {
        return file_ ? file_->frames() : static_cast<int64_t>(DemoSignal::kLength);
    }
    // Up to `frames` samples of each side; the number read, 0 at the end.
    std::size_t read(float* left, float* right, std::size_t frames) {
        const std::size_t width = channels() == 1 ? 1 : 2;
        interleaved_.resize(width * frames);
        const std::size_t got =
            file_ ? static_cast<std::size_t>(file_->read(interleaved_.data(), static_cast<int64_t>(frames)))
                  : demo_.read(interleaved_.data(), frames);
        if (width == 1) {
            for (std::size_t i = 0; i < got; ++i) left[i] = right[i] = kMonoToEachSide * interleaved_[i];
            return got;
        }
        for (std::size_t i = 0; i < got; ++i) {
            left[i] = interleaved_[2 * i];
            right[i] = interleaved_[2 * i + 1];
        }
        return got;
    }

private:
    std::optional<host::SoundFileReader> file_;
    DemoSignal demo_;
    std::vector<float> interleaved_;
};

// Σ x² in four running sums, so the additions need not wait on each other.
QUORVEIL_VECTOR_CLONES
double sumOfSquares(const float* x, std::size_t n) {
    double sums[4] = {};
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        for (std::size_t j = 0; j < 4; ++j) sums[j] += static_cast<double>(x[i + j]) * x[i + j];
    }
    for (; i < n; ++i) sums[0] += static_cast<double>(x[i]) * x[i];
    return (sums[0] + sums[1]) + (sums[2] + sums[3]);
}

// The largest |x|. Without its sign bit a finite float orders as its bits
// do as an unsigned integer, and an integer maximum runs on many lanes at
// once, where a float one would have to keep NaN's rules.
QUORVEIL_VECTOR_CLONES
float largestMagnitude(const float* x, std::size_t n) {
    uint32_t largest = 0;
    for (std::size_t i = 0; i < n; ++i) {
        largest = std::max(largest, std::bit_cast<uint32_t>(x[i]) & 0x7fffffffu);
    }
    return std::bit_cast<float>(largest);
}

// The channels into file order, one frame after another.
template <std::size_t Channels>
QUORVEIL_INLINE_INTO_CLONES void interleaveFixed(const float* const* channels, std::size_t frames,
                                                 float* interleaved) {
    for (std::size_t i = 0; i < frames; ++i) {
        for (std::size_t c = 0; c < Channels; ++c) interleaved[i * Channels + c] = channels[c][i];
    }
}

QUORVEIL_VECTOR_CLONES
void interleave(const float* const* channels, std::size_t count, std::size_t frames,
                float* interleaved) {
    switch (count) {
    case 6: interleaveFixed<6>(channels, frames, interleaved); return;
    case 8: interleaveFixed<8>(channels, frames, interleaved); return;
    default:
        for (std::size_t i = 0; i < frames; ++i) {
            for (std::size_t c = 0; c < count; ++c) interleaved[i * count + c] = channels[c][i];
        }
    }
}

// Interleaved blocks to the file: on the caller's thread, or, with more
// than one thread, from a thread of its own, so that libsndfile's conversion
// and the kernel's copy into the page cache (a fifth of an upmix's time)
// run beside the upmix. The caller interleaves into a free slot of a ring
// and hands it over (WorkerThread: atomic counters, no mutex); an error the
// file raises comes back to the caller at its next block or at finish().
class BlockWriter {
public:
    BlockWriter(host::SoundFileWriter& file, std::size_t channels, bool ownThread)
        : file_(file), channels_(channels) {
        if (!ownThread) {
            slots_.resize(1);
            return;
        }
        slots_.resize(kSlots);
        worker_ = std::make_unique<spectral::WorkerThread>([this](uint32_t n) { writeSlot(n % kSlots); });
    }
    ~BlockWriter() { worker_.reset(); }  // before the slots go

    // A slot for the next `frames` frames of every channel.
    float* next(std::size_t frames) {
        const uint32_t n = worker_ ? worker_->handed() : 0;
        if (worker_) {
            worker_->waitUntilFinished(n + 1 - kSlots);  // the slot's last block is out
            rethrow();
        }
        Slot& slot = slots_[n % slots_.size()];
        slot.samples.resize(channels_ * frames);
        slot.frames = frames;
        return slot.samples.data();
    }
    // The slot next() gave is filled: to the file.
    void commitBlock() {
        if (!worker_) {
            writeSlot(0);
            rethrow();
            return;
        }
        worker_->hand();
    }
    void finish() {
        if (worker_) worker_->waitForAll();
        rethrow();
    }

private:
    static constexpr uint32_t kSlots = 4;
    struct Slot {
        std::vector<float> samples;
        std::size_t frames = 0;
    };

    void writeSlot(std::size_t index) {
        if (error_) return;
        try {
            file_.write(slots_[index].samples.data(), static_cast<int64_t>(slots_[index].frames));
        } catch (...) {
            error_ = std::current_exception();
        }
    }
    void rethrow() {
        if (error_) std::rethrow_exception(error_);
    }

    host::SoundFileWriter& file_;
    std::size_t channels_;
    std::vector<Slot> slots_;
    std::exception_ptr error_;  // written by the writing thread, read after a wait
    std::unique_ptr<spectral::WorkerThread> worker_;
};

// The module that follows the placement when --atf asks for it.
constexpr const char* kAtfModule = "ATF4_6";

// The modules an upmix can run: each method's placement module, then ATF4_6;
// `inUse` for those this job runs.
struct UpmixStages {
    std::vector<std::unique_ptr<host::ModuleSession>> sessions;
    std::vector<host::ChainStage> stages;

    UpmixStages(const host::PluginLibrary& library, const spectral::UpmixEngine& engine) {
        const spectral::UpmixControls& controls = engine.controls();
        const auto engineInfo = spectral::engineInfoFor(engine.settings(), 1);
        auto add = [&](const char* module, bool inUse, std::string howToUse) {
            sessions.push_back(std::make_unique<host::ModuleSession>(
                library, library.findModule(module), engineInfo));
            stages.push_back({sessions.back().get(), inUse, std::move(howToUse)});
        };
        for (const spectral::UpmixMethodEntry& entry : spectral::upmixMethodTable()) {
            add(entry.module, entry.method == controls.method, std::string("--method ") + entry.name);
        }
        add(kAtfModule, controls.atf, "--atf");
    }

    bool inUse(const std::string& module) const {
        for (const host::ChainStage& stage : stages) {
            if (stage.module->className() == module) return stage.inUse;
        }
        return false;
    }
};

}  // namespace

std::vector<host::Speaker> fileSpeakers(const spectral::SpeakerLayout& layout) {
    std::vector<host::Speaker> speakers;
    for (const spectral::SpeakerPosition& speaker : layout.positions()) {
        speakers.push_back(host::speakerOfMaskBit(speaker.waveMask));
    }
    return speakers;
}

std::string monoDestination(const spectral::SpeakerLayout& layout) {
    return layout.has(spectral::SpeakerId::FC) ? "FC" : "FL and FR";
}

std::string layoutText(const spectral::SpeakerLayout& layout) {
    std::string text = layout.name;
    for (const spectral::SpeakerPosition& speaker : layout.positions()) {
        text.append(text.size() == std::strlen(layout.name) ? " (" : " ").append(speaker.name);
    }
    return text.append(")");
}

UpmixSummary runUpmix(const UpmixJob& job, const host::PluginLibrary& library,
                      host::RenderObserver& observer, const ReportLine& report) {
    StereoSource source(job.input, &observer);
    if (source.channels() != 1 && source.channels() != 2) {
        throw host::HostError("'" + job.input + "' has " +
                              host::plural(source.channels(), "channel") +
                              "; upmix takes mono or stereo");
    }
    spectral::UpmixSetup setup = job.setup;
    setup.sampleRate = source.sampleRate();
    setup.warnings = &observer;
    if (setup.layout == nullptr) setup.layout = &spectral::defaultLayout();

    UpmixSummary summary;
    summary.monoInput = source.channels() == 1;
    summary.output = defaultOutput(job, *setup.layout);
    summary.sampleRate = setup.sampleRate;
    std::error_code ignored;
    if (!job.input.empty() && fs::equivalent(summary.output, job.input, ignored)) {
        throw host::HostError("the output would overwrite the input '" + job.input + "'");
    }
    host::OutputFormat format = host::outputFormatFor(summary.output, job.bits, job.type);
    format.speakers = fileSpeakers(*setup.layout);

    // Everything that can refuse the run does so before the output exists.
    spectral::UpmixEngine engine(library, setup);
    // Every method's module is set up, but only those of this job speak.
    const UpmixStages stages(library, engine);
    std::vector<host::HostMessage> messages;
    for (host::HostMessage& message : engine.takeSetupMessages()) {
        if (stages.inUse(message.module)) messages.push_back(std::move(message));
    }
    observer.hostMessages(messages);
    for (const std::string& warning : host::settingsOutsideTheChain(stages.stages, setup.settings)) {
        observer.warning(warning);
    }
    const spectral::SpeakerLayout& layout = engine.layout();
    const auto channels = static_cast<std::size_t>(layout.count);
    summary.channels = layout.count;
    LevelReport levels(job.report ? &report : nullptr, setup.sampleRate, layout);
    host::SoundFileWriter writer(summary.output, format, layout.count, source.sampleRate(),
                                 source.frames());
    summary.speakersStated = writer.statesItsSpeakers();
    const spectral::UpmixControls& controls = setup.controls;
    host::ModuleSession& placement = engine.placementSession(controls.method);
    observer.starting(placement, "upmix with " + placement.module().name +
                                     (controls.atf ? " and ATF4_6" : "") + ": " +
                                     std::to_string(source.sampleRate()) + " Hz, FFT " +
                                     std::to_string(engine.settings().fftSize) + " overlap " +
                                     std::to_string(setup.overlap) + ", " +
                                     host::formatName(format) + ", " + layoutText(layout) +
                                     (summary.monoInput ? ", mono input" : ""));

    BlockWriter blocks(writer, channels, setup.threads >= 2);
    std::size_t taken = 0;
    spectral::upmixStream(
        engine,
        [&](float* left, float* right, std::size_t frames) {
            const std::size_t got = source.read(left, right, frames);
            taken += got;
            observer.progress(static_cast<int64_t>(taken), source.frames(), source.sampleRate());
            return got;
        },
        [&](const float* const* outputs, std::size_t frames) {
            interleave(outputs, channels, frames, blocks.next(frames));
            blocks.commitBlock();
            for (std::size_t c = 0; c < channels; ++c) {
                const float* channel = outputs[c];
                summary.peak[c] = std::max(summary.peak[c], largestMagnitude(channel, frames));
                summary.energy[c] += sumOfSquares(channel, frames);
            }
            levels.add(outputs, frames);
            summary.frames += frames;
        });
    blocks.finish();
    levels.finish();
    writer.commit();
    summary.clippedSamples = engine.clippedSamples();
    summary.limiter = engine.limiterActivity();
    summary.replacedSamples = writer.nonFiniteSamples();
    return summary;
}

}  // namespace quorveil::cli
