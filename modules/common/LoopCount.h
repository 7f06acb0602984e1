// SPDX-License-Identifier: MIT
// Block size, frame and bin counts arrive from the host as signed integers.
// A negative count would run a loop far past the host's buffers, so it is
// taken as nothing to do.
#pragma once

#include <cstdint>

namespace quorveil {

inline uint32_t loopCount(int32_t count) { return count > 0 ? static_cast<uint32_t>(count) : 0u; }

}  // namespace quorveil
