#include "core/kernel_table.hpp"

#include <string_view>

#include "core/portable.hpp"

namespace velmora {

// Defined by the isa_*.cpp files, each under its own guard.
extern const KernelTable kernels_baseline;
#if VELMORA_ISA_AVX2
extern const KernelTable kernels_avx2;
#endif
#if VELMORA_ISA_AVX512
extern const KernelTable kernels_avx512;
#endif

namespace {

// The variants of this build in order of preference, widest first: the only
// place that order is written.
constexpr KernelVariant kVariants[] = {
#if VELMORA_ISA_AVX512
    {Isa::Avx512, &kernels_avx512},
#endif
#if VELMORA_ISA_AVX2
    {Isa::Avx2, &kernels_avx2},
#endif
    {Isa::Baseline, &kernels_baseline},
};

// The build may cap dispatch (cmake -DVELMORA_MAX_ISA=avx2) so that one
// machine can measure every variant: the named variant and those after it
// remain. Without a cap every variant may run.
#ifdef VELMORA_MAX_ISA
constexpr std::string_view kCap = VELMORA_MAX_ISA;
#else
constexpr std::string_view kCap = isa_name(kVariants[0].isa);
#endif

constexpr std::size_t first_allowed() {
    for (std::size_t i = 0; i < std::size(kVariants); ++i)
        if (isa_name(kVariants[i].isa) == kCap) return i;
    return std::size(kVariants);
}
static_assert(first_allowed() < std::size(kVariants),
              "VELMORA_MAX_ISA must name a variant this build has (see kVariants)");

const KernelVariant& choose() {
    for (std::size_t i = first_allowed(); i < std::size(kVariants); ++i)
        if (isa_supported(kVariants[i].isa)) return kVariants[i];
    return kVariants[std::size(kVariants) - 1];
}

}  // namespace

std::span<const KernelVariant> kernel_variants() { return kVariants; }

Isa dispatch_cap() { return kVariants[first_allowed()].isa; }

const KernelVariant& chosen_variant() {
    // A function-local static: initialised once, and other threads wait for it.
    static const KernelVariant& chosen = choose();
    return chosen;
}

}  // namespace velmora
