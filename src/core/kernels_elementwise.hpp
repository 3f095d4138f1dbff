// SIMD kernels of the element-wise phase operations: bind, unbind and seeded
// generation, with one variant per instruction set (cpu_features.hpp).
//
// Every variant is the same source compiled for a different target, and
// gives exactly the bits of the plain loops in phase_hvec.cpp: the modular
// sums use a conditional subtract, which is exact because both phases are
// below n, and generation uses an exact remainder (a mask for powers of two,
// a 96-bit reciprocal otherwise).
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/cpu_features.hpp"

namespace velmora {

// Exact x mod n for every 64-bit x and 2 <= n <= 65536, without a division:
// with c = ceil(2^96 / n), x mod n = ((c * x mod 2^96) * n) >> 96, exact as
// long as 96 >= 64 + log2(n).
struct Remainder64 {
    explicit Remainder64(std::uint32_t divisor)
        : n(divisor), c((static_cast<unsigned __int128>(1) << 96) / divisor + 1) {}
    std::uint32_t operator()(std::uint64_t x) const {
        constexpr unsigned __int128 low96 = (static_cast<unsigned __int128>(1) << 96) - 1;
        const unsigned __int128 fraction = (c * x) & low96;
        return static_cast<std::uint32_t>((fraction * n) >> 96);
    }
    std::uint32_t n;
    unsigned __int128 c;
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

// The variant for `isa`; only call it when isa_supported(isa).
const ElementwiseKernels& elementwise_kernels(Isa isa);
// The dispatch point: the widest variant this CPU runs, chosen once.
const ElementwiseKernels& elementwise_kernels();

}  // namespace velmora
