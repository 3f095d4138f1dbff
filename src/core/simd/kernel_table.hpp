// The kernel table: every kernel family's entry points for one target, and
// the one dispatch point that picks a table for this process.
//
// Each target is one file, targets/<name>.cpp: it compiles the generic
// bodies (generic/*.hpp) for its instruction set under its own namespace,
// adds the kernels it writes by hand, says whether this CPU runs it, and
// fills a KernelTable. The targets this build has are listed once, widest
// first, in kernel_table.cpp; kernels() takes the first one the CPU runs,
// on first use. Every target gives the bits of the plain bodies, so the
// choice only changes speed.
//
// Adding a family: its struct of entry points in its own header here, a
// member below, its generic body in generic/, and the member filled in
// every target (GCC's -Wextra names a row whose designated initialiser
// misses it).
// Adding an instruction set: one file in targets/ and its row in
// kernel_table.cpp.
//
// The layers: simd/ uses math/ and base/, never the operations above it.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "core/math/correctly_rounded.hpp"
#include "core/simd/bundle.hpp"
#include "core/simd/elementwise.hpp"
#include "core/simd/lattice.hpp"
#include "core/simd/resonator.hpp"
#include "core/simd/similarity.hpp"

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
    std::string_view name;  // baseline, avx2, avx512: what VELMORA_MAX_ISA names
    bool (*supported)();    // whether this CPU runs it (compiled for the plain target)
    const KernelTable* table;
};

// Every target compiled into this build, widest first, whether or not this
// CPU runs it and whatever the build's cap (the differential tests run each
// one the CPU supports). The last is the baseline, which runs everywhere.
std::span<const KernelVariant> kernel_variants();

// The target this process runs: the first of kernel_variants() that the CPU
// supports and the build's cap (VELMORA_MAX_ISA) allows, chosen once, on
// first use, safely from any thread.
const KernelVariant& chosen_variant();
// The widest target the build lets dispatch choose (its VELMORA_MAX_ISA, or
// the first of kernel_variants() when uncapped).
const KernelVariant& dispatch_cap();
inline const KernelTable& kernels() { return *chosen_variant().table; }

// The correctly rounded functions of the running target's copy.
inline const CorrectlyRounded& correctly_rounded() { return kernels().correctly_rounded(); }
inline double cr_cos(double x) { return correctly_rounded().cos(x); }
inline double cr_sin(double x) { return correctly_rounded().sin(x); }
inline SinCos cr_sincos(double x) { return correctly_rounded().sincos(x); }
inline double cr_atan2(double y, double x) { return correctly_rounded().atan2(y, x); }

}  // namespace velmora
