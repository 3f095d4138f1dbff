#include "core/kernels_bundle.hpp"

#include <algorithm>

#include "core/portable.hpp"

// The x86 variants are written with intrinsics; a plain build uses the
// baseline fold for every variant.
#if VELMORA_X86 && VELMORA_EXTENSIONS
#define VELMORA_FOLD_INTRINSICS 1
#include <immintrin.h>
#else
#define VELMORA_FOLD_INTRINSICS 0
#endif

namespace velmora {
namespace {

// The chunked fold around one variant's inner step, which adds `count`
// items (count <= kFoldChunk) into 32-bit partial sums.
// add_items(chunk, items in it, len, table, n, cos part, sin part).
using AddItems = void (*)(const std::uint16_t* const*, std::size_t, std::size_t, const std::int16_t*, std::uint32_t,
                          std::int32_t*, std::int32_t*);

template <AddItems add_items>
VELMORA_BODY void fold_chunks(const std::uint16_t* const* items, std::size_t count, std::size_t len,
                              const std::int16_t* table, std::uint32_t n, std::int64_t* cos_sum,
                              std::int64_t* sin_sum) {
    alignas(64) std::int32_t cos_part[kFoldBlock], sin_part[kFoldBlock];
    for (std::size_t first = 0; first < count; first += kFoldChunk) {
        const std::size_t chunk = std::min(kFoldChunk, count - first);
        std::fill_n(cos_part, len, 0);
        std::fill_n(sin_part, len, 0);
        add_items(items + first, chunk, len, table, n, cos_part, sin_part);
        for (std::size_t i = 0; i < len; ++i) {
            cos_sum[i] += cos_part[i];
            sin_sum[i] += sin_part[i];
        }
    }
}

void add_baseline(const std::uint16_t* const* chunk, std::size_t k, std::size_t len, const std::int16_t* table,
                  std::uint32_t, std::int32_t* c, std::int32_t* s) {
    for (std::size_t item = 0; item < k; ++item) {
        const std::uint16_t* p = chunk[item];
        for (std::size_t i = 0; i < len; ++i) {
            const std::int16_t* entry = table + 2 * std::size_t{p[i]};
            c[i] += entry[0];
            s[i] += entry[1];
        }
    }
}

void fold_baseline(const std::uint16_t* const* items, std::size_t count, std::size_t len, const std::int16_t* table,
                   std::uint32_t n, std::int64_t* cos_sum, std::int64_t* sin_sum) {
    fold_chunks<add_baseline>(items, count, len, table, n, cos_sum, sin_sum);
}

#if VELMORA_FOLD_INTRINSICS
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
    fold_chunks<add_avx2>(items, count, len, table, n, cos_sum, sin_sum);
}

VELMORA_TARGET_AVX512 VELMORA_BODY void add16(std::int32_t* c, std::int32_t* s, __m512i cos_part, __m512i sin_part) {
    _mm512_storeu_si512(c, _mm512_add_epi32(_mm512_loadu_si512(c), cos_part));
    _mm512_storeu_si512(s, _mm512_add_epi32(_mm512_loadu_si512(s), sin_part));
}

// The whole table of n <= 32 in two registers, 32 lookups per word permute.
VELMORA_TARGET_AVX512 void add_avx512_small(const std::uint16_t* const* chunk, std::size_t k, std::size_t len,
                                            const std::int16_t* table, std::uint32_t n, std::int32_t* c,
                                            std::int32_t* s) {
    alignas(64) std::int16_t cos_table[32] = {}, sin_table[32] = {};
    for (std::uint32_t p = 0; p < n; ++p) {
        cos_table[p] = table[2 * p];
        sin_table[p] = table[2 * p + 1];
    }
    const __m512i cos_t = _mm512_load_si512(cos_table), sin_t = _mm512_load_si512(sin_table);
    for (std::size_t item = 0; item < k; ++item) {
        const std::uint16_t* p = chunk[item];
        std::size_t i = 0;
        for (; i + 32 <= len; i += 32) {
            const __m512i at = _mm512_loadu_si512(p + i);
            const __m512i cw = _mm512_permutexvar_epi16(at, cos_t);
            const __m512i sw = _mm512_permutexvar_epi16(at, sin_t);
            add16(c + i, s + i, _mm512_cvtepi16_epi32(_mm512_castsi512_si256(cw)),
                  _mm512_cvtepi16_epi32(_mm512_castsi512_si256(sw)));
            add16(c + i + 16, s + i + 16, _mm512_cvtepi16_epi32(_mm512_extracti64x4_epi64(cw, 1)),
                  _mm512_cvtepi16_epi32(_mm512_extracti64x4_epi64(sw, 1)));
        }
        for (; i < len; ++i) {
            c[i] += table[2 * std::size_t{p[i]}];
            s[i] += table[2 * std::size_t{p[i]} + 1];
        }
    }
}

VELMORA_TARGET_AVX512 void add_avx512(const std::uint16_t* const* chunk, std::size_t k, std::size_t len,
                                      const std::int16_t* table, std::uint32_t, std::int32_t* c, std::int32_t* s) {
    const int* words = reinterpret_cast<const int*>(table);
    for (std::size_t item = 0; item < k; ++item) {
        const std::uint16_t* p = chunk[item];
        std::size_t i = 0;
        for (; i + 16 <= len; i += 16) {
            const __m512i at = _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i)));
            const __m512i word = _mm512_i32gather_epi32(at, words, 4);
            add16(c + i, s + i, _mm512_srai_epi32(_mm512_slli_epi32(word, 16), 16), _mm512_srai_epi32(word, 16));
        }
        for (; i < len; ++i) {
            c[i] += table[2 * std::size_t{p[i]}];
            s[i] += table[2 * std::size_t{p[i]} + 1];
        }
    }
}

VELMORA_TARGET_AVX512 void fold_avx512(const std::uint16_t* const* items, std::size_t count, std::size_t len,
                                       const std::int16_t* table, std::uint32_t n, std::int64_t* cos_sum,
                                       std::int64_t* sin_sum) {
    if (n <= 32)
        fold_chunks<add_avx512_small>(items, count, len, table, n, cos_sum, sin_sum);
    else
        fold_chunks<add_avx512>(items, count, len, table, n, cos_sum, sin_sum);
}

constexpr BundleKernels kernels_avx2{fold_avx2};
constexpr BundleKernels kernels_avx512{fold_avx512};
#endif

constexpr BundleKernels kernels_baseline{fold_baseline};

}  // namespace

const BundleKernels& bundle_kernels(Isa isa) {
#if VELMORA_FOLD_INTRINSICS
    if (isa == Isa::Avx512) return kernels_avx512;
    if (isa == Isa::Avx2) return kernels_avx2;
#endif
    (void)isa;
    return kernels_baseline;
}

const BundleKernels& bundle_kernels() {
    static const BundleKernels& chosen = bundle_kernels(best_isa());
    return chosen;
}

}  // namespace velmora
