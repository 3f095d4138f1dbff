// The lattice kernel family, one row per target (kernel_table.hpp): the
// estimate pass of lattice_levels() (lattice_levels.hpp), which writes the
// estimated level of every component and sets needs_exact[j] to 1 where the
// estimate cannot decide (0 elsewhere), and returns how many components
// need the exact path. The estimate and the proof of its bound are in
// math/atan2_estimate.hpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora {

struct LatticeKernels {
    std::size_t (*estimate)(const double* xy, std::size_t len, std::uint32_t n, std::uint16_t* levels,
                            std::uint8_t* needs_exact);
};

}  // namespace velmora
