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
};


}  // namespace velmora
