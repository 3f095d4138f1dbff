#include "core/kernels_elementwise.hpp"

#include <algorithm>

#include "core/portable.hpp"

namespace velmora {
namespace {

// Written in 16-bit lanes so that the compiler packs 16/32 phases per vector.
// With m = n mod 2^16 (0 for n = 65536) and t = m - b (= n - b, in [1, n] for
// a valid b, 0 when n = 65536 and b = 0): a + b >= n exactly when a >= t, and
// then the result is a - t, otherwise a - t + m; both wrap correctly mod 2^16.
VELMORA_BODY std::uint16_t bind_body(const std::uint16_t* __restrict a, const std::uint16_t* __restrict b,
                                     std::uint16_t* __restrict r, std::size_t len, std::uint32_t n) {
    const std::uint16_t m = static_cast<std::uint16_t>(n);
    std::uint16_t seen = 0;
    for (std::size_t i = 0; i < len; ++i) {
        const std::uint16_t x = a[i], y = b[i];
        seen = std::max(seen, std::max(x, y));
        const std::uint16_t t = static_cast<std::uint16_t>(m - y);
        const std::uint16_t d = static_cast<std::uint16_t>(x - t);
        r[i] = x >= t ? d : static_cast<std::uint16_t>(d + m);
    }
    return seen;
}

VELMORA_BODY std::uint16_t unbind_body(const std::uint16_t* __restrict a, const std::uint16_t* __restrict b,
                                       std::uint16_t* __restrict r, std::size_t len, std::uint32_t n) {
    const std::uint16_t m = static_cast<std::uint16_t>(n);
    std::uint16_t seen = 0;
    for (std::size_t i = 0; i < len; ++i) {
        const std::uint16_t x = a[i], y = b[i];
        seen = std::max(seen, std::max(x, y));
        const std::uint16_t d = static_cast<std::uint16_t>(x - y);
        r[i] = x >= y ? d : static_cast<std::uint16_t>(d + m);
    }
    return seen;
}

VELMORA_BODY std::uint64_t mix(std::uint64_t x) {
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    return x ^ (x >> 32);
}

VELMORA_BODY void generate_body(std::uint16_t* __restrict r, std::size_t len, std::uint64_t base,
                                std::uint32_t n) {
    constexpr std::uint64_t step = 0x9E3779B97F4A7C15ull;
    if ((n & (n - 1)) == 0) {
        // A power of two: the remainder is a mask, and the loop vectorises.
        const std::uint64_t mask = n - 1;
        for (std::size_t i = 0; i < len; ++i)
            r[i] = static_cast<std::uint16_t>(mix(base ^ (i * step)) & mask);
        return;
    }
    const Remainder64 rem(n);
    std::uint64_t counter = 0;
    for (std::size_t i = 0; i < len; ++i) {
        r[i] = static_cast<std::uint16_t>(rem(mix(base ^ counter)));
        counter += step;
    }
}

#define VELMORA_VARIANT(suffix, target)                                                                  \
    target std::uint16_t bind_##suffix(const std::uint16_t* a, const std::uint16_t* b, std::uint16_t* r, \
                                       std::size_t len, std::uint32_t n) {                               \
        return bind_body(a, b, r, len, n);                                                               \
    }                                                                                                    \
    target std::uint16_t unbind_##suffix(const std::uint16_t* a, const std::uint16_t* b,                 \
                                         std::uint16_t* r, std::size_t len, std::uint32_t n) {           \
        return unbind_body(a, b, r, len, n);                                                             \
    }                                                                                                    \
    target void generate_##suffix(std::uint16_t* r, std::size_t len, std::uint64_t base, std::uint32_t n) { \
        generate_body(r, len, base, n);                                                                  \
    }                                                                                                    \
    constexpr ElementwiseKernels kernels_##suffix{bind_##suffix, unbind_##suffix, generate_##suffix};

VELMORA_VARIANT(baseline, )
#if VELMORA_X86
VELMORA_VARIANT(avx2, VELMORA_TARGET_AVX2)
VELMORA_VARIANT(avx512, VELMORA_TARGET_AVX512)
#endif

}  // namespace

const ElementwiseKernels& elementwise_kernels(Isa isa) {
#if VELMORA_X86
    if (isa == Isa::Avx512) return kernels_avx512;
    if (isa == Isa::Avx2) return kernels_avx2;
#endif
    (void)isa;
    return kernels_baseline;
}

const ElementwiseKernels& elementwise_kernels() {
    static const ElementwiseKernels& chosen = elementwise_kernels(best_isa());
    return chosen;
}

}  // namespace velmora
