// SPDX-License-Identifier: MIT
// The parameter rows ArcTan4_6 and ATF4_6 show alike: the five speaker
// angles of the ring under their heading, and the centre, front and rear
// widths of the image. Each module gives its own ids; names, defaults,
// ranges, units and display format are the same on both panels, and a
// module builds its table by joining these rows with its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "frame/ParameterTable.h"

namespace quorveil {

// A module's ids for the speaker-angle rows and their heading.
struct SpeakerAngleIds {
    int32_t lf, rf, c, ls, rs;
    int32_t heading;
};

// The five angles in degrees, LF RF C LS RS, then their heading: the order
// the host lays the panel out in.
constexpr std::array<plogue::biduleSDK::ParameterEntry, 6> speakerAngleRows(
    const SpeakerAngleIds& ids) {
    using plogue::biduleSDK::realParameter;
    return {realParameter(ids.lf, "LF Speaker Angle", 45.0, 0.0, 360.0, "degrees", 1),
            realParameter(ids.rf, "RF Speaker Angle", 315.0, 0.0, 360.0, "degrees", 1),
            realParameter(ids.c, "C Speaker Angle", 0.0, 0.0, 360.0, "degrees", 1),
            realParameter(ids.ls, "LS Speaker Angle", 120.0, 0.0, 360.0, "degrees", 1),
            realParameter(ids.rs, "RS Speaker Angle", 240.0, 0.0, 360.0, "degrees", 1),
            plogue::biduleSDK::textItem(ids.heading, "Speaker Angles:")};
}

// A module's ids for the three widths of the image.
struct ImageWidthIds {
    int32_t centre, front, rear;
};

// Centre, front and rear width in degrees. The rear width is the one the
// module derives from the other two and shows disabled.
constexpr std::array<plogue::biduleSDK::ParameterEntry, 3> imageWidthRows(
    const ImageWidthIds& ids) {
    using plogue::biduleSDK::realParameter;
    // 119, not 120: with the front width at its 120 the rear width stays >= 0.5.
    return {realParameter(ids.centre, "Center Width", 30.0, 0.0, 119.0, "degrees", 1),
            realParameter(ids.front, "Front Width", 60.0, 0.0, 120.0, "degrees", 1),
            realParameter(ids.rear, "Rear Width", 90.0, 0.0, 180.0, "degrees", 1)};
}

// Groups of rows, one after another, as one table.
template <std::size_t... Rows>
constexpr auto joinParameterRows(
    const std::array<plogue::biduleSDK::ParameterEntry, Rows>&... groups) {
    std::array<plogue::biduleSDK::ParameterEntry, (Rows + ...)> table{};
    std::size_t next = 0;
    auto append = [&](const auto& group) {
        for (const plogue::biduleSDK::ParameterEntry& row : group) table[next++] = row;
    };
    (append(groups), ...);
    return table;
}

}  // namespace quorveil
