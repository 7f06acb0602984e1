// SPDX-License-Identifier: MIT
// The vendor's names: the reverse-domain prefix of every unique id and the web
// domain of every information text. Saved host sessions recreate instances by
// unique id, so these never change.
#pragma once

#include <cstddef>
#include <cstring>

namespace quorveil {

inline constexpr const char* kVendorIdPrefix = "audio.quorveil";
inline constexpr const char* kVendorWebDomain = "quorveil.audio";

// The release, from the build (CMakeLists.txt's project version).
#ifndef QUORVEIL_VERSION
#error "QUORVEIL_VERSION must be defined by the build"
#endif
inline constexpr const char* kVersion = QUORVEIL_VERSION;

// A module's information text, shown by a host beside "Version:": a line
// feed, then "<ClassName> <version>, quorveil.audio".
// Held in the module object, so announcing it allocates nothing.
struct InformationText {
    char text[64] = {};

    explicit InformationText(const char* className) {
        std::size_t at = 0;
        auto append = [&](const char* part) {
            for (; *part != '\0' && at + 1 < sizeof text; ++part) {
                text[at++] = *part;
            }
        };
        append("\n");
        append(className);
        append(" ");
        append(kVersion);
        append(", ");
        append(kVendorWebDomain);
        text[at] = '\0';
    }
};

}  // namespace quorveil
