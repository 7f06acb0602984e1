// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/cli/SpectralRenderJob.h"

#include <algorithm>
#include <vector>

#include "host/cli/Wording.h"
#include "host/hosting/ChainSettings.h"
#include "host/hosting/Count.h"
#include "host/soundfiles/SoundFile.h"
#include "host/spectral/SpectralRender.h"

namespace quorveil::host {

using spectral::SpectralRender;
using spectral::SpectralRenderOptions;

namespace {

// Input channels (counted from 1) that nothing reads.
std::vector<int> unusedInputs(const SpectralRender& render, int32_t channels) {
    std::vector<bool> used(count(channels), false);
    for (int channel : render.usedInputChannels()) used[count(channel)] = true;
    std::vector<int> unused;
    for (std::size_t c = 0; c < used.size(); ++c) {
        if (!used[c]) unused.push_back(static_cast<int>(c) + 1);
    }
    return unused;
}

}  // namespace

RenderSummary renderSpectral(const RenderJob& job, RenderObserver& observer) {
    OutputFormat format = outputFormatFor(job.output, job.bits, job.type);
    SoundFileReader reader(job.input, &observer);
    SpectralRenderOptions options;
    options.settings = {static_cast<double>(reader.sampleRate()), job.fftSize, job.overlap};
    options.inputChannels = reader.channels();
    options.maps = spectral::parsePinMaps(job.pinMaps);
    options.force = job.force;
    options.phaseFrom = job.phaseFrom;
    SpectralRender render(*job.library, job.module, options);
    observer.hostMessages(render.session().takeMessages());
    ModuleSession* chain[] = {&render.session()};
    applySettings(chain, job.settings, job.force, &observer);
    observer.hostMessages(render.session().takeMessages());
    for (const std::string& option : job.givenOptions) {
        if (option == "--block") {
            observer.warning("--block does nothing for " + job.module.name +
                             ": the spectral path runs whole FFT frames");
        }
    }
    if (const std::vector<int> unused = unusedInputs(render, reader.channels()); !unused.empty()) {
        observer.warning(unusedChannels(unused, job.input));
    }

    const auto outputs = static_cast<std::size_t>(render.outputChannels());
    if (outputs > 1) {
        format.speakers = speakersNamedBy(render.outputNames());
    }
    SoundFileWriter writer(job.output, format, render.outputChannels(), reader.sampleRate(),
                           reader.frames());
    RenderSummary summary;
    summary.output = job.output;
    summary.sampleRate = reader.sampleRate();
    summary.outputChannels = render.outputChannels();
    summary.format = formatName(format);
    summary.written = format;
    summary.outputNames = render.outputNames();
    observer.starting(render.session(),
                      job.module.name + ": " + plural(count(reader.channels()), "channel") +
                          " in, " + plural(static_cast<int64_t>(outputs), "channel") + " out (" +
                          joined(render.outputNames()) + "), " +
                          std::to_string(reader.sampleRate()) + " Hz, FFT " +
                          std::to_string(job.fftSize) + " overlap " +
                          std::to_string(job.overlap) + ", " + summary.format);

    std::vector<float> interleaved;
    render.run(
        [&](float* to, std::size_t frames) {
            return static_cast<std::size_t>(reader.read(to, static_cast<int64_t>(frames)));
        },
        [&](const float* const* channels, std::size_t frames) {
            interleaved.resize(std::max(interleaved.size(), frames * outputs));
            for (std::size_t c = 0; c < outputs; ++c) {
                for (std::size_t i = 0; i < frames; ++i) {
                    interleaved[i * outputs + c] = channels[c][i];
                }
            }
            writer.write(interleaved.data(), static_cast<int64_t>(frames));
            summary.frames += static_cast<int64_t>(frames);
            observer.progress(summary.frames, reader.frames(), reader.sampleRate());
        },
        &observer);
    writer.commit();
    summary.levels = writer.levels();
    summary.replacedSamples = writer.nonFiniteSamples();
    summary.forced = job.force;
    summary.indicators = render.session().indicatorTallies();
    return summary;
}

}  // namespace quorveil::host
