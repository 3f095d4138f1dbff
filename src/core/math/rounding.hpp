// Exact roundings and reductions in binary64, and a branch-free choice,
// written so that a loop of them widens into vector lanes. The kernels'
// plain bodies and the targets' own kernels share them, so every target
// rounds with the same operations.
#pragma once

#include <bit>
#include <cstdint>

#include "core/base/portable.hpp"

namespace velmora {

// Adding and subtracting 1.5 * 2^52 rounds a double of magnitude below 2^51
// to the nearest integer (ties to even): the sum lands where the spacing of
// doubles is 1. Plain adds, so every target widens it into vector lanes.
inline constexpr double kRoundingShift = 6755399441055744.0;

VELMORA_ALWAYS_INLINE double nearest_integer(double x) { return (x + kRoundingShift) - kRoundingShift; }

// The nearest integer to |p| < 2^51 with halves away from zero: the shift
// rounds ties to even, and a tie that went towards zero (p - t is exact) is
// moved one away.
VELMORA_ALWAYS_INLINE double nearest_away(double p) {
    double t = nearest_integer(p);
    const double d = p - t;
    t = d == 0.5 && p > 0 ? t + 1 : t;
    return d == -0.5 && p < 0 ? t - 1 : t;
}

// x mod n for an integral 0 <= x < 2^51, with inv = 1 / n rounded: the
// rounded quotient estimate is off by at most one, the remainder x - q n is
// exact (every term an integer below 2^53), and one correction each way
// gives the exact result. The corrections are on integers, which compile to
// conditional moves or masks where those on doubles became branches.
VELMORA_ALWAYS_INLINE std::int32_t reduce_double(double x, double n, double inv) {
    const double q = nearest_integer(x * inv);
    const std::int32_t ni = static_cast<std::int32_t>(n);
    std::int32_t r = static_cast<std::int32_t>(x - q * n);  // within one n of [0, n)
    r += r < 0 ? ni : 0;
    return r - (r >= ni ? ni : 0);
}

// Branch-free: both values are computed unconditionally and the choice is a
// bitwise select on their representations. With an ordinary ternary the
// compiler sinks the unused side into a branch that it may not then
// speculate (a floating-point operation could trap), and the loop would not
// vectorise.
VELMORA_ALWAYS_INLINE double select(bool c, double a, double b) {
    const std::uint64_t mask = std::uint64_t{0} - static_cast<std::uint64_t>(c);
    return std::bit_cast<double>((std::bit_cast<std::uint64_t>(a) & mask) | (std::bit_cast<std::uint64_t>(b) & ~mask));
}

}  // namespace velmora
