// The element-wise kernel family: bind, unbind, seeded generation, powers
// and phase maps, one row per target (kernel_table.hpp).
//
// Every target gives exactly the bits of the plain bodies in
// generic/elementwise.hpp: the modular sums use a conditional subtract,
// which is exact because both phases are below n, generation uses an exact
// remainder (math/remainder.hpp), and the powers follow real_power_phase
// (math/lattice.hpp).
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmora {

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
    // r[i] = (a[i] * e) mod n, for e < n; returns the largest phase read.
    std::uint16_t (*power_int)(const std::uint16_t* a, std::uint16_t* r, std::size_t len, std::uint32_t e,
                               std::uint32_t n);
    // r[i] = the real power of a[i] (real_power_phase, math/lattice.hpp), for a finite x
    // with |x| * n <= kFastRealLimit; returns the largest phase read.
    std::uint16_t (*power_real)(const std::uint16_t* a, std::uint16_t* r, std::size_t len, double x,
                                std::uint32_t n);
    // r[i] = table[a[i]]: a map of the n phases, made once per call when
    // that is cheaper than the element's own arithmetic. `table` holds at
    // least max(n, kLookupPad) entries, the ones past n zero, so a variant
    // may load whole registers of it. Returns the largest phase read; when
    // that is n or more, r is unspecified, but nothing past the table is read.
    std::uint16_t (*lookup)(const std::uint16_t* a, std::uint16_t* r, std::size_t len, const std::uint16_t* table,
                            std::uint32_t n);
    // The least power-of-two n from which power_real costs less per component
    // than lookup (0: at none), so that a real power at such an n maps every
    // component directly instead of through a table of the n phases.
    std::uint32_t power_real_direct_from;
};

// The least length of a lookup table: eight 512-bit registers of 16-bit entries.
inline constexpr std::size_t kLookupPad = 256;

// Up to this bound on |x| * n, every product s * x (|s| <= n / 2) stays
// within 2^49, where the kernels round and reduce it in binary64 exactly.
inline constexpr double kFastRealLimit = 1125899906842624.0;  // 2^50

}  // namespace velmora
