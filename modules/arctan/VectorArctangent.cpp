// SPDX-License-Identifier: MIT
#include "modules/arctan/VectorArctangent.h"

#include <cmath>
#include <cstring>

// GCC only: the vector clones are chosen by GCC target attributes; other
// compilers take the scalar path, which gives the same bits.
#if defined(QUORVEIL_HAVE_SLEEF) && defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define QUORVEIL_SLEEF_ARCTANGENTS 1
#include <immintrin.h>
#include <sleef.h>
// sleef.h declares each width's functions only when the whole file is built
// for that width; here they are called from functions built for it and
// chosen at run time, so the two used are declared as SLEEF exports them.
#pragma GCC push_options
#pragma GCC target("avx2,fma,avx512f")
extern "C" {
__m512d Sleef_atan2d8_u10avx512f(__m512d y, __m512d x);
__m256d Sleef_atan2d4_u10avx2(__m256d y, __m256d x);
}
#pragma GCC pop_options
#endif

namespace quorveil::arctan {

float arctangent(float y, float x) {
    return static_cast<float>(std::atan2(static_cast<double>(y), static_cast<double>(x)));
}

#if QUORVEIL_SLEEF_ARCTANGENTS

namespace {

// A double rounds to float by its top 24 significant bits; the 29 bits below
// decide the direction, and halfway is 1 << 28. Two doubles a few ulps apart
// round alike unless a halfway point lies between them, so a vector result
// within kMargin ulps of one (or any result too small, too large or not
// finite for that reasoning to hold) is taken again by the scalar path.
// SLEEF's and the C library's arctangents are each within 1 ulp.
constexpr uint64_t kRoundingBits = (uint64_t{1} << 29) - 1;
constexpr uint64_t kHalfway = uint64_t{1} << 28;
constexpr uint64_t kMargin = 16;
constexpr double kSmallest = 0x1p-100;  // far above float's smallest normal
constexpr double kLargest = 4.0;         // arctangents lie within +-pi

inline bool roundsAsTheLibrary(double v) {
    const double magnitude = std::fabs(v);
    if (!(magnitude >= kSmallest && magnitude <= kLargest)) {
        return false;
    }
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const uint64_t low = bits & kRoundingBits;
    const uint64_t distance = low > kHalfway ? low - kHalfway : kHalfway - low;
    return distance > kMargin;
}

// The bins a vector pass left: zero results where the C rules give the
// signed zero of y exactly (y zero, x positive or +0), the rest by std::atan2.
inline float arctangentAgain(float y, float x) {
    if (y == 0.0f && !std::signbit(x) && !std::isnan(x)) {
        return y;
    }
    return arctangent(y, x);
}

template <int Lanes>
inline void finishLanes(const float* y, const float* x, const double* values, float* out) {
    for (int k = 0; k < Lanes; ++k) {
        out[k] = roundsAsTheLibrary(values[k]) ? static_cast<float>(values[k])
                                               : arctangentAgain(y[k], x[k]);
    }
}

__attribute__((target("avx512f"))) void arctangentsAvx512(const float* y, const float* x,
                                                          float* out, uint32_t count) {
    // roundsAsTheLibrary for eight lanes at once.
    const __m512d smallest = _mm512_set1_pd(kSmallest);
    const __m512d largest = _mm512_set1_pd(kLargest);
    const __m512i roundingBits = _mm512_set1_epi64(static_cast<int64_t>(kRoundingBits));
    const __m512i halfway = _mm512_set1_epi64(static_cast<int64_t>(kHalfway));
    const __m512i margin = _mm512_set1_epi64(static_cast<int64_t>(kMargin));
    uint32_t k = 0;
    for (; k + 8 <= count; k += 8) {
        // (The masked forms: GCC 12 warns of the plain ones' undefined source.)
        const __m512d yd = _mm512_mask_cvtps_pd(_mm512_setzero_pd(), 0xFF, _mm256_loadu_ps(y + k));
        const __m512d xd = _mm512_mask_cvtps_pd(_mm512_setzero_pd(), 0xFF, _mm256_loadu_ps(x + k));
        const __m512d values = Sleef_atan2d8_u10avx512f(yd, xd);
        const __m512d magnitude = _mm512_abs_pd(values);
        const __mmask8 inRange = _mm512_cmp_pd_mask(magnitude, smallest, _CMP_GE_OQ) &
                                 _mm512_cmp_pd_mask(magnitude, largest, _CMP_LE_OQ);
        const __m512i low = _mm512_and_si512(_mm512_castpd_si512(values), roundingBits);
        const __m512i distance =
            _mm512_mask_abs_epi64(_mm512_setzero_si512(), 0xFF, _mm512_sub_epi64(low, halfway));
        const __mmask8 safe = inRange & _mm512_cmpgt_epu64_mask(distance, margin);
        _mm256_storeu_ps(out + k, _mm512_mask_cvtpd_ps(_mm256_setzero_ps(), 0xFF, values));
        if (safe != 0xFF) {
            for (uint32_t lane = 0; lane < 8; ++lane) {
                if (!(safe & (1u << lane))) {
                    out[k + lane] = arctangentAgain(y[k + lane], x[k + lane]);
                }
            }
        }
    }
    for (; k < count; ++k) {
        out[k] = arctangent(y[k], x[k]);
    }
}

__attribute__((target("avx2,fma"))) void arctangentsAvx2(const float* y, const float* x,
                                                        float* out, uint32_t count) {
    uint32_t k = 0;
    alignas(32) double values[4];
    for (; k + 4 <= count; k += 4) {
        const __m256d yd = _mm256_cvtps_pd(_mm_loadu_ps(y + k));
        const __m256d xd = _mm256_cvtps_pd(_mm_loadu_ps(x + k));
        _mm256_store_pd(values, Sleef_atan2d4_u10avx2(yd, xd));
        finishLanes<4>(y + k, x + k, values, out + k);
    }
    for (; k < count; ++k) {
        out[k] = arctangent(y[k], x[k]);
    }
}

}  // namespace

void arctangentsOfWidth(uint32_t lanes, const float* y, const float* x, float* out,
                        uint32_t count) {
    if (lanes >= 8 && __builtin_cpu_supports("avx512f")) {
        arctangentsAvx512(y, x, out, count);
    } else if (lanes >= 4 && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
        arctangentsAvx2(y, x, out, count);
    } else {
        for (uint32_t k = 0; k < count; ++k) {
            out[k] = arctangent(y[k], x[k]);
        }
    }
}

void arctangents(const float* y, const float* x, float* out, uint32_t count) {
    arctangentsOfWidth(8, y, x, out, count);
}

bool arctangentsVectorised() {
    return __builtin_cpu_supports("avx512f") ||
           (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"));
}

#else

void arctangentsOfWidth(uint32_t, const float* y, const float* x, float* out, uint32_t count) {
    for (uint32_t k = 0; k < count; ++k) {
        out[k] = arctangent(y[k], x[k]);
    }
}

void arctangents(const float* y, const float* x, float* out, uint32_t count) {
    arctangentsOfWidth(1, y, x, out, count);
}

bool arctangentsVectorised() { return false; }

#endif

}  // namespace quorveil::arctan
