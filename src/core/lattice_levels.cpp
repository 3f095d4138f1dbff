#include "core/lattice_levels.hpp"

#include "core/math/lattice.hpp"
#include "core/simd/kernel_table.hpp"

namespace velmora {

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
