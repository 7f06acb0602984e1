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

// A module's information text, shown by a host beside "Version:": a line
// feed, then a host name made of the class name, a "." and the vendor's web
// domain, "Clip4_6.quorveil.audio". Hosts show it and saved sessions may
// compare it, so it carries no release number (the DLL's version resource
// and surround-host --version do).
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
        append(".");
        append(kVendorWebDomain);
        text[at] = '\0';
    }
};

}  // namespace quorveil
