// The compiled copies of the correctly rounded functions (see
// correctly_rounded.hpp); correctly_rounded.cpp chooses among them. The
// build defines VELMORA_CR_FMA where it compiles the FMA copy (x86-64).
#pragma once

#include "core/correctly_rounded.hpp"

namespace velmora {

const CorrectlyRounded& correctly_rounded_baseline();
#if defined(VELMORA_CR_FMA)
const CorrectlyRounded& correctly_rounded_fma();
#endif

}  // namespace velmora
