// The compiled copies of the correctly rounded functions (see
// correctly_rounded.hpp); the rows of the kernel table refer to them. The
// build defines VELMORA_CR_FMA where it links the FMA copy in (x86-64 with a
// compiler that builds the AVX variants); without it the AVX rows use the
// baseline copy.
#pragma once

#include "core/correctly_rounded.hpp"

namespace velmora {

const CorrectlyRounded& correctly_rounded_baseline();
#if defined(VELMORA_CR_FMA)
const CorrectlyRounded& correctly_rounded_fma();
#endif

// The copy the AVX rows use: the FMA copy where it is linked in.
#if defined(VELMORA_CR_FMA)
inline constexpr auto correctly_rounded_avx = correctly_rounded_fma;
#else
inline constexpr auto correctly_rounded_avx = correctly_rounded_baseline;
#endif

}  // namespace velmora
