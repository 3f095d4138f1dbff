// One copy of the correctly rounded functions, compiled once per variant:
// VELMORA_CR_VARIANT names it, and the compiler flags of this file decide
// whether LLVM libc takes its FMA code paths (__FMA__). Both paths are
// correctly rounded, so they differ in speed only.
#include "core/math/correctly_rounded.hpp"

#include <cstddef>
#include <cstdint>

#include "core/math/lattice.hpp"

// A build that compiles this file once, with no variant named, gets the
// baseline copy (the tools that compile the core by hand do so).
#ifndef VELMORA_CR_VARIANT
#define VELMORA_CR_VARIANT correctly_rounded_baseline
#endif
#ifndef LIBC_NAMESPACE
#define LIBC_NAMESPACE __llvm_libc_velmora_baseline
#endif

// No errno, no deliberate exception flags: the module reads neither, and
// errno would need LLVM libc's own thread-local definition.
#define LIBC_MATH (LIBC_MATH_NO_ERRNO | LIBC_MATH_NO_EXCEPT)
#include "shared/math/atan2.h"
#include "shared/math/cos.h"
#include "shared/math/sin.h"
#include "src/math/generic/sincos.cpp"

#if defined(LIBC_MATH_HAS_SKIP_ACCURATE_PASS)
#error "LLVM libc must keep its accurate pass: without it results are not correctly rounded"
#endif

namespace velmora {
namespace {

namespace libc = LIBC_NAMESPACE;

double cos_impl(double x) { return libc::shared::cos(x); }
double sin_impl(double x) { return libc::shared::sin(x); }
SinCos sincos_impl(double x) {
    SinCos r;
    libc::sincos(x, &r.sin, &r.cos);
    return r;
}
double atan2_impl(double y, double x) { return libc::shared::atan2(y, x); }

// The table loop with the function inlined into it (flatten), which saves
// the call and lets consecutive angles overlap.
[[gnu::flatten]] void phasors_impl(std::uint32_t n, double* out) {
    for (std::uint32_t k = 0; k < n; ++k)
        libc::sincos(phase_angle(k, n), &out[2 * std::size_t{k} + 1], &out[2 * std::size_t{k}]);
}

}  // namespace

const CorrectlyRounded& VELMORA_CR_VARIANT() {
    static constexpr CorrectlyRounded functions{cos_impl, sin_impl, sincos_impl, atan2_impl, phasors_impl};
    return functions;
}

}  // namespace velmora
