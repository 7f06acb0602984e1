// SPDX-License-Identifier: GPL-3.0-or-later
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

// "channel 2 of 'in.wav' is not used", "channels 3–8 of 'in.wav' are not
// used", "channels 1 and 3–4 ...": `unused` counts from 1, ascending.
inline std::string unusedChannels(const std::vector<int>& unused, const std::string& file) {
    std::vector<std::string> runs;
    for (std::size_t i = 0; i < unused.size();) {
        std::size_t j = i;
        while (j + 1 < unused.size() && unused[j + 1] == unused[j] + 1) ++j;
        runs.push_back(j == i ? std::to_string(unused[i])
                              : std::to_string(unused[i]) + "\xe2\x80\x93" + std::to_string(unused[j]));
        i = j + 1;
    }
    std::string list;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        list += (r == 0 ? "" : r + 1 == runs.size() ? " and " : ", ") + runs[r];
    }
    const bool one = unused.size() == 1;
    return (one ? "channel " : "channels ") + list + " of '" + file + "' " +
           (one ? "is" : "are") + " not used";
}

}  // namespace quorveil::host
