// The AVX2 variant (x86-64 with AVX2, BMI2 and FMA; no fused multiply-add
// is ever formed, the FMA bit only selects the correctly rounded library's
// faster copy): the plain bodies compiled for AVX2, and hand-written
// kernels where the compiler's widening falls short.
#include "core/portable.hpp"

#if VELMORA_ISA_AVX2
#include <immintrin.h>

#include <cstring>

#include "core/correctly_rounded_variants.hpp"
#include "core/kernel_bodies.hpp"
#include "core/kernel_table.hpp"

namespace velmora {
namespace {

VELMORA_ELEMENTWISE_GENERIC(VELMORA_TARGET_AVX2)
VELMORA_RESONATOR_GENERIC(VELMORA_TARGET_AVX2)
VELMORA_LATTICE_GENERIC(VELMORA_TARGET_AVX2)

// ---- resonator -----------------------------------------------------------
//
// The generic bodies spend their time on loads: an index and then a
// dependent (re, im) pair per entry-component, and a multiply and a shuffle
// per pair. These kernels read a block's 8 phases at one component as two
// 64-bit words (the indices then come from shifts, not loads) and keep four
// entries (scoring) or two components (superposition) in one register.
// Every sum runs in the generic body's order: per entry over j in increasing
// order, per component over the block's entries in order.
static_assert(kResonatorLanes == 8, "the AVX2 kernels read one block's 8 phases as two 64-bit words");

VELMORA_TARGET_AVX2 VELMORA_BODY std::uint64_t load_word(const std::uint16_t* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// The (re, im) pair of phase (word >> 16 * k) & 0xffff.
VELMORA_TARGET_AVX2 VELMORA_BODY __m128d pair_at(const double* table, std::uint64_t word, unsigned k) {
    return _mm_loadu_pd(table + 2 * ((word >> (16 * k)) & 0xffff));
}

// Entries (a, b, c, d)'s pairs as re = (a, c, b, d) and im in the same order.
VELMORA_TARGET_AVX2 VELMORA_BODY void split_pairs(__m128d a, __m128d b, __m128d c, __m128d d, __m256d& re,
                                                  __m256d& im) {
    const __m256d ab = _mm256_insertf128_pd(_mm256_castpd128_pd256(a), b, 1);
    const __m256d cd = _mm256_insertf128_pd(_mm256_castpd128_pd256(c), d, 1);
    re = _mm256_unpacklo_pd(ab, cd);
    im = _mm256_unpackhi_pd(ab, cd);
}

VELMORA_TARGET_AVX2 void score_block_avx2(EntryBlock b, const double* u, std::size_t z, double* w) {
    // Lanes hold entries (0, 2, 1, 3) and (4, 6, 5, 7).
    __m256d acc_lo = _mm256_setzero_pd(), acc_hi = _mm256_setzero_pd();
    const double* t = b.table;
    for (std::size_t j = 0; j < z; ++j) {
        const std::uint16_t* at = b.index + j * kResonatorLanes;
        const std::uint64_t lo = load_word(at), hi = load_word(at + 4);
        const __m256d ur = _mm256_broadcast_sd(u + 2 * j), ui = _mm256_broadcast_sd(u + 2 * j + 1);
        __m256d re, im;
        split_pairs(pair_at(t, lo, 0), pair_at(t, lo, 1), pair_at(t, lo, 2), pair_at(t, lo, 3), re, im);
        // (re * u.re) + (im * u.im), then added to the entry's sum.
        acc_lo = _mm256_add_pd(acc_lo, _mm256_add_pd(_mm256_mul_pd(re, ur), _mm256_mul_pd(im, ui)));
        split_pairs(pair_at(t, hi, 0), pair_at(t, hi, 1), pair_at(t, hi, 2), pair_at(t, hi, 3), re, im);
        acc_hi = _mm256_add_pd(acc_hi, _mm256_add_pd(_mm256_mul_pd(re, ur), _mm256_mul_pd(im, ui)));
    }
    _mm256_storeu_pd(w, _mm256_permute4x64_pd(acc_lo, 0xD8));
    _mm256_storeu_pd(w + 4, _mm256_permute4x64_pd(acc_hi, 0xD8));
}

// Against a lattice point each entry-component is one lookup and one add;
// one gather fetches four entries' products from the component's row.
VELMORA_TARGET_AVX2 void score_block_lattice_avx2(EntryBlock b, const double* products, std::size_t levels,
                                                  const std::uint16_t* q, std::size_t z, double* w) {
    __m256d acc_lo = _mm256_setzero_pd(), acc_hi = _mm256_setzero_pd();
    for (std::size_t j = 0; j < z; ++j) {
        const double* row = products + std::size_t{q[j]} * levels;
        const __m256i at = _mm256_cvtepu16_epi32(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(b.index + j * kResonatorLanes)));
        acc_lo = _mm256_add_pd(acc_lo, _mm256_i32gather_pd(row, _mm256_castsi256_si128(at), 8));
        acc_hi = _mm256_add_pd(acc_hi, _mm256_i32gather_pd(row, _mm256_extracti128_si256(at, 1), 8));
    }
    _mm256_storeu_pd(w, acc_lo);
    _mm256_storeu_pd(w + 4, acc_hi);
}

// Tables of at most this many levels are scaled by each entry's weight
// first, so that superposition is one lookup and one add per
// entry-component: (re(p) * w_l) is the product the plain loop forms.
inline constexpr std::size_t kWeightedLevels = 64;

VELMORA_TARGET_AVX2 void superpose_block_avx2(EntryBlock b, const double* w, double* xy, std::size_t z) {
    constexpr std::size_t L = kResonatorLanes;
    if (b.levels > kWeightedLevels || z < 2 * b.levels) return generic_superpose_block(b, w, xy, z);
    alignas(32) double weighted[L][2 * kWeightedLevels];
    for (std::size_t l = 0; l < L; ++l) {
        const __m128d wl = _mm_set1_pd(w[l]);
        for (std::size_t p = 0; p < b.levels; ++p)
            _mm_store_pd(weighted[l] + 2 * p, _mm_mul_pd(_mm_loadu_pd(b.table + 2 * p), wl));
    }
    // Two components per register: (x_j, y_j, x_j+1, y_j+1).
    std::size_t j = 0;
    for (; j + 2 <= z; j += 2) {
        const std::uint16_t* at = b.index + j * L;
        const std::uint64_t a_lo = load_word(at), a_hi = load_word(at + 4);
        const std::uint64_t b_lo = load_word(at + L), b_hi = load_word(at + L + 4);
        __m256d acc = _mm256_loadu_pd(xy + 2 * j);
        for (unsigned l = 0; l < 4; ++l)
            acc = _mm256_add_pd(acc, _mm256_insertf128_pd(_mm256_castpd128_pd256(pair_at(weighted[l], a_lo, l)),
                                                          pair_at(weighted[l], b_lo, l), 1));
        for (unsigned l = 0; l < 4; ++l)
            acc = _mm256_add_pd(acc, _mm256_insertf128_pd(_mm256_castpd128_pd256(pair_at(weighted[4 + l], a_hi, l)),
                                                          pair_at(weighted[4 + l], b_hi, l), 1));
        _mm256_storeu_pd(xy + 2 * j, acc);
    }
    if (j < z) {
        const std::uint16_t* at = b.index + j * L;
        __m128d acc = _mm_loadu_pd(xy + 2 * j);
        for (std::size_t l = 0; l < L; ++l) acc = _mm_add_pd(acc, _mm_load_pd(weighted[l] + 2 * std::size_t{at[l]}));
        _mm_storeu_pd(xy + 2 * j, acc);
    }
}

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
    .resonator = {score_block_avx2, score_block_lattice_avx2, superpose_block_avx2, generic_score,
                  generic_superpose},
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
