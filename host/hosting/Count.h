// SPDX-License-Identifier: MIT
// Pin, block, frame and bin counts come from the host records as signed
// 32-bit integers; containers and loops want sizes. Every such cast on the
// host side goes through count(), which takes a negative count as none.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorveil::host {

inline std::size_t count(int32_t n) { return n > 0 ? static_cast<std::size_t>(n) : 0; }

}  // namespace quorveil::host
