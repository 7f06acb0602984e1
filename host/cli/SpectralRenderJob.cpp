#include "host/cli/SpectralRenderJob.h"

#include <algorithm>
#include <vector>

#include "host/cli/Wording.h"
#include "host/hosting/Count.h"
#include "host/soundfiles/SoundFile.h"
#include "host/spectral/SpectralRender.h"

namespace quorveil::host {

using spectral::SpectralRender;
using spectral::SpectralRenderOptions;

RenderSummary renderSpectral(const RenderJob& job, RenderObserver& observer) {
    const OutputFormat format = outputFormatFor(job.output, job.bits);
    SoundFileReader reader(job.input);
    SpectralRenderOptions options;
    options.settings = {static_cast<double>(reader.sampleRate()), job.fftSize, job.overlap};
    options.inputChannels = reader.channels();
    options.maps = spectral::parsePinMaps(job.pinMaps);
    options.parameters = job.settings;
    options.force = job.force;
    options.phaseFrom = job.phaseFrom;
    SpectralRender render(*job.library, job.module, options);
    observer.hostMessages(render.session().takeMessages());

    const auto outputs = static_cast<std::size_t>(render.outputChannels());
    SoundFileWriter writer(job.output, format, render.outputChannels(), reader.sampleRate(),
                                 reader.frames());
    RenderSummary summary;
    summary.sampleRate = reader.sampleRate();
    summary.outputChannels = render.outputChannels();
    summary.format = formatName(format);
    observer.starting(render.session(),
                      job.module.name + ": " + plural(count(reader.channels()), "channel") +
                          " in, " + plural(outputs, "channel") + " out (" +
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
    summary.indicators = render.session().indicatorTallies();
    return summary;
}

}  // namespace quorveil::host
