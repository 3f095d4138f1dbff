// A fast arc tangent with a proven error bound, and the margin within which
// its lattice level is certain: the lattice-level kernels decide almost
// every component with it and send the rest to the correctly rounded path.
#pragma once

#include <cmath>
#include <cstdint>

#include "core/base/portable.hpp"
#include "core/math/lattice.hpp"
#include "core/math/rounding.hpp"

// Why the estimate decides exactly.
//
// Let theta = atan2(y, x) exactly, A the correctly rounded double of theta,
// and tau = kFullTurn. The exact path computes t = fl(fl(A / tau) * n) and
// rounds it half away from zero. The estimate computes v ~ theta and
// t' = fl(fl(v / tau) * n) the same way.
//
// 1. The estimate of the angle. With ax = |x|, ay = |y|, num = min, den = max,
//    rho = num / den in [0, 1]:
//    - if num <= fl(kTanPi8 * den), u = fl(num / den), so |rho| < 0.4143 and
//      |u - rho| <= 2^-53 rho;
//    - otherwise u = fl(fl(num - den) / fl(num + den)), an approximation of
//      (rho - 1) / (rho + 1), which then lies in (-0.4143, 0]; three roundings
//      give a relative error below 4.01 * 2^-53, so at most 1.9e-16 absolute.
//    atan(rho) = pi/4 + atan((rho - 1) / (rho + 1)) for rho > -1, and atan
//    is 1-Lipschitz, so these cost at most 1.9e-16 in the angle.
//    atan(u) = sum_i (-1)^i u^(2i+1) / (2i+1) for |u| < 1; the series
//    alternates with decreasing terms, so stopping after i = 13 leaves at
//    most |u|^29 / 29 <= 0.4143^29 / 29 < 2.8e-13. Horner's scheme in u^2
//    with 14 rounded coefficients has a relative error below gamma(42) (42
//    roundings, including the coefficients' and u^2's) on a sum whose
//    terms' magnitudes add up to less than 1.21, so p is within 5.7e-15 of
//    the polynomial, and u * p within 2.4e-15 of u times it. Placing the
//    angle in its octant takes at most three more additions of a rounded
//    constant (pi/4, pi/2, pi; each within 2^-53 pi of the true one) and
//    three roundings of results below 4: at most 2.1e-15. The sign flip is
//    exact. In all |v - theta| < 2.9e-13 < 2^-41 = kAtan2EstimateError.
// 2. The lattice coordinate. |A - theta| <= 2^-52 (half an ulp below 4).
//    Both t and t' are two roundings of a value of magnitude at most
//    (n / 2)(1 + 2^-40), each rounding off by at most 2^-53 of it, so
//    |t - t'| <= (2^-41 + 2^-52) n / tau + 2^-52 n (1 + 2^-40) =: M(n).
// 3. The decision. k = (t' + 1.5 * 2^52) - 1.5 * 2^52 is the integer nearest
//    t' (|t'| < 2^51), and d = |t' - k| is exact. If d < 0.5 - 2 M(n), then
//    every value within M(n) of t', t among them, lies strictly between the
//    half-integers k - 1/2 and k + 1/2, so t rounds to k whatever the tie
//    rule, and the level is k mod n. Otherwise, or for a special input, the
//    component takes the exact path. The factor 2 covers the rounding of
//    the limit itself with room to spare.
namespace velmora {

// |atan2_estimate(y, x) - atan2(y, x)| <= kAtan2EstimateError for finite,
// nonzero x and y with 2^-900 < max(|x|, |y|) < 2^900 (step 1 above).
inline constexpr double kAtan2EstimateError = 0x1p-41;

namespace atan2_constants {
inline constexpr double kTanPi8 = 0.41421356237309503;  // tan(pi/8), any nearby value would do
inline constexpr double kPi = 3.141592653589793;
inline constexpr double kPi2 = 1.5707963267948966;
inline constexpr double kPi4 = 0.7853981633974483;
// (-1)^i / (2i + 1), i = 0 .. 13.
inline constexpr double kSeries[14] = {
    1.0,         -1.0 / 3.0,  1.0 / 5.0,   -1.0 / 7.0,  1.0 / 9.0,   -1.0 / 11.0, 1.0 / 13.0,
    -1.0 / 15.0, 1.0 / 17.0,  -1.0 / 19.0, 1.0 / 21.0,  -1.0 / 23.0, 1.0 / 25.0,  -1.0 / 27.0,
};
}  // namespace atan2_constants

// Magnitudes outside (kTinyMagnitude, kHugeMagnitude) take the exact path.
inline constexpr double kTinyMagnitude = 0x1p-900;
inline constexpr double kHugeMagnitude = 0x1p900;

VELMORA_ALWAYS_INLINE double atan2_estimate(double y, double x) {
    using namespace atan2_constants;
    const double ax = std::fabs(x), ay = std::fabs(y);
    const bool steep = ay > ax;
    const double num = select(steep, ax, ay), den = select(steep, ay, ax);
    const bool far = num > kTanPi8 * den;
    const double u = select(far, num - den, num) / select(far, num + den, den);
    const double u2 = u * u;
    double p = kSeries[13];
    for (int i = 12; i >= 0; --i) p = kSeries[i] + u2 * p;
    const double near_axis = u * p;
    const double first = select(far, kPi4 + near_axis, near_axis);
    const double octant = select(steep, kPi2 - first, first);
    const double half = select(x < 0.0, kPi - octant, octant);
    return select(y < 0.0, -half, half);
}

// 0.5 - 2 M(n) (step 3 above): an estimated coordinate this close to its
// nearest integer decides the level.
VELMORA_ALWAYS_INLINE double lattice_margin(std::uint32_t n) {
    const double big_n = static_cast<double>(n);
    const double m = (kAtan2EstimateError + 0x1p-52) * big_n / kFullTurn + 0x1p-52 * big_n * (1.0 + 0x1p-40);
    return 0.5 - 2.0 * m;
}

}  // namespace velmora
