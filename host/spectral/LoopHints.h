// SPDX-License-Identifier: GPL-3.0-or-later
// A loop whose arrays the compiler cannot prove apart, but that are: every
// output apart from every input and from every other output. Said to GCC as
// `ivdep`: the same operations in the same order, several bins at a time.
// Other compilers (clang builds the fuzz targets) get no hint and the plain
// loop.
#pragma once

#if defined(__GNUC__) && !defined(__clang__)
#define QUORVEIL_ARRAYS_APART _Pragma("GCC ivdep")
#else
#define QUORVEIL_ARRAYS_APART
#endif
