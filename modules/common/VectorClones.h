// SPDX-License-Identifier: MIT
// Per-sample and per-bin loops that the compiler runs side by side in vector
// registers also come as AVX-512 and AVX2 clones, which the loader picks on
// x86-64 Linux processors that have them: the same operations on more values
// per instruction, with the same correctly rounded results (no FMA: the build
// never contracts a multiply and an add). Elsewhere, one plain version.
#pragma once

#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__) && !defined(__clang__)
#define QUORVEIL_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define QUORVEIL_VECTOR_CLONES
#endif
