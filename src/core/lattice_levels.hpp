// The lattice level of a phasor, decided exactly and fast.
//
// Bundle's last step and the resonator's snap to the lattice both compute,
// per component, angle_to_level(atan2(y, x), n) with the correctly rounded
// arc tangent. The arc tangent only feeds that level, so a fast estimate of
// the angle with a proven error bound decides almost every component (the
// lattice kernels, simd/lattice.hpp); the few whose estimate lies too close
// to a rounding boundary, and the special inputs (a zero, an infinity, a
// NaN, extreme magnitudes), take the correctly rounded path. The level is
// the same, bit for bit, as angle_to_level(cr_atan2(y, x), n) for every
// input. The estimate and the proof of its bound are in
// math/atan2_estimate.hpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora {

// levels[j] = angle_to_level(cr_atan2(xy[2j + 1], xy[2j]), n) for j < len,
// for (x, y) pairs xy and 2 <= n <= 65536.
void lattice_levels(const double* xy, std::size_t len, std::uint32_t n, std::uint16_t* levels);

}  // namespace velmora
