// SPDX-License-Identifier: GPL-3.0-or-later
// Flush-to-zero and denormals-are-zero for the thread that renders, while an
// object of this class lives. surround-host owns its processing thread, so it
// sets the mode itself, as an audio host does around its processing: a
// subnormal sample (below about 1e-38) then counts as silence instead of
// slowing every kernel that touches it by an order of magnitude. The plug-in
// library never sets it: the floating-point mode of an audio thread is its
// host's to choose.
#pragma once

#if defined(__SSE__) || defined(_M_X64) || defined(_M_IX86_FP)
#include <xmmintrin.h>
#define QUORVEIL_HAS_MXCSR 1
#endif

namespace quorveil::cli {

class DenormalsOff {
public:
#if defined(QUORVEIL_HAS_MXCSR)
    // MXCSR bit 15 is flush-to-zero, bit 6 denormals-are-zero.
    static constexpr unsigned kFlushToZero = 0x8000;
    static constexpr unsigned kDenormalsAreZero = 0x0040;
    DenormalsOff() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | kFlushToZero | kDenormalsAreZero); }
    ~DenormalsOff() { _mm_setcsr(saved_); }

private:
    unsigned saved_;
#else
    DenormalsOff() = default;
#endif

public:
    DenormalsOff(const DenormalsOff&) = delete;
    DenormalsOff& operator=(const DenormalsOff&) = delete;
};

}  // namespace quorveil::cli
