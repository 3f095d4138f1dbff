// SIMD kernels of the resonator's inner loops, one variant per instruction
// set (kernel_table.hpp).
//
// Entries are read as phase indices into the phasor table of their
// resolution (phase_tables.hpp, or a private table for an entry whose
// resolution is too rare to be worth one), so a codebook costs 2 bytes per
// component instead of two doubles. Table values are the cos/sin of the
// plain expression, so every product and sum below sees the same operands as
// the plain loop. Phasors travel as (re, im) pairs: the table, the unbound
// composite U and the accumulators (X_j, Y_j) are arrays of pairs, so one
// two-lane multiply and add serve both halves.
//
// Order of operations, kept in every variant: each entry's weight is its own
// sum over j in increasing order of ((re * U.re) + (im * U.im)); the
// superposition adds the entries to X_j and Y_j one after another in entry
// order. Only independent sums run side by side (several entries' weights,
// several components' accumulators). No fused multiply-add.
#pragma once

#include <cstddef>
#include <cstdint>


namespace velmora {

// Entries processed together: the independent chains of one scoring pass.
inline constexpr std::size_t kResonatorLanes = 8;

// kResonatorLanes consecutive entries that share one table, with their
// phase indices interleaved: index[j * kResonatorLanes + l] is entry l's
// phase at component j.
struct EntryBlock {
    const std::uint16_t* index;
    const double* table;  // [2p] = cos, [2p + 1] = sin of phase p
    std::size_t levels;   // entries of the table: every index is below it
};

// One entry on its own (a partial block, or a block of mixed tables).
struct EntryPhasors {
    const std::uint16_t* index;  // z phase indices
    const double* table;
    std::size_t levels;
};

// Tables of at most this many levels are held in registers by the AVX-512
// kernels (two-source permutes look up 8 of 16 doubles at once).
inline constexpr std::size_t kRegisterTableLevels = 16;

struct ResonatorKernels {
    // w[l] = sum over j < z of (re_l[j] * u[2j]) + (im_l[j] * u[2j + 1]), l < kResonatorLanes.
    void (*score_block)(EntryBlock block, const double* u, std::size_t z, double* w);
    // The same weights against a lattice point: products[q[j] * levels + p] holds
    // (re(p) * re(q[j])) + (im(p) * im(q[j])), formed exactly as the plain dot
    // term, so each component costs one lookup and the add.
    void (*score_block_lattice)(EntryBlock block, const double* products, std::size_t levels,
                                const std::uint16_t* q, std::size_t z, double* w);
    // For j < z, l = 0 .. kResonatorLanes - 1 in order: xy[2j] += re_l[j] * w[l]; xy[2j + 1] += im_l[j] * w[l].
    void (*superpose_block)(EntryBlock block, const double* w, double* xy, std::size_t z);
    // The same for `count` loose entries (any count; tables may differ).
    void (*score)(const EntryPhasors* entries, std::size_t count, const double* u, std::size_t z, double* w);
    void (*superpose)(const EntryPhasors* entries, std::size_t count, const double* w, double* xy, std::size_t z);
};


}  // namespace velmora
