#include "core/cpu_features.hpp"

#include <cstdint>

#include "core/portable.hpp"

#if VELMORA_X86 && VELMORA_GNU
#include <cpuid.h>
#endif

namespace velmora {

#if VELMORA_X86
namespace {

// Straight from the CPUID and XGETBV instructions, the same way under every
// compiler: a compiler's own feature builtins need its runtime library's CPU
// model, which a static or cross-compiled build may not have.
struct CpuidRegs {
    std::uint32_t eax, ebx, ecx, edx;
};

CpuidRegs cpuid(std::uint32_t leaf, std::uint32_t subleaf) {
    CpuidRegs r{};
#if VELMORA_GNU
    __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
#else
    int regs[4];
    __cpuidex(regs, static_cast<int>(leaf), static_cast<int>(subleaf));
    r = {static_cast<std::uint32_t>(regs[0]), static_cast<std::uint32_t>(regs[1]),
         static_cast<std::uint32_t>(regs[2]), static_cast<std::uint32_t>(regs[3])};
#endif
    return r;
}

// Which register states the operating system saves on a context switch.
std::uint64_t os_saved_state() {
#if VELMORA_GNU
    std::uint32_t lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (std::uint64_t{hi} << 32) | lo;
#else
    return _xgetbv(0);
#endif
}

struct X86Features {
    bool avx2 = false, avx512 = false;
};

X86Features detect() {
    X86Features f;
    const auto bit = [](std::uint32_t reg, int b) { return ((reg >> b) & 1u) != 0; };
    if (cpuid(0, 0).eax < 7) return f;
    const CpuidRegs l1 = cpuid(1, 0);
    // AVX needs OSXSAVE and the OS saving the SSE and AVX registers.
    if (!bit(l1.ecx, 27) || !bit(l1.ecx, 28)) return f;
    const std::uint64_t saved = os_saved_state();
    if ((saved & 0x6) != 0x6) return f;
    const CpuidRegs l7 = cpuid(7, 0);
    f.avx2 = bit(l7.ebx, 5) && bit(l7.ebx, 8) && bit(l1.ecx, 12);  // AVX2, BMI2, FMA
    // AVX-512 also needs the opmask and upper ZMM states saved.
    f.avx512 = f.avx2 && (saved & 0xe0) == 0xe0 && bit(l7.ebx, 16) && bit(l7.ebx, 17) &&
               bit(l7.ebx, 30) && bit(l7.ebx, 31);  // F, DQ, BW, VL
    return f;
}

const X86Features& features() {
    static const X86Features f = detect();
    return f;
}

}  // namespace
#endif

bool isa_supported(Isa isa) {
    switch (isa) {
        case Isa::Baseline: return true;
#if VELMORA_X86
        case Isa::Avx2: return features().avx2;
        case Isa::Avx512: return features().avx512;
#else
        case Isa::Avx2:
        case Isa::Avx512: return false;
#endif
    }
    return false;
}

}  // namespace velmora
