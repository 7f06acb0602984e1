// SPDX-License-Identifier: GPL-3.0-or-later
// Several neighbouring bins at once. Per-bin code written once as a template
// over its value type runs either on `float` (one bin) or on `Lanes`
// (kLanes bins side by side in one vector register, GCC's and clang's
// vector types), each lane doing exactly what one bin does: the same
// operations in the same order, no fused multiply-adds, so a bin's result
// does not depend on whether it was computed alone or beside others.
//
// Branches become selects: both sides are computed, and `select` keeps one
// per lane. Comparisons give `bool` for one bin and a `LaneMask` (all ones
// where true) for lanes; combine them with `&` and `|`, negate with
// `notMask`. `minOf`/`maxOf`/`clampOf` choose as std::min, std::max and
// std::clamp do, NaN included.
//
// `Cx` is a complex value with the roundings of std::complex<float> as the
// engine is built (-fcx-limited-range: (a+jb)(c+jd) = (ac − bd) + j(ad + bc),
// a real factor multiplying each part).
//
// Everything here is inline arithmetic: no allocation, no branches on data.
#pragma once

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace quorveil::spectral::lanes {

inline constexpr int kLanes = 4;
using Lanes = float __attribute__((vector_size(kLanes * sizeof(float))));
using LaneMask = std::int32_t __attribute__((vector_size(kLanes * sizeof(float))));

// Twice as many bins as two vectors of kLanes: their dependency chains (a
// rotation advanced bin by bin) are independent, so the CPU runs them
// interleaved. Only the arithmetic a running sum needs.
inline constexpr int kWideLanes = 2 * kLanes;
struct WideLanes {
    Lanes low, high;
    float operator[](int i) const { return i < kLanes ? low[i] : high[i - kLanes]; }
    void set(int i, float v) {
        if (i < kLanes) {
            low[i] = v;
        } else {
            high[i - kLanes] = v;
        }
    }
};
inline WideLanes operator+(const WideLanes& a, const WideLanes& b) { return {a.low + b.low, a.high + b.high}; }
inline WideLanes operator-(const WideLanes& a, const WideLanes& b) { return {a.low - b.low, a.high - b.high}; }
inline WideLanes operator*(const WideLanes& a, const WideLanes& b) { return {a.low * b.low, a.high * b.high}; }
inline WideLanes operator-(const WideLanes& a) { return {-a.low, -a.high}; }
inline WideLanes operator+(const WideLanes& a, float x) { return {a.low + x, a.high + x}; }
inline WideLanes& operator+=(WideLanes& a, const WideLanes& b) { return a = a + b; }

// Loads one value, or a vector's worth of consecutive ones.
inline void load(const float* from, float& into) { into = *from; }
inline void load(const float* from, Lanes& into) { std::memcpy(&into, from, sizeof into); }
inline void load(const float* from, WideLanes& into) {
    std::memcpy(&into.low, from, sizeof into.low);
    std::memcpy(&into.high, from + kLanes, sizeof into.high);
}
template <typename V>
V loaded(const float* from) {
    V v;
    load(from, v);
    return v;
}

// Stores one value, or kLanes consecutive ones.
inline void store(float* to, float v) { *to = v; }
inline void store(float* to, const Lanes& v) { std::memcpy(to, &v, sizeof v); }

// Lane i of a value (a float is its own only lane).
inline float lane(float v, int) { return v; }
inline float lane(const Lanes& v, int i) { return v[i]; }
inline void setLane(float& v, int, float x) { v = x; }
inline void setLane(Lanes& v, int i, float x) { v[i] = x; }
inline void setLane(WideLanes& v, int i, float x) { v.set(i, x); }
// How many bins a value holds.
template <typename V>
constexpr int laneCount() { return sizeof(V) / sizeof(float); }

inline float sqrtOf(float v) { return std::sqrt(v); }
inline Lanes sqrtOf(Lanes v) {
#if defined(__SSE__)
    return reinterpret_cast<Lanes>(_mm_sqrt_ps(reinterpret_cast<__m128>(v)));
#else
    for (int i = 0; i < kLanes; ++i) v[i] = std::sqrt(v[i]);
    return v;
#endif
}

inline bool notMask(bool m) { return !m; }
inline LaneMask notMask(LaneMask m) { return ~m; }

inline float select(bool m, float whenTrue, float whenFalse) { return m ? whenTrue : whenFalse; }
inline Lanes select(LaneMask m, Lanes whenTrue, Lanes whenFalse) {
    return reinterpret_cast<Lanes>((m & reinterpret_cast<LaneMask>(whenTrue)) |
                                   (~m & reinterpret_cast<LaneMask>(whenFalse)));
}

inline float absOf(float v) { return std::fabs(v); }
inline Lanes absOf(Lanes v) {
    return reinterpret_cast<Lanes>(reinterpret_cast<LaneMask>(v) & (LaneMask{} + 0x7fffffff));
}

// |magnitude| with the sign of `sign`, as std::copysign.
inline float copySign(float magnitude, float sign) { return std::copysign(magnitude, sign); }
inline Lanes copySign(Lanes magnitude, Lanes sign) {
    const LaneMask signBit = LaneMask{} + static_cast<std::int32_t>(0x80000000u);
    return reinterpret_cast<Lanes>((reinterpret_cast<LaneMask>(magnitude) & ~signBit) |
                                   (reinterpret_cast<LaneMask>(sign) & signBit));
}

template <typename V>
V minOf(V a, V b) { return select(b < a, b, a); }
template <typename V>
V maxOf(V a, V b) { return select(a < b, b, a); }
template <typename V>
V clampOf(V v, V lo, V hi) { return select(v < lo, lo, select(hi < v, hi, v)); }

// A value of V with every lane `x` (−0 stays −0).
template <typename V>
V splat(float x) {
    if constexpr (sizeof(V) == sizeof(float)) {
        return x;
    } else {
        return V{x, x, x, x};
    }
}

template <typename V>
struct Cx {
    V re, im;
};
template <typename V>
Cx<V> operator+(const Cx<V>& a, const Cx<V>& b) { return {a.re + b.re, a.im + b.im}; }
template <typename V>
Cx<V> operator-(const Cx<V>& a, const Cx<V>& b) { return {a.re - b.re, a.im - b.im}; }
template <typename V>
Cx<V> operator-(const Cx<V>& a) { return {-a.re, -a.im}; }
template <typename V>
Cx<V> operator*(const Cx<V>& a, const Cx<V>& b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }
template <typename V>
Cx<V> operator*(V g, const Cx<V>& a) { return {a.re * g, a.im * g}; }
template <typename V>
Cx<V> operator*(const Cx<V>& a, V g) { return {a.re * g, a.im * g}; }
// x − a for a real x: as std::complex does it, (x − a.re) + j(0 − a.im).
template <typename V>
Cx<V> minus(float x, const Cx<V>& a) { return {x - a.re, V{} - a.im}; }
template <typename V>
Cx<V> conj(const Cx<V>& a) { return {a.re, -a.im}; }
template <typename V>
V norm(const Cx<V>& a) { return a.re * a.re + a.im * a.im; }
template <typename V>
Cx<V> select(decltype(V{} < V{}) m, const Cx<V>& whenTrue, const Cx<V>& whenFalse) {
    return {select(m, whenTrue.re, whenFalse.re), select(m, whenTrue.im, whenFalse.im)};
}

// Loads complex values stored as std::complex<float>.
template <typename V>
Cx<V> loadCx(const std::complex<float>* from) {
    if constexpr (sizeof(V) == sizeof(float)) {
        return {from->real(), from->imag()};
    } else {
        Cx<V> c;
        for (int i = 0; i < kLanes; ++i) {
            c.re[i] = from[i].real();
            c.im[i] = from[i].imag();
        }
        return c;
    }
}
// Stores complex values as std::complex<float>.
template <typename V>
void storeCx(std::complex<float>* to, const Cx<V>& c) {
    if constexpr (sizeof(V) == sizeof(float)) {
        *to = {c.re, c.im};
    } else {
        for (int i = 0; i < kLanes; ++i) to[i] = {c.re[i], c.im[i]};
    }
}

}  // namespace quorveil::spectral::lanes
