// SPDX-License-Identifier: MIT
// How the per-sample and per-bin loops of the library and of the host are
// compiled: never what they compute.
//
// QUORVEIL_VECTOR_CLONES: the function also comes as AVX-512 and AVX2
// clones, which the loader picks on x86-64 Linux processors that have them:
// the same operations on 16 or 8 values per instruction instead of 4, with
// the same correctly rounded results (the build never contracts a multiply
// and an add into FMA, and never reorders a sum), so the output does not
// depend on the processor. Elsewhere, one plain version. A clone must be a
// plain function (not a template); a template body it calls is inlined into
// each clone with QUORVEIL_INLINE_INTO_CLONES.
//
// QUORVEIL_ARRAYS_APART, before a loop whose arrays the compiler cannot
// prove apart, but that are: every output apart from every input and from
// every other output. Said to GCC as `ivdep`: the same operations in the same
// order, several elements at a time. Other compilers (clang builds the fuzz
// targets) get no hint and the plain loop.
#pragma once

#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__) && !defined(__clang__)
#define QUORVEIL_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define QUORVEIL_VECTOR_CLONES
#endif
#define QUORVEIL_INLINE_INTO_CLONES inline __attribute__((always_inline))

#if defined(__GNUC__) && !defined(__clang__)
#define QUORVEIL_ARRAYS_APART _Pragma("GCC ivdep")
#else
#define QUORVEIL_ARRAYS_APART
#endif
