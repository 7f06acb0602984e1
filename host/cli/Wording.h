// Small helpers for the command line's one-line messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorveil::host {

// "1 channel", "2 channels".
inline std::string plural(int64_t n, const std::string& noun) {
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

// "L, R, unnamed": names as a host shows them, an empty one as "unnamed".
inline std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : ", ") + (name.empty() ? std::string("unnamed") : name);
    }
    return text;
}

}  // namespace quorveil::host
