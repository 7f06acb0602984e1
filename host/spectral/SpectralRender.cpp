#include "host/spectral/SpectralRender.h"

#include <algorithm>
#include <cctype>

namespace quorveil::spectral {

namespace {

std::size_t count(int n) { return static_cast<std::size_t>(n); }

std::string upperFirstWord(const std::string& name) {
    std::string word;
    for (char c : name) {
        if (c == ' ' || c == '\t') break;
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return word;
}

PhaseSource channelSource(int channel, int inputs) {
    PhaseSource source;
    source.weights.assign(count(inputs), 0.0f);
    source.weights[count(channel)] = 1.0f;
    return source;
}

PhaseSource parseRenderSource(const std::string& text, int inputs) {
    std::string s = text;
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    PhaseSource source;
    source.weights.assign(count(inputs), 0.0f);
    if (s == "L") {
        source.weights[0] = 1.0f;
    } else if (s == "R" && inputs > 1) {
        source.weights[1] = 1.0f;
    } else if ((s == "L+R" || s == "R+L") && inputs > 1) {
        source.weights[0] = source.weights[1] = 1.0f;
    } else {
        char* end = nullptr;
        const long channel = std::strtol(s.c_str(), &end, 10);
        if (s.empty() || *end != '\0' || channel < 1 || channel > inputs) {
            throw host::HostError("--phase-from wants L, R, L+R or a channel 1.." +
                                  std::to_string(inputs) + ", not '" + text + "'");
        }
        source.weights[count(static_cast<int>(channel - 1))] = 1.0f;
    }
    return source;
}

std::vector<int> pinMap(const std::vector<int>& given, int pins, int inputs, const char* family,
                        const std::string& module) {
    std::vector<int> map = given;
    if (map.empty()) {
        for (int p = 0; p < pins; ++p) map.push_back(p);
    }
    if (static_cast<int>(map.size()) != pins) {
        throw host::HostError(module + " has " + std::to_string(pins) + " " + family +
                              " inputs; the map names " + std::to_string(map.size()));
    }
    for (int channel : map) {
        if (channel < 0 || channel >= inputs) {
            throw host::HostError(module + "'s " + std::to_string(pins) + " " + family +
                                  " inputs need input channel " + std::to_string(channel + 1) +
                                  ", and the input has " + std::to_string(inputs));
        }
    }
    return map;
}

}  // namespace

bool isSpectralModule(const host::PluginLibrary& library, const std::string& module) {
    host::HostedInstance instance(library, library.findModule(module).uniqueId);
    const host::PinCounts pins = instance.pinCounts();
    return pins.magnitudeIn + pins.magnitudeOut + pins.frequencyIn + pins.frequencyOut > 0;
}

std::vector<PhaseSource> defaultPhaseSources(const std::vector<std::string>& outputNames,
                                             int inputs) {
    std::vector<PhaseSource> sources;
    for (const std::string& name : outputNames) {
        const std::string word = upperFirstWord(name);
        if (inputs < 2 || word == "LF" || word == "LS" || word == "L") {
            sources.push_back(channelSource(0, inputs));
        } else if (word == "RF" || word == "RS" || word == "R") {
            sources.push_back(channelSource(1, inputs));
        } else {
            PhaseSource both = channelSource(0, inputs);
            both.weights[1] = 1.0f;
            sources.push_back(both);
        }
    }
    return sources;
}

SpectralRender::SpectralRender(const host::PluginLibrary& library, const std::string& module,
                               const SpectralRenderOptions& options)
    : module_(library, module, engineInfoFor(options.settings, framesPerCall(options.settings))),
      settings_(options.settings), inputs_(options.inputChannels) {
    const host::PinCounts& pins = module_.pins();
    if (pins.magnitudeOut <= 0) {
        throw host::HostError(module_.className() + " has no magnitude outputs to resynthesise");
    }
    magnitudeMap_ = pinMap(options.magnitudeMap, pins.magnitudeIn, inputs_, "magnitude", module_.className());
    frequencyMap_ = pinMap(options.frequencyMap, pins.frequencyIn, inputs_, "frequency", module_.className());
    // The host lists input pins then output pins; the magnitude outputs come
    // last among the outputs.
    const std::vector<std::string> names = module_.instance().outputPinNames();
    const std::size_t first = names.size() >= count(pins.magnitudeOut)
                                  ? names.size() - count(pins.magnitudeOut)
                                  : 0;
    outputNames_.assign(names.begin() + static_cast<std::ptrdiff_t>(first), names.end());
    outputNames_.resize(count(pins.magnitudeOut));
    phaseSources_ = defaultPhaseSources(outputNames_, inputs_);
    for (const std::string& item : options.phaseFrom) {
        const auto equals = item.rfind('=');
        if (equals == std::string::npos) {
            std::fill(phaseSources_.begin(), phaseSources_.end(), parseRenderSource(item, inputs_));
            continue;
        }
        const std::string pin = item.substr(0, equals);
        const auto named = std::find(outputNames_.begin(), outputNames_.end(), pin);
        if (named == outputNames_.end()) {
            throw host::HostError("--phase-from: " + module_.className() + " has no output '" + pin + "'");
        }
        phaseSources_[count(static_cast<int>(named - outputNames_.begin()))] =
            parseRenderSource(item.substr(equals + 1), inputs_);
    }
    applySettings(options.parameters, {&module_});
}

std::size_t SpectralRender::run(const SpectralStream::Reader& read, const Writer& write) {
    SpectralStream stream(settings_, inputs_, phaseSources_, framesPerCall(settings_));
    writer_ = &write;
    return stream.run(read, *this);
}

void SpectralRender::processFrames(SpectralStream& stream) {
    host::ProcessBuffers& buffers = module_.buffers();
    const auto& engine = stream.engine();
    const std::size_t bins = count(engine.binCount);
    for (int f = 0; f < engine.frameCount; ++f) {
        for (std::size_t p = 0; p < magnitudeMap_.size(); ++p) {
            std::copy_n(stream.magnitudes().frame(magnitudeMap_[p], f), bins,
                        buffers.magnitudeIn.frame(static_cast<int>(p), f));
        }
        for (std::size_t p = 0; p < frequencyMap_.size(); ++p) {
            std::copy_n(stream.frequencies().frame(frequencyMap_[p], f), bins,
                        buffers.frequencyIn.frame(static_cast<int>(p), f));
        }
    }
    module_.process();
    for (int o = 0; o < buffers.magnitudeOut.pinCount(); ++o) {
        for (int f = 0; f < engine.frameCount; ++f) {
            std::copy_n(buffers.magnitudeOut.frame(o, f), bins, stream.outputs().frame(o, f));
        }
    }
}

void SpectralRender::deliver(const float* const* channels, std::size_t frames) {
    (*writer_)(channels, frames);
}

}  // namespace quorveil::spectral
