// SIMD kernel of `similarities`: the similarity sums of one vector against
// many rows; one row of every variant of the kernel table (kernel_table.hpp).
//
// A similarity is one chain of dependent adds in component order, so a
// single sum is bound by the latency of the add. Different rows' chains are
// independent, and that is all that runs side by side here: one row per
// vector lane, each lane still adding its own terms one component after
// another, starting from 0.0, without fused multiply-add. The terms come
// from the difference cosine table of the resolution (phase_tables.hpp),
// whose entries are the cos of the plain expression, so every lane sees the
// plain loop's terms in the plain loop's order and ends with its bits.
#pragma once

#include <cstddef>
#include <cstdint>


namespace velmora {

struct SimilarityKernels {
    // For k < count, with r = rows[k] (len phases each):
    //   sums[k] = ((0.0 + t[0]) + t[1]) + ... + t[len - 1],
    //   t[i] = centred[min(a[i], n - 1) + (n - 1) - min(r[i], n - 1)].
    // `centred` is the difference cosine table of resolution n, 2n - 1
    // entries; every entry a pair of phases below n reaches must be filled.
    // The clamps keep a phase >= n inside the table; the return value, the
    // largest phase read from a and the rows (0 when count or len is 0),
    // lets the caller refuse such a vector. Rows are read in place and may
    // repeat or alias `a`.
    std::uint16_t (*difference_sums)(const std::uint16_t* a, const std::uint16_t* const* rows, std::size_t count,
                                     std::size_t len, const double* centred, std::uint32_t n, double* sums);
};

}  // namespace velmora
