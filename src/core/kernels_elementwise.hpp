// SIMD kernels of the element-wise phase operations: bind, unbind and seeded
// generation, with one variant per instruction set (kernel_table.hpp).
//
// Every variant is the same source compiled for a different target, and
// gives exactly the bits of the plain loops in phase_hvec.cpp: the modular
// sums use a conditional subtract, which is exact because both phases are
// below n, and generation uses an exact remainder (a mask for powers of two,
// a 96-bit reciprocal otherwise).
#pragma once

#include <cstddef>
#include <cmath>
#include <cstdint>

#include "core/portable.hpp"

namespace velmora {

// Exact x mod n for every 64-bit x and 2 <= n <= 65536, without a division:
// with c = floor(2^96 / n) + 1, x mod n = ((c * x mod 2^96) * n) >> 96, exact
// as long as 96 >= 64 + log2(n). c < 2^96 is kept as a 32-bit high part and a
// 64-bit low part, so that only 64 x 64 -> 128-bit products are needed.
struct Remainder64 {
    explicit Remainder64(std::uint32_t divisor) : n(divisor) {
        // Long division of 2^96 by n in 32-bit digits; the leading digit 1
        // gives quotient 0 and remainder 1 because n >= 2.
        std::uint64_t rest = 1, digits[3];
        for (std::uint64_t& d : digits) {
            d = (rest << 32) / n;
            rest = (rest << 32) % n;
        }
        c_lo = ((digits[1] << 32) | digits[2]) + 1;
        c_hi = digits[0] + (c_lo == 0 ? 1 : 0);
    }
    std::uint32_t operator()(std::uint64_t x) const {
        const Product128 low = multiply_wide(c_lo, x);
        // Bits 64..95 of c * x; together with low.lo, c * x mod 2^96.
        const std::uint64_t fraction_hi = (low.hi + c_hi * x) & 0xffffffffu;
        const Product128 scaled = multiply_wide(low.lo, n);
        return static_cast<std::uint32_t>((fraction_hi * n + scaled.hi) >> 32);
    }
    std::uint32_t n;
    std::uint64_t c_hi, c_lo;
};

struct ElementwiseKernels {
    // r[i] = (a[i] + b[i]) mod n. Returns the largest phase read from a and b,
    // so that the caller can refuse inputs with a phase >= n.
    std::uint16_t (*bind)(const std::uint16_t* a, const std::uint16_t* b, std::uint16_t* r,
                          std::size_t len, std::uint32_t n);
    // r[i] = (a[i] - b[i]) mod n, in [0, n); returns the largest phase read.
    std::uint16_t (*unbind)(const std::uint16_t* a, const std::uint16_t* b, std::uint16_t* r,
                            std::size_t len, std::uint32_t n);
    // r[i] = mix(base ^ (i * 0x9E3779B97F4A7C15)) mod n for i in [0, len).
    void (*generate)(std::uint16_t* r, std::size_t len, std::uint64_t base, std::uint32_t n);
    // r[i] = (a[i] * e) mod n, for e < n; returns the largest phase read.
    std::uint16_t (*power_int)(const std::uint16_t* a, std::uint16_t* r, std::size_t len, std::uint32_t e,
                               std::uint32_t n);
    // r[i] = the real power of a[i] (real_power_phase below), for a finite x
    // with |x| * n <= kFastRealLimit; returns the largest phase read.
    std::uint16_t (*power_real)(const std::uint16_t* a, std::uint16_t* r, std::size_t len, double x,
                                std::uint32_t n);
    // r[i] = table[a[i]]: a map of the n phases, made once per call when
    // that is cheaper than the element's own arithmetic. `table` holds at
    // least max(n, kLookupPad) entries, the ones past n zero, so a variant
    // may load whole registers of it. Returns the largest phase read; when
    // that is n or more, r is unspecified, but nothing past the table is read.
    std::uint16_t (*lookup)(const std::uint16_t* a, std::uint16_t* r, std::size_t len, const std::uint16_t* table,
                            std::uint32_t n);
    // The least power-of-two n from which power_real costs less per component
    // than lookup (0: at none), so that a real power at such an n maps every
    // component directly instead of through a table of the n phases.
    std::uint32_t power_real_direct_from;
};

// The least length of a lookup table: eight 512-bit registers of 16-bit entries.
inline constexpr std::size_t kLookupPad = 256;

// Up to this bound on |x| * n, every product s * x (|s| <= n / 2) stays
// within 2^49, where the kernels round and reduce it in binary64 exactly.
inline constexpr double kFastRealLimit = 1125899906842624.0;  // 2^50

// The real power of one phase k, for any finite x: its signed value s in
// (-n/2, n/2] times x in binary64, rounded to the nearest integer with halves
// away from zero, saturated to the signed 64-bit range, then reduced mod n.
inline std::uint32_t real_power_phase(std::uint32_t k, double x, std::uint32_t n) {
    const double s = 2 * k <= n ? static_cast<double>(k) : static_cast<double>(k) - static_cast<double>(n);
    const double p = s * x;
    std::int64_t t;
    if (p >= 9223372036854775808.0)
        t = INT64_MAX;
    else if (p < -9223372036854775808.0)
        t = INT64_MIN;
    else {
        // trunc and the exact fraction p - trunc(p) decide the half-way case.
        const double whole = std::trunc(p);
        const double fraction = p - whole;
        t = static_cast<std::int64_t>(whole);
        if (fraction >= 0.5) ++t;
        if (fraction <= -0.5) --t;
    }
    const std::int64_t m = t % static_cast<std::int64_t>(n);
    return static_cast<std::uint32_t>(m < 0 ? m + n : m);
}


}  // namespace velmora
