// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/spectral/SpectralRender.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "host/hosting/Count.h"

namespace quorveil::spectral {

namespace {

using host::count;

std::string firstWord(const std::string& name) {
    return host::foldCase(name.substr(0, name.find_first_of(" \t")));
}

PhaseSource channelSource(int channel, int inputs) {
    PhaseSource source;
    source.weights.assign(count(inputs), 0.0f);
    source.weights[count(channel)] = 1.0f;
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

std::vector<int> channelList(const std::string& text, const std::string& whole) {
    std::vector<int> channels;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        const std::string item = host::trimmed(text.substr(at, comma - at));
        char* end = nullptr;
        const long channel = std::strtol(item.c_str(), &end, 10);
        if (item.empty() || *end != '\0' || channel < 1 || channel > 4096) {
            throw host::HostError("--map wants magnitude=1,2,... or frequency=1,2,... (input "
                                  "channels from 1), not '" + whole + "'");
        }
        channels.push_back(static_cast<int>(channel - 1));
        at = comma + 1;
    }
    return channels;
}

plogue::biduleSDK::EngineInfo checkedEngine(const StftSettings& settings) {
    if (std::string problem = checkSettings(settings); !problem.empty()) {
        throw host::HostError(problem);
    }
    return engineInfoFor(settings, framesPerCall(settings));
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace

PhaseSource parsePhaseSource(const std::string& text, int inputs) {
    const std::string s = host::foldCase(host::trimmed(text));
    PhaseSource source;
    source.weights.assign(count(inputs), 0.0f);
    if (s == "l") {
        source.weights[0] = 1.0f;
    } else if (s == "r" && inputs > 1) {
        source.weights[1] = 1.0f;
    } else if ((s == "l+r" || s == "r+l") && inputs > 1) {
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

void applyPhaseFrom(const std::vector<std::string>& items, int inputs,
                    std::vector<PhaseSource>& sources,
                    const std::function<int(const std::string&)>& outputNamed) {
    for (const std::string& item : items) {
        const auto equals = item.rfind('=');
        if (equals == std::string::npos) {
            std::fill(sources.begin(), sources.end(), parsePhaseSource(item, inputs));
        } else {
            const int output = outputNamed(item.substr(0, equals));
            sources[count(output)] = parsePhaseSource(item.substr(equals + 1), inputs);
        }
    }
}

PinMaps parsePinMaps(const std::vector<std::string>& texts) {
    PinMaps maps;
    for (const std::string& text : texts) {
        const auto equals = text.find('=');
        const std::string family =
            host::foldCase(host::trimmed(text.substr(0, std::min(equals, text.size()))));
        if (equals != std::string::npos && (family == "magnitude" || family == "mag")) {
            maps.magnitude = channelList(text.substr(equals + 1), text);
        } else if (equals != std::string::npos && (family == "frequency" || family == "freq")) {
            maps.frequency = channelList(text.substr(equals + 1), text);
        } else {
            channelList("", text);  // the one message for every malformed map
        }
    }
    return maps;
}

bool isSpectralModule(const host::PinCounts& pins) {
    return pins.magnitudeIn + pins.magnitudeOut + pins.frequencyIn + pins.frequencyOut > 0;
}

std::vector<PhaseSource> defaultPhaseSources(const std::vector<std::string>& outputNames,
                                             int inputs) {
    std::vector<PhaseSource> sources;
    for (const std::string& name : outputNames) {
        const std::string word = firstWord(name);
        if (inputs < 2 || word == "lf" || word == "ls" || word == "l") {
            sources.push_back(channelSource(0, inputs));
        } else if (word == "rf" || word == "rs" || word == "r") {
            sources.push_back(channelSource(1, inputs));
        } else {
            PhaseSource both = channelSource(0, inputs);
            both.weights[1] = 1.0f;
            sources.push_back(both);
        }
    }
    return sources;
}

SpectralRender::SpectralRender(const host::PluginLibrary& library, const host::ModuleRow& module,
                               const SpectralRenderOptions& options)
    : module_(library, module, checkedEngine(options.settings)),
      settings_(options.settings), inputs_(options.inputChannels) {
    const host::PinCounts& pins = module_.session.pins();
    const std::string& name = module.name;
    if (pins.magnitudeOut <= 0) {
        throw host::HostError(name + " has no magnitude outputs to resynthesise");
    }
    magnitudeMap_ = pinMap(options.maps.magnitude, pins.magnitudeIn, inputs_, "magnitude", name);
    frequencyMap_ = pinMap(options.maps.frequency, pins.frequencyIn, inputs_, "frequency", name);
    // The host lists input pins then output pins; the magnitude outputs come
    // last among the outputs.
    const std::vector<std::string>& names = module_.session.outputPinNames();
    const std::size_t first = names.size() >= count(pins.magnitudeOut)
                                  ? names.size() - count(pins.magnitudeOut)
                                  : 0;
    outputNames_.assign(names.begin() + static_cast<std::ptrdiff_t>(first), names.end());
    outputNames_.resize(count(pins.magnitudeOut));
    phaseSources_ = defaultPhaseSources(outputNames_, inputs_);
    applyPhaseFrom(options.phaseFrom, inputs_, phaseSources_, [this](const std::string& pin) {
        // The whole name, or its first word ("C" for "C magnitude out").
        const std::string wanted = host::foldCase(host::trimmed(pin));
        for (std::size_t o = 0; o < outputNames_.size(); ++o) {
            if (host::foldCase(outputNames_[o]) == wanted) return static_cast<int>(o);
        }
        for (std::size_t o = 0; o < outputNames_.size(); ++o) {
            if (firstWord(outputNames_[o]) == wanted) return static_cast<int>(o);
        }
        throw host::HostError("--phase-from: no output '" + host::trimmed(pin) + "' (" +
                              joined(outputNames_) + ")");
    });
    module_.session.setAll(options.parameters, options.force);
}

std::vector<int> SpectralRender::usedInputChannels() const {
    std::vector<bool> used(count(inputs_), false);
    for (int channel : magnitudeMap_) used[count(channel)] = true;
    for (int channel : frequencyMap_) used[count(channel)] = true;
    for (const PhaseSource& source : phaseSources_) {
        for (std::size_t c = 0; c < source.weights.size() && c < used.size(); ++c) {
            used[c] = used[c] || source.weights[c] != 0.0f;
        }
    }
    std::vector<int> channels;
    for (std::size_t c = 0; c < used.size(); ++c) {
        if (used[c]) channels.push_back(static_cast<int>(c));
    }
    return channels;
}

std::size_t SpectralRender::run(const SpectralStream::Reader& read, const Writer& write,
                                host::HostMessageListener* observer) {
    SpectralStream stream(settings_, inputs_, phaseSources_, framesPerCall(settings_));
    writer_ = &write;
    observer_ = observer;
    return stream.run(read, *this);
}

void SpectralRender::processFrames(SpectralStream& stream) {
    host::ProcessBuffers& buffers = module_.buffers;
    for (std::size_t p = 0; p < magnitudeMap_.size(); ++p) {
        copyPin(stream.magnitudes(), magnitudeMap_[p], buffers.magnitudeIn, static_cast<int>(p));
    }
    for (std::size_t p = 0; p < frequencyMap_.size(); ++p) {
        copyPin(stream.frequencies(), frequencyMap_[p], buffers.frequencyIn, static_cast<int>(p));
    }
    module_.process();
    if (observer_ != nullptr) {
        if (auto messages = module_.session.takeMessages(); !messages.empty()) {
            observer_->hostMessages(messages);
        }
    }
    for (int o = 0; o < buffers.magnitudeOut.pinCount(); ++o) {
        copyPin(buffers.magnitudeOut, o, stream.outputs(), o);
    }
}

void SpectralRender::deliver(const float* const* channels, std::size_t frames) {
    (*writer_)(channels, frames);
}

}  // namespace quorveil::spectral
