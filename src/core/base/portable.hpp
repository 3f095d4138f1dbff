// What the core needs beyond standard C++20, in one place: GCC and Clang
// (either standard library) take their extensions, MSVC its intrinsics, and
// any other compiler a plain fallback. Nothing here changes a result: every
// helper computes the same bits whichever branch a compiler takes.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#endif

// The core is written for 64-bit targets: sizes and indices are 64-bit, the
// seeded generator mixes 64-bit words, and doubles are IEEE binary64.
static_assert(CHAR_BIT == 8, "velmora needs 8-bit bytes");
static_assert(sizeof(void*) == 8, "velmora needs a 64-bit target");
static_assert(sizeof(std::size_t) == 8 && sizeof(std::ptrdiff_t) == 8, "velmora needs 64-bit sizes");
static_assert(sizeof(unsigned long long) == 8, "velmora needs 64-bit long long");
static_assert(std::numeric_limits<double>::is_iec559 && sizeof(double) == 8, "velmora needs IEEE binary64 doubles");

// GCC, Clang and clang-cl: function attributes, builtins and vector types.
#if defined(__GNUC__) || defined(__clang__)
#define VELMORA_GNU 1
#else
#define VELMORA_GNU 0
#endif

// VELMORA_PLAIN_CXX: take the plain fallbacks for vector pairs, wide products
// and per-function targets even where the compiler has extensions, so that
// the paths a compiler without them takes are tested on this one.
#if VELMORA_GNU && !defined(VELMORA_PLAIN_CXX)
#define VELMORA_EXTENSIONS 1
#else
#define VELMORA_EXTENSIONS 0
#endif

#if defined(__x86_64__) || defined(_M_X64)
#define VELMORA_X86 1
#else
#define VELMORA_X86 0
#endif

#if VELMORA_GNU
#define VELMORA_ALWAYS_INLINE inline __attribute__((always_inline))
#define VELMORA_NOINLINE __attribute__((noinline))
#define VELMORA_UNLIKELY(x) __builtin_expect(!!(x), 0)
#define VELMORA_PREFETCH(p) __builtin_prefetch(p)
#elif defined(_MSC_VER)
#define VELMORA_ALWAYS_INLINE __forceinline
#define VELMORA_NOINLINE __declspec(noinline)
#define VELMORA_UNLIKELY(x) (x)
#if defined(_M_X64)
#define VELMORA_PREFETCH(p) _mm_prefetch(reinterpret_cast<const char*>(p), _MM_HINT_T0)
#else
#define VELMORA_PREFETCH(p) ((void)(p))
#endif
#else
#define VELMORA_ALWAYS_INLINE inline
#define VELMORA_NOINLINE
#define VELMORA_UNLIKELY(x) (x)
#define VELMORA_PREFETCH(p) ((void)(p))
#endif

namespace velmora {

// The high and low halves of the full product a * b.
struct Product128 {
    std::uint64_t hi, lo;
};

VELMORA_ALWAYS_INLINE Product128 multiply_wide(std::uint64_t a, std::uint64_t b) {
#if defined(__SIZEOF_INT128__) && VELMORA_EXTENSIONS
    const unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
    return {static_cast<std::uint64_t>(p >> 64), static_cast<std::uint64_t>(p)};
#elif defined(_MSC_VER) && !defined(__clang__) && defined(_M_X64) && !defined(VELMORA_PLAIN_CXX)
    std::uint64_t hi;
    const std::uint64_t lo = _umul128(a, b, &hi);
    return {hi, lo};
#elif defined(_MSC_VER) && !defined(__clang__) && defined(_M_ARM64) && !defined(VELMORA_PLAIN_CXX)
    return {__umulh(a, b), a * b};
#else
    const std::uint64_t a0 = a & 0xffffffffu, a1 = a >> 32, b0 = b & 0xffffffffu, b1 = b >> 32;
    const std::uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const std::uint64_t mid = (p00 >> 32) + (p01 & 0xffffffffu) + (p10 & 0xffffffffu);
    return {p11 + (p01 >> 32) + (p10 >> 32) + (mid >> 32), (mid << 32) | (p00 & 0xffffffffu)};
#endif
}

namespace simd {

// Two doubles in one 16-byte register (SSE2, NEON, ...) where the compiler
// has vector types; element-wise arithmetic on a pair otherwise. Either way
// each lane is one IEEE operation, so the results are the same.
#if VELMORA_EXTENSIONS
typedef double F64x2 __attribute__((vector_size(16), aligned(8)));
#else
struct F64x2 {
    double lane[2];
    double operator[](std::size_t i) const { return lane[i]; }
    double& operator[](std::size_t i) { return lane[i]; }
    friend F64x2 operator+(F64x2 a, F64x2 b) { return {a.lane[0] + b.lane[0], a.lane[1] + b.lane[1]}; }
    friend F64x2 operator*(F64x2 a, F64x2 b) { return {a.lane[0] * b.lane[0], a.lane[1] * b.lane[1]}; }
};
#endif

VELMORA_ALWAYS_INLINE F64x2 load2(const double* p) {
    F64x2 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
VELMORA_ALWAYS_INLINE void store2(double* p, F64x2 v) { std::memcpy(p, &v, sizeof v); }

}  // namespace simd
}  // namespace velmora
