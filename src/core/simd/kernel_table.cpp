#include "core/simd/kernel_table.hpp"

#include "core/simd/target_region.hpp"

namespace velmora {

// Each target's file defines its table and its CPU check in its namespace.
namespace baseline {
extern const KernelTable kernels;
bool supported();
}  // namespace baseline
#if VELMORA_X86_TARGETS
namespace avx2 {
extern const KernelTable kernels;
bool supported();
}  // namespace avx2
namespace avx512 {
extern const KernelTable kernels;
bool supported();
}  // namespace avx512
#endif

namespace {

// The targets of this build in order of preference, widest first: the only
// place that order is written. One row per target.
constexpr KernelVariant kVariants[] = {
#if VELMORA_X86_TARGETS
    {"avx512", avx512::supported, &avx512::kernels},
    {"avx2", avx2::supported, &avx2::kernels},
#endif
    {"baseline", baseline::supported, &baseline::kernels},
};

// The build may cap dispatch (cmake -DVELMORA_MAX_ISA=avx2) so that one
// machine can measure every target: the named one and those after it
// remain. Without a cap every target may run.
#ifdef VELMORA_MAX_ISA
constexpr std::string_view kCap = VELMORA_MAX_ISA;
#else
constexpr std::string_view kCap = kVariants[0].name;
#endif

constexpr std::size_t first_allowed() {
    for (std::size_t i = 0; i < std::size(kVariants); ++i)
        if (kVariants[i].name == kCap) return i;
    return std::size(kVariants);
}
static_assert(first_allowed() < std::size(kVariants),
              "VELMORA_MAX_ISA must name a target this build has (see kVariants)");

const KernelVariant& choose() {
    for (std::size_t i = first_allowed(); i < std::size(kVariants); ++i)
        if (kVariants[i].supported()) return kVariants[i];
    return kVariants[std::size(kVariants) - 1];
}

}  // namespace

std::span<const KernelVariant> kernel_variants() { return kVariants; }

const KernelVariant& dispatch_cap() { return kVariants[first_allowed()]; }

const KernelVariant& chosen_variant() {
    // A function-local static: initialised once, and other threads wait for it.
    static const KernelVariant& chosen = choose();
    return chosen;
}

}  // namespace velmora
