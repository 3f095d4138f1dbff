// What this CPU can run, per instruction set of the kernel variants.
//
// The answer comes from the CPU alone (never from the environment), is read
// once, and only changes speed: every variant returns the same bits as the
// plain scalar order of operations. Which variant runs is decided by the
// kernel table (kernel_table.hpp), which also holds their order.
#pragma once

#include <cstddef>

namespace velmora {

enum class Isa {
    Baseline,  // what the compiler targets for every machine of the architecture
    Avx2,      // x86-64 with AVX2, BMI2 and FMA
    Avx512,    // x86-64 with AVX-512 F, BW, DQ and VL
};

constexpr const char* isa_name(Isa isa) {
    switch (isa) {
        case Isa::Baseline: return "baseline";
        case Isa::Avx2: return "avx2";
        case Isa::Avx512: return "avx512";
    }
    return "?";
}

// True when this CPU can execute code built for `isa`.
bool isa_supported(Isa isa);

}  // namespace velmora
