// The baseline target: the generic bodies compiled for what the compiler
// targets on every machine of the architecture (SSE2 on x86-64, NEON on
// aarch64, ...). Always present, and the last row of the kernel table.
#include "core/math/correctly_rounded.hpp"
#include "core/simd/generic/prelude.hpp"
#include "core/simd/kernel_table.hpp"

namespace velmora::baseline {
namespace {

#include "core/simd/generic/bundle.hpp"
#include "core/simd/generic/elementwise.hpp"
#include "core/simd/generic/lattice.hpp"
#include "core/simd/generic/resonator.hpp"
#include "core/simd/generic/similarity.hpp"

}  // namespace

bool supported() { return true; }

extern const KernelTable kernels;
constinit const KernelTable kernels{
    .elementwise = generic_elementwise,
    .resonator = generic_resonator,
    .bundle = generic_bundle,
    .lattice = generic_lattice,
    .similarity = generic_similarity,
    .correctly_rounded = correctly_rounded_baseline,
};

}  // namespace velmora::baseline
