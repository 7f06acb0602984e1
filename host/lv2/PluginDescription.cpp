// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/lv2/PluginDescription.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace quorveil::lv2 {

double PortDescription::clamp(double value) const {
    if (std::isnan(value)) {
        return defaultValue;
    }
    const double inRange = std::clamp(value, minimum, maximum);
    return control == ControlKind::Real ? inRange : std::round(inRange);
}

PluginVersion pluginVersion() {
    int major = 0;
    PluginVersion version;
    if (std::sscanf(QUORVEIL_VERSION, "%d.%d.%d", &major, &version.minor, &version.micro) != 3) {
        throw std::invalid_argument(std::string("version '") + QUORVEIL_VERSION +
                                    "' is not MAJOR.MINOR.PATCH");
    }
    return version;
}

void PluginDescription::addAudioPorts(PortKind kind, std::span<const AudioChannel> channels,
                                      const std::string& group) {
    for (const AudioChannel& channel : channels) {
        PortDescription port;
        port.kind = kind;
        port.symbol = channel.symbol;
        port.name = channel.name;
        port.group = group;
        port.designation = channel.designation;
        ports.push_back(port);
    }
}

uint32_t PluginDescription::portIndex(const std::string& symbol) const {
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (ports[i].symbol == symbol) {
            return static_cast<uint32_t>(i);
        }
    }
    throw std::out_of_range("no port '" + symbol + "' in " + uri);
}

}  // namespace quorveil::lv2
