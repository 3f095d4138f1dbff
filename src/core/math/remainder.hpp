// The exact remainder of a 64-bit integer by a lattice size, without a
// division: seeded generation and the integer powers reduce through it.
#pragma once

#include <cstdint>

#include "core/base/portable.hpp"

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

}  // namespace velmora
