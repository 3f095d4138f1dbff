// The AVX2 variant (x86-64 with AVX2, BMI2 and FMA; no fused multiply-add
// is ever formed, the FMA bit only selects the correctly rounded library's
// faster copy): the plain bodies compiled for AVX2, and hand-written
// kernels where the compiler's widening falls short.
#include "core/portable.hpp"

#if VELMORA_ISA_AVX2
#include <immintrin.h>

#include "core/correctly_rounded_variants.hpp"
#include "core/kernel_bodies.hpp"
#include "core/kernel_table.hpp"

namespace velmora {
namespace {

VELMORA_ELEMENTWISE_GENERIC(VELMORA_TARGET_AVX2)
VELMORA_RESONATOR_GENERIC(VELMORA_TARGET_AVX2)
VELMORA_LATTICE_GENERIC(VELMORA_TARGET_AVX2)

// ---- bundle: gathers of (cos, sin) words ------------------------------------

// x86 is little-endian: the pair (cos, sin) of phase p is the 32-bit word p
// of the table, cos in its low half.
VELMORA_TARGET_AVX2 VELMORA_BODY void split_add(__m256i word, std::int32_t* c, std::int32_t* s) {
    const __m256i cos_part = _mm256_srai_epi32(_mm256_slli_epi32(word, 16), 16);
    const __m256i sin_part = _mm256_srai_epi32(word, 16);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(c),
                        _mm256_add_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(c)), cos_part));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(s),
                        _mm256_add_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s)), sin_part));
}

VELMORA_TARGET_AVX2 void add_avx2(const std::uint16_t* const* chunk, std::size_t k, std::size_t len,
                                  const std::int16_t* table, std::uint32_t, std::int32_t* c, std::int32_t* s) {
    const int* words = reinterpret_cast<const int*>(table);
    for (std::size_t item = 0; item < k; ++item) {
        const std::uint16_t* p = chunk[item];
        std::size_t i = 0;
        for (; i + 8 <= len; i += 8) {
            const __m256i at = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
            split_add(_mm256_i32gather_epi32(words, at, 4), c + i, s + i);
        }
        for (; i < len; ++i) {
            c[i] += table[2 * std::size_t{p[i]}];
            s[i] += table[2 * std::size_t{p[i]} + 1];
        }
    }
}

VELMORA_TARGET_AVX2 void fold_avx2(const std::uint16_t* const* items, std::size_t count, std::size_t len,
                                   const std::int16_t* table, std::uint32_t n, std::int64_t* cos_sum,
                                   std::int64_t* sin_sum) {
    generic::fold_chunks<add_avx2>(items, count, len, table, n, cos_sum, sin_sum);
}

}  // namespace

extern const KernelTable kernels_avx2;
constinit const KernelTable kernels_avx2{
    .elementwise = generic_elementwise,
    .resonator = generic_resonator,
    .bundle = {fold_avx2},
    .lattice = generic_lattice,
#if defined(VELMORA_CR_FMA)
    .correctly_rounded = correctly_rounded_fma,
#else
    .correctly_rounded = correctly_rounded_baseline,
#endif
};

}  // namespace velmora
#endif
