#include "core/simd/cpu_features.hpp"

#include <cstdint>

#include "core/base/portable.hpp"

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

X86Cpu detect() {
    X86Cpu c;
    if (cpuid(0, 0).eax < 7) return c;
    c.leaf1_ecx = cpuid(1, 0).ecx;
    c.leaf7_ebx = cpuid(7, 0).ebx;
    // XGETBV faults unless the OS has enabled it (OSXSAVE).
    if (c.leaf1_ecx_bit(27)) c.saved_state = os_saved_state();
    return c;
}

}  // namespace
#endif

const X86Cpu& x86_cpu() {
#if VELMORA_X86
    // A function-local static: read once, and other threads wait for it.
    static const X86Cpu c = detect();
#else
    static constexpr X86Cpu c{};
#endif
    return c;
}

}  // namespace velmora
