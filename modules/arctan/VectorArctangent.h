// SPDX-License-Identifier: MIT
// ArcTan4_6's arctangents for a run of bins at once: each the double
// arctangent of float arguments, rounded to float, exactly as the scalar
// std::atan2 path gives it.
#pragma once

#include <cstdint>

namespace quorveil::arctan {

// The scalar path: the double arctangent of y over x, rounded to float.
float arctangent(float y, float x);

// out[k] = arctangent(y[k], x[k]) for k < count, bit for bit.
//
// On x86-64 Linux with SLEEF, eight or four bins at a time by SLEEF's
// vectorised double arctangent (at most 1 ulp off in double). That double
// rounds to the same float as the library's own unless it lies within a few
// double ulps of a point halfway between two floats: such bins, and bins
// whose result is zero, tiny or not finite, are taken again by std::atan2.
// So the float results are the scalar path's bits, not merely within an ulp.
// Elsewhere (the Windows DLL among them) the scalar path throughout.
void arctangents(const float* y, const float* x, float* out, uint32_t count);

// Whether arctangents runs in vector registers on this processor.
bool arctangentsVectorised();

// arctangents with at most `lanes` bins at a time (8, 4, or 1 for the scalar
// path), so that tests reach every width the processor has; a width the
// processor or the build lacks gives the next narrower one.
void arctangentsOfWidth(uint32_t lanes, const float* y, const float* x, float* out,
                        uint32_t count);

}  // namespace quorveil::arctan
