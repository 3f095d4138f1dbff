// The kernel table: every kernel family's entry points for one instruction
// set, and the one dispatch point that picks a table for this process.
//
// Each variant is one source file, isa_<name>.cpp, that fills a KernelTable
// from the plain bodies (kernel_bodies.hpp, compiled for its target) and its
// own hand-written kernels, under its guard from portable.hpp. The variants
// this build has are listed once, widest first, in kernel_table.cpp;
// kernels() takes the first one the CPU runs, on first use. Every variant
// gives the bits of the plain loops, so the choice only changes speed.
//
// Adding a family: its struct of entry points in its own header, a member
// here, its plain body (if it has one) in kernel_bodies.hpp, and the member
// filled in every isa_*.cpp (GCC's -Wextra names a row whose designated
// initialiser misses it).
// Adding an instruction set: its Isa and CPU check in cpu_features, its
// guard and target in portable.hpp, one isa_<name>.cpp and one row in
// kernel_table.cpp.
#pragma once

#include <cstddef>
#include <span>

#include "core/correctly_rounded.hpp"
#include "core/cpu_features.hpp"
#include "core/kernels_bundle.hpp"
#include "core/kernels_elementwise.hpp"
#include "core/kernels_resonator.hpp"
#include "core/kernels_similarity.hpp"
#include "core/lattice_levels.hpp"

namespace velmora {

struct KernelTable {
    ElementwiseKernels elementwise;
    ResonatorKernels resonator;
    BundleKernels bundle;
    LatticeKernels lattice;
    SimilarityKernels similarity;
    // A whole compiled copy of the library rather than functions with a
    // target: its FMA code paths are chosen by the compiler flags of its file.
    const CorrectlyRounded& (*correctly_rounded)();
};

struct KernelVariant {
    Isa isa;
    const KernelTable* table;
};

// Every variant compiled into this build, widest first, whether or not this
// CPU runs it and whatever the build's cap (the differential tests run each
// one the CPU supports).
std::span<const KernelVariant> kernel_variants();

// The variant this process runs: the first of kernel_variants() that the CPU
// supports and the build's cap (VELMORA_MAX_ISA) allows, chosen once, on
// first use, safely from any thread.
const KernelVariant& chosen_variant();
// The widest variant the build lets dispatch choose (its VELMORA_MAX_ISA, or
// the first of kernel_variants() when uncapped).
Isa dispatch_cap();
inline const KernelTable& kernels() { return *chosen_variant().table; }

}  // namespace velmora
