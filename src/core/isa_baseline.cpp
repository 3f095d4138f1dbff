// The baseline variant: the plain bodies compiled for what the compiler
// targets on every machine of the architecture (SSE2 on x86-64, NEON on
// aarch64, ...). Always present, and the last row of the kernel table.
#include "core/correctly_rounded_variants.hpp"
#include "core/kernel_bodies.hpp"
#include "core/kernel_table.hpp"

namespace velmora {
namespace {

VELMORA_ELEMENTWISE_GENERIC()
VELMORA_RESONATOR_GENERIC()
VELMORA_BUNDLE_GENERIC()
VELMORA_LATTICE_GENERIC()
VELMORA_SIMILARITY_GENERIC()

}  // namespace

extern const KernelTable kernels_baseline;
constinit const KernelTable kernels_baseline{
    .elementwise = generic_elementwise,
    .resonator = generic_resonator,
    .bundle = generic_bundle,
    .lattice = generic_lattice,
    .similarity = generic_similarity,
    .correctly_rounded = correctly_rounded_baseline,
};

}  // namespace velmora
