// Correctly rounded cos, sin and atan2 for doubles.
//
// Every cosine, sine and arc tangent whose result can reach a caller comes
// from here, never from the C library. A correctly rounded result is the one
// double nearest the exact value, so it is unique: any implementation that
// achieves it returns the same bits on every OS, C library, CPU and
// compiler. The C libraries do not: glibc, musl and the others disagree in
// the last bit at many of the angles the tables use, and glibc alone picks a
// different code path on CPUs with FMA.
//
// The functions are LLVM libc's (third_party/llvm-libc), compiled into the
// module from source (correctly_rounded.cpp, once per copy). On x86-64 a
// second copy built for FMA serves the AVX2 and AVX-512 targets; it is only
// faster, since both copies are correctly rounded. Each kernel target names
// the copy it runs with, and callers reach the running one through the
// kernel table (simd/kernel_table.hpp: cr_cos, cr_sin, cr_sincos,
// cr_atan2). Errno is never touched and no floating-point exception flags
// are raised on purpose; the rounding mode must be round-to-nearest, which
// is what Python runs in.
#pragma once

#include <cstdint>

namespace velmora {

struct SinCos {
    double sin, cos;
};

struct CorrectlyRounded {
    double (*cos)(double x);
    double (*sin)(double x);
    SinCos (*sincos)(double x);
    double (*atan2)(double y, double x);
    // out[2k] = cos(theta), out[2k + 1] = sin(theta) with theta = (k * 2pi) / n,
    // k < n: a resolution's phasor table, formed as the plain loop forms it.
    void (*phasors)(std::uint32_t n, double* out);
};

// The compiled copies. The build defines VELMORA_CR_FMA where it links the
// FMA copy in (x86-64 with a compiler that builds the AVX targets); without
// it the AVX targets use the baseline copy.
const CorrectlyRounded& correctly_rounded_baseline();
#if defined(VELMORA_CR_FMA)
const CorrectlyRounded& correctly_rounded_fma();
inline constexpr auto correctly_rounded_avx = correctly_rounded_fma;
#else
inline constexpr auto correctly_rounded_avx = correctly_rounded_baseline;
#endif

}  // namespace velmora
