// SPDX-License-Identifier: MIT
// Hears what the host side notices that does not stop a run but that a user
// should know: a short input file, samples that were not numbers, a setting
// that does nothing. One line each, without a prefix; called on the thread
// that runs the job.
#pragma once

#include <string>

namespace quorveil::host {

class WarningListener {
public:
    virtual ~WarningListener() = default;
    virtual void warning(const std::string& line) = 0;
};

}  // namespace quorveil::host
