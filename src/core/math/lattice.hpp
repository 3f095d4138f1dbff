// The phase lattice: n levels around the circle, level k standing for the
// angle (k * 2pi) / n. Every angle and every rounding back to a level is
// formed by the helpers here, in one order of operations, so that tables,
// plain loops and fast paths all see the same bits.
//
// Nothing here knows the vector type; the tables, the kernels and the
// correctly rounded functions build on this header alone.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace velmora {

inline constexpr double kFullTurn = 6.283185307179586;  // 2*pi, 0x401921FB54442D18

// The angle of level k (or of a signed difference of levels) on an n-level
// lattice: k and n converted exactly, the product with 2pi formed first and
// then divided by n, never a multiplication by a precomputed 2pi / n.
inline double phase_angle(double k, std::uint32_t n) { return (k * kFullTurn) / static_cast<double>(n); }

// round(t) half away from zero, saturated to int64 (NaN gives 0).
inline std::int64_t round_half_away_saturating(double t) {
    const double r = std::round(t);
    if (std::isnan(r)) return 0;
    if (r >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
    if (r < -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(r);
}

// The lattice rounding shared by bundle and the resonator: the angle `a`
// (radians) as a level of an n-level lattice, rounded half away from zero,
// saturated to int64 and reduced into [0, n). Inline so that loops over many
// angles pipeline it.
inline std::uint32_t angle_to_level(double a, std::uint32_t n) {
    const double t = (a / kFullTurn) * static_cast<double>(n);
    std::int64_t k;
    if (t > -4503599627370496.0 && t < 4503599627370496.0) {
        // Below 2^52 both the truncation and the fraction left over are
        // exact, so no library call is needed.
        k = static_cast<std::int64_t>(t);
        const double fraction = t - static_cast<double>(k);
        k += static_cast<std::int64_t>(fraction >= 0.5) - static_cast<std::int64_t>(fraction <= -0.5);
    } else {
        k = round_half_away_saturating(t);
    }
    const std::int64_t big_n = n;
    // An arc tangent gives |k| <= n/2, so the division is almost never needed.
    std::int64_t q = (k > -big_n && k < big_n) ? k : k % big_n;
    q += q < 0 ? big_n : 0;
    return static_cast<std::uint32_t>(q);
}

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
