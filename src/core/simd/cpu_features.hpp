// What this CPU can run: the feature words that decide it, read once.
//
// The answer comes from the CPU alone (never from the environment) and only
// changes speed: every target returns the same bits as the plain scalar
// order of operations. Each target (targets/*.cpp) reads from here whether
// it can run; the kernel table (kernel_table.hpp) decides which one does.
#pragma once

#include <cstdint>

namespace velmora {

// x86-64's CPUID leaves 1 and 7 and the register state the operating
// system saves (XGETBV 0). All zero on other architectures, and on x86-64
// CPUs too old to have leaf 7.
struct X86Cpu {
    std::uint32_t leaf1_ecx = 0, leaf7_ebx = 0;
    std::uint64_t saved_state = 0;

    bool leaf1_ecx_bit(int b) const { return ((leaf1_ecx >> b) & 1u) != 0; }
    bool leaf7_ebx_bit(int b) const { return ((leaf7_ebx >> b) & 1u) != 0; }
    bool saves(std::uint64_t states) const { return (saved_state & states) == states; }
    // AVX needs OSXSAVE and the OS saving the SSE and AVX registers.
    bool avx_usable() const { return leaf1_ecx_bit(27) && leaf1_ecx_bit(28) && saves(0x6); }
};

const X86Cpu& x86_cpu();

}  // namespace velmora
