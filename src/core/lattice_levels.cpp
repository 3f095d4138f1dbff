#include "core/lattice_levels.hpp"

#include "core/correctly_rounded.hpp"
#include "core/kernel_bodies.hpp"
#include "core/kernel_table.hpp"
#include "core/lattice.hpp"
#include "core/portable.hpp"

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

double atan2_estimate(double y, double x) { return generic::estimate_body(y, x); }

void lattice_levels(const double* xy, std::size_t len, std::uint32_t n, std::uint16_t* levels) {
    const LatticeKernels& kernels = velmora::kernels().lattice;
    constexpr std::size_t kBlock = 512;
    std::uint8_t needs_exact[kBlock];
    for (std::size_t start = 0; start < len; start += kBlock) {
        const std::size_t count = len - start < kBlock ? len - start : kBlock;
        const double* block = xy + 2 * start;
        if (kernels.estimate(block, count, n, levels + start, needs_exact) == 0) continue;
        for (std::size_t j = 0; j < count; ++j)
            if (needs_exact[j])
                levels[start + j] =
                    static_cast<std::uint16_t>(angle_to_level(cr_atan2(block[2 * j + 1], block[2 * j]), n));
    }
}

}  // namespace velmora
