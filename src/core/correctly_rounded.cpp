#include "core/correctly_rounded.hpp"

#include "core/correctly_rounded_variants.hpp"

namespace velmora {

const CorrectlyRounded& correctly_rounded(Isa isa) {
#if defined(VELMORA_CR_FMA)
    if (isa != Isa::Baseline) return correctly_rounded_fma();
#endif
    (void)isa;
    return correctly_rounded_baseline();
}

const CorrectlyRounded& correctly_rounded() {
    static const CorrectlyRounded& chosen = correctly_rounded(best_isa());
    return chosen;
}

}  // namespace velmora
