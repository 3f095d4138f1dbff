#include "core/cpu_features.hpp"

namespace velmora {

const char* isa_name(Isa isa) {
    switch (isa) {
        case Isa::Baseline: return "baseline";
        case Isa::Avx2: return "avx2";
        case Isa::Avx512: return "avx512";
    }
    return "?";
}

bool isa_supported(Isa isa) {
#if defined(__x86_64__) || defined(__i386__)
    switch (isa) {
        case Isa::Baseline: return true;
        case Isa::Avx2:
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("fma");
        case Isa::Avx512:
            return isa_supported(Isa::Avx2) && __builtin_cpu_supports("avx512f") &&
                   __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq") &&
                   __builtin_cpu_supports("avx512vl");
    }
    return false;
#else
    return isa == Isa::Baseline;
#endif
}

// The build may cap dispatch (cmake -DVELMORA_MAX_ISA=avx2) so that one
// machine can measure every variant; by default nothing is capped.
#ifndef VELMORA_MAX_ISA_LEVEL
#define VELMORA_MAX_ISA_LEVEL 2
#endif

Isa best_isa() {
    static const Isa best = [] {
        if (VELMORA_MAX_ISA_LEVEL >= 2 && isa_supported(Isa::Avx512)) return Isa::Avx512;
        if (VELMORA_MAX_ISA_LEVEL >= 1 && isa_supported(Isa::Avx2)) return Isa::Avx2;
        return Isa::Baseline;
    }();
    return best;
}

}  // namespace velmora
