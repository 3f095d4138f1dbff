// Which instruction-set variant of the SIMD kernels this process runs.
//
// The answer comes from the CPU alone (never from the environment or a build
// flag), is resolved once, and only changes speed: every variant returns the
// same bits as the plain scalar order of operations.
#pragma once

#include <cstddef>

namespace velmora {

enum class Isa {
    Baseline,  // what the compiler targets for every machine of the architecture
    Avx2,      // x86-64 with AVX2, BMI2 and FMA
    Avx512,    // x86-64 with AVX-512 F, BW, DQ and VL
};

inline constexpr Isa kAllIsas[] = {Isa::Baseline, Isa::Avx2, Isa::Avx512};

const char* isa_name(Isa isa);
// True when this CPU can execute code built for `isa`.
bool isa_supported(Isa isa);
// The widest supported variant, resolved on first use.
Isa best_isa();

}  // namespace velmora
