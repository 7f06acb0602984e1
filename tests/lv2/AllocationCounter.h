// SPDX-License-Identifier: GPL-3.0-or-later
// Counts calls to malloc, calloc, realloc and free (and so operator new and
// delete) while counting is on. The test program defines these functions
// itself, so every shared object it loads (an LV2 plug-in among them) calls
// them: a real-time run() must leave the count at zero.
#pragma once

#include <cstdint>

namespace quorveil::testing {

class AllocationCounter {
public:
    AllocationCounter();   // starts counting from zero
    ~AllocationCounter();  // stops counting
    uint64_t calls() const;
};

// False in sanitizer builds, whose runtime owns malloc: the counter then
// counts nothing and tests that need it skip.
bool allocationCountingAvailable();

}  // namespace quorveil::testing
