// The lattice level of a phasor, decided exactly and fast.
//
// Bundle's last step and the resonator's snap to the lattice both compute,
// per component, angle_to_level(atan2(y, x), n) with the correctly rounded
// arc tangent. The arc tangent only feeds that level, so a fast estimate of
// the angle with a proven error bound decides almost every component; the
// few whose estimate lies too close to a rounding boundary, and the special
// inputs (a zero, an infinity, a NaN, extreme magnitudes), take the
// correctly rounded path. The level is the same, bit for bit, as
// angle_to_level(cr_atan2(y, x), n) for every input. The proof of the bound
// is in lattice_levels.cpp.
#pragma once

#include <cstddef>
#include <cstdint>


namespace velmora {

// levels[j] = angle_to_level(cr_atan2(xy[2j + 1], xy[2j]), n) for j < len,
// for (x, y) pairs xy and 2 <= n <= 65536.
void lattice_levels(const double* xy, std::size_t len, std::uint32_t n, std::uint16_t* levels);

// The estimate pass of one instruction-set variant: writes the estimated
// level of every component and sets needs_exact[j] to 1 where the estimate
// cannot decide (0 elsewhere). Returns how many components need the exact
// path. Exposed for the differential tests.
struct LatticeKernels {
    std::size_t (*estimate)(const double* xy, std::size_t len, std::uint32_t n, std::uint16_t* levels,
                            std::uint8_t* needs_exact);
};

// The arc tangent estimate itself, for the tests of its error bound:
// |atan2_estimate(y, x) - atan2(y, x)| <= kAtan2EstimateError for finite,
// nonzero x and y with 2^-900 < max(|x|, |y|) < 2^900.
double atan2_estimate(double y, double x);
inline constexpr double kAtan2EstimateError = 0x1p-41;

}  // namespace velmora
