// SIMD kernels of bundle's fold: the exact integer sums of the items'
// fixed-point phasors, one variant per instruction set (kernel_table.hpp).
//
// Integer sums do not depend on their order, so every variant gives the
// plain loop's sums exactly. Items are added in chunks whose 32-bit partial
// sums cannot overflow (at most kFoldChunk items of |entry| <= 16384), and
// each chunk's sums are then added to the 64-bit totals.
#pragma once

#include <cstddef>
#include <cstdint>


namespace velmora {

// Items per 32-bit partial sum: 65536 * 16384 = 2^30 < 2^31.
inline constexpr std::size_t kFoldChunk = 65536;
// Components per call: the 32-bit partial sums of a block stay in the
// first-level cache while every item streams past.
inline constexpr std::size_t kFoldBlock = 512;

struct BundleKernels {
    // For i < len (len <= kFoldBlock): cos_sum[i] += sum over items of
    // table[2 p], sin_sum[i] += sum of table[2 p + 1], with p = items[k][i].
    // `table` is the bundle table of resolution n (phase_tables.hpp), and
    // every phase is below n.
    void (*fold)(const std::uint16_t* const* items, std::size_t count, std::size_t len, const std::int16_t* table,
                 std::uint32_t n, std::int64_t* cos_sum, std::int64_t* sin_sum);
    // As fold, each item's entries multiplied by weights[k] (the caller keeps
    // the total weight at most kMaxBundleWeight, so no 64-bit sum overflows).
    void (*weighted_fold)(const std::uint16_t* const* items, const std::uint64_t* weights, std::size_t count,
                          std::size_t len, const std::int16_t* table, std::uint32_t n, std::int64_t* cos_sum,
                          std::int64_t* sin_sum);
};


}  // namespace velmora
