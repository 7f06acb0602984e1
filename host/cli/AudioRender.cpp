// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/cli/AudioRender.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include "host/cli/Wording.h"
#include "host/hosting/ChainSettings.h"
#include "host/soundfiles/SoundFile.h"

namespace quorveil::host {

namespace {

constexpr std::size_t kChunkFrames = 32768;

// An audio module has no use for the spectral options, nor for the FFT
// settings unless it reports the FFT path's delay (Clip4_6 does).
void warnOfIdleOptions(const RenderJob& job, const ModuleSession& session,
                       RenderObserver& observer) {
    bool reportsFftDelay = false;
    for (const std::string& name : session.outputPinNames()) {
        reportsFftDelay |= foldCase(name).find("fft delay") != std::string::npos;
    }
    for (const std::string& option : job.givenOptions) {
        if (option == "--map" || option == "--phase-from") {
            observer.warning(option + " does nothing for " + job.module.name +
                             ": it has no spectral pins");
        } else if ((option == "--fft-size" || option == "--overlap") && !reportsFftDelay) {
            observer.warning(option + " does nothing for " + job.module.name +
                             ": it has no spectral pins and reports no FFT delay");
        }
    }
}

}  // namespace

bool isAudioModule(const PinCounts& pins) {
    const bool spectral = pins.frequencyIn + pins.frequencyOut + pins.magnitudeIn +
                              pins.magnitudeOut > 0;
    return !spectral && pins.audioOut > 0;
}

RenderSummary renderAudio(const RenderJob& job, RenderObserver& observer) {
    OutputFormat format = outputFormatFor(job.output, job.bits, job.type);
    SoundFileReader reader(job.input, &observer);

    ModuleSession session(*job.library, job.module, engineFor(job, reader.sampleRate()));
    observer.hostMessages(session.takeMessages());
    ModuleSession* chain[] = {&session};
    applySettings(chain, job.settings, job.force, &observer);
    observer.hostMessages(session.takeMessages());

    const int32_t inputs = session.pins().audioIn;
    const int32_t outputs = session.pins().audioOut;
    const int32_t fileChannels = reader.channels();
    if (fileChannels < inputs) {
        throw HostError(job.module.name + " takes " + plural(inputs, "input channel") + " (" +
                        joined(session.inputPinNames()) + "); '" + job.input + "' has " +
                        std::to_string(fileChannels));
    }
    warnOfIdleOptions(job, session, observer);
    if (fileChannels > inputs) {
        std::vector<int> unused(static_cast<std::size_t>(fileChannels - inputs));
        std::iota(unused.begin(), unused.end(), inputs + 1);
        observer.warning(unusedChannels(unused, job.input));
    }

    if (outputs > 1) {
        format.speakers = speakersNamedBy(session.outputPinNames());
    }
    SoundFileWriter writer(job.output, format, outputs, reader.sampleRate(), reader.frames());
    RenderSummary summary;
    summary.output = job.output;
    summary.sampleRate = reader.sampleRate();
    summary.outputChannels = outputs;
    summary.format = formatName(format);
    summary.written = format;
    summary.outputNames = session.outputPinNames();
    observer.starting(session, job.module.name + ": " + plural(inputs, "channel") + " in, " +
                                   plural(outputs, "channel") + " out (" +
                                   joined(session.outputPinNames()) + "), " +
                                   std::to_string(reader.sampleRate()) + " Hz, block " +
                                   std::to_string(job.blockSize) + ", " + summary.format);

    // Files move in chunks of whole blocks (about 32768 frames): few, large
    // reads and writes, and still a fixed amount of memory.
    const auto block = static_cast<std::size_t>(job.blockSize);
    const std::size_t chunk = block * std::max<std::size_t>(1, kChunkFrames / block);
    const auto in = static_cast<std::size_t>(inputs);
    const auto stride = static_cast<std::size_t>(fileChannels);
    const auto out = static_cast<std::size_t>(outputs);
    ProcessBuffers buffers = session.makeBuffers();
    std::vector<float> inputFrames(chunk * stride);
    std::vector<float> outputFrames(chunk * out);

    for (;;) {
        const auto got = static_cast<std::size_t>(
            reader.read(inputFrames.data(), static_cast<int64_t>(chunk)));
        if (got == 0) {
            break;
        }
        for (std::size_t first = 0; first < got; first += block) {
            // The engine runs whole blocks: a short last block is padded with
            // silence, and only the file's own frames are written back.
            const std::size_t frames = std::min(block, got - first);
            for (std::size_t pin = 0; pin < in; ++pin) {
                float* samples = buffers.audioIn.pin(static_cast<int32_t>(pin));
                const float* source = inputFrames.data() + first * stride + pin;
                for (std::size_t i = 0; i < frames; ++i) {
                    samples[i] = source[i * stride];
                }
                std::fill(samples + frames, samples + block, 0.0f);
            }
            session.process(buffers);
            for (std::size_t pin = 0; pin < out; ++pin) {
                const float* samples = buffers.audioOut.pin(static_cast<int32_t>(pin));
                float* target = outputFrames.data() + first * out + pin;
                for (std::size_t i = 0; i < frames; ++i) {
                    target[i * out] = samples[i];
                }
            }
            if (auto messages = session.takeMessages(); !messages.empty()) {
                observer.hostMessages(messages);
            }
        }
        writer.write(outputFrames.data(), static_cast<int64_t>(got));
        summary.frames += static_cast<int64_t>(got);
        observer.progress(summary.frames, reader.frames(), reader.sampleRate());
    }

    writer.commit();
    summary.levels = writer.levels();
    summary.replacedSamples = writer.nonFiniteSamples();
    summary.forced = job.force;
    summary.indicators = session.indicatorTallies();
    return summary;
}

}  // namespace quorveil::host
