// SPDX-License-Identifier: MIT
// Whether two of the host's buffers share memory. A host may hand the same
// buffer to an input and an output pin, or buffers that overlap in part; the
// kernels choose between their straight and their staged loops by it.
// Addresses only, never sample values, compared as integers: pointers into
// different buffers have no order in C++.
#pragma once

#include <cstdint>

namespace quorveil {

// True when the `count` floats from `a` and the `count` floats from `b`
// share a byte.
inline bool buffersOverlap(const float* a, const float* b, uint32_t count) {
    const std::uintptr_t bytes = std::uintptr_t{count} * sizeof(float);
    const auto x = reinterpret_cast<std::uintptr_t>(a);
    const auto y = reinterpret_cast<std::uintptr_t>(b);
    return x < y + bytes && y < x + bytes;
}

}  // namespace quorveil
