// SIMD kernels of the resonator's inner loops, one variant per instruction
// set (cpu_features.hpp).
//
// An entry is read as a phase array plus the phasor table of its resolution
// (phase_tables.hpp, or a private table for an entry whose resolution is too
// rare to be worth one), so a codebook costs 2 bytes per component instead
// of two doubles. Table values are the cos/sin of the plain expression, so
// every product and sum below sees the same operands as the plain loop.
//
// Order of operations, kept in every variant: each entry's weight is its own
// sum over j in increasing order; the superposition adds the entries of a
// block to X_j and Y_j one after another in entry order. Only independent
// sums run side by side (several entries' weights in parallel lanes, several
// components' accumulators in parallel lanes). No fused multiply-add.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/cpu_features.hpp"

namespace velmora {

// Entries processed together: lanes of the scoring kernel and the depth of
// one fused superposition step.
inline constexpr std::size_t kResonatorLanes = 8;

struct EntryPhasors {
    const std::uint16_t* index;  // z phase indices
    const double* table;         // [2p] = cos, [2p + 1] = sin of phase p
};

struct ResonatorKernels {
    // w[l] = sum over j < z of (re_l[j] * ur[j]) + (im_l[j] * ui[j]), for l < count <= kResonatorLanes.
    void (*score)(const EntryPhasors* entries, std::size_t count, const double* ur, const double* ui,
                  std::size_t z, double* w);
    // For j < z and l = 0 .. count - 1 in order: x[j] += re_l[j] * w[l]; y[j] += im_l[j] * w[l].
    void (*superpose)(const EntryPhasors* entries, std::size_t count, const double* w, double* x, double* y,
                      std::size_t z);
};

const ResonatorKernels& resonator_kernels(Isa isa);
// The dispatch point: the widest variant this CPU runs, chosen once.
const ResonatorKernels& resonator_kernels();

}  // namespace velmora
