// The AVX2 target (x86-64 with AVX2, BMI2 and FMA; no fused multiply-add
// is ever formed, the FMA bit only selects the correctly rounded library's
// faster copy): the plain bodies compiled for AVX2, and hand-written
// kernels where the compiler's widening falls short.
#include "core/simd/target_region.hpp"

#if VELMORA_X86_TARGETS
#include <immintrin.h>

#include "core/math/correctly_rounded.hpp"
#include "core/simd/cpu_features.hpp"
#include "core/simd/generic/prelude.hpp"
#include "core/simd/kernel_table.hpp"

namespace velmora::avx2 {
namespace {

// Similarities: the plain chains without the AVX2 target. AVX2's 4-double
// gathers, and the compiler's own widening of the chains into 256-bit adds
// (a cross-lane insert per 4 terms, and the row pointers spilled), both
// measured more than twice as slow as these scalar lookups.

#include "core/simd/generic/similarity.hpp"

}  // namespace
}  // namespace velmora::avx2

VELMORA_TARGET_BEGIN("avx2,bmi2,fma")
namespace velmora::avx2 {
namespace {

#include "core/simd/generic/bundle.hpp"
#include "core/simd/generic/elementwise.hpp"
#include "core/simd/generic/lattice.hpp"
#include "core/simd/generic/resonator.hpp"

// ---- generation ----------------------------------------------------------
//
// AVX2 has no 64-bit multiply, and the compiler's stand-in for one (three
// 32-bit multiplies and the shuffles around them) is slower than scalar
// code. For a power-of-two n only the low 16 bits of mix(x) = y ^ (y >> 32),
// y = x * C mod 2^64, are kept, and those need only the low 32 bits of y's
// two halves: lo32(y) = lo32(xl * Cl) and hi32(y) = hi32(xl * Cl) +
// lo32(xl * Ch + xh * Cl), one widening and one 32-bit multiply. The result
// is the same integer, so the same bits.

VELMORA_ALWAYS_INLINE __m128i generate_four(__m256i t, __m256i c, __m256i c_swapped, __m256i pick,
                                            __m256i first_dwords) {
    const __m256i x = _mm256_xor_si256(t, _mm256_srli_epi64(t, 29));
    const __m256i low_product = _mm256_mul_epu32(x, c);        // xl * Cl, all 64 bits
    const __m256i cross = _mm256_mullo_epi32(x, c_swapped);     // (xl * Ch, xh * Cl), low 32 bits each
    const __m256i cross_sum = _mm256_add_epi32(cross, _mm256_srli_epi64(cross, 32));
    const __m256i y = _mm256_add_epi64(low_product, _mm256_slli_epi64(cross_sum, 32));
    const __m256i mixed = _mm256_xor_si256(y, _mm256_srli_epi64(y, 32));
    // The low 16 bits of each of the four words, as four words.
    return _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(mixed, pick), first_dwords));
}

void generate_avx2(std::uint16_t* r, std::size_t len, std::uint64_t base, std::uint32_t n) {
    if ((n & (n - 1)) != 0) return generate(r, len, base, n);
    constexpr std::uint64_t step = 0x9E3779B97F4A7C15ull, mul = 0xBF58476D1CE4E5B9ull;
    const auto word = [](std::uint64_t v) { return static_cast<long long>(v); };
    const __m256i c = _mm256_set1_epi64x(word(mul));
    const __m256i c_swapped = _mm256_set1_epi64x(word((mul << 32) | (mul >> 32)));
    const __m256i seed = _mm256_set1_epi64x(word(base)), stride = _mm256_set1_epi64x(word(4 * step));
    const __m256i pick = _mm256_setr_epi8(0, 1, 8, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,  //
                                          0, 1, 8, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i first_dwords = _mm256_setr_epi32(0, 4, 0, 0, 0, 0, 0, 0);
    const __m128i mask = _mm_set1_epi16(static_cast<short>(n - 1));
    __m256i counter = _mm256_setr_epi64x(0, word(step), word(2 * step), word(3 * step));
    std::size_t i = 0;
    for (; i + 16 <= len; i += 16) {
        __m128i four[4];
        for (__m128i& f : four) {
            f = generate_four(_mm256_xor_si256(seed, counter), c, c_swapped, pick, first_dwords);
            counter = _mm256_add_epi64(counter, stride);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(r + i), _mm_and_si128(_mm_unpacklo_epi64(four[0], four[1]), mask));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(r + i + 8),
                         _mm_and_si128(_mm_unpacklo_epi64(four[2], four[3]), mask));
    }
    for (; i < len; ++i) r[i] = static_cast<std::uint16_t>(mix(base ^ (i * step)) & (n - 1));
}

// ---- power ----------------------------------------------------------------
//
// The plain power bodies correct their remainders with selects that the
// compiler leaves as branches for AVX2, and on random phases those mispredict
// about every other component. These hand-written loops take the same binary64
// steps in the same order, four components per register, and make every
// select a mask.

VELMORA_ALWAYS_INLINE __m256d nearest_integer_avx2(__m256d x) {
    const __m256d shift = _mm256_set1_pd(kRoundingShift);
    return _mm256_sub_pd(_mm256_add_pd(x, shift), shift);
}

// reduce_double of four integral doubles, as int32 lanes: the remainder
// x - q n is exact and within one n of [0, n), so the corrections are
// integer masks.
VELMORA_ALWAYS_INLINE __m128i reduce_avx2(__m256d x, __m256d nd, __m256d inv, __m128i ni) {
    const __m256d q = nearest_integer_avx2(_mm256_mul_pd(x, inv));
    __m128i r = _mm256_cvttpd_epi32(_mm256_sub_pd(x, _mm256_mul_pd(q, nd)));
    r = _mm_add_epi32(r, _mm_and_si128(_mm_cmpgt_epi32(_mm_setzero_si128(), r), ni));
    return _mm_sub_epi32(r, _mm_andnot_si128(_mm_cmpgt_epi32(ni, r), ni));
}

// Eight phases as two registers of four doubles.
struct EightPhases {
    __m128i raw;
    __m256d lo, hi;
};

VELMORA_ALWAYS_INLINE EightPhases load_eight(const std::uint16_t* a) {
    const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
    const __m256i k = _mm256_cvtepu16_epi32(raw);
    return {raw, _mm256_cvtepi32_pd(_mm256_castsi256_si128(k)), _mm256_cvtepi32_pd(_mm256_extracti128_si256(k, 1))};
}

VELMORA_ALWAYS_INLINE void store_eight(std::uint16_t* r, __m128i lo, __m128i hi) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(r), _mm_packus_epi32(lo, hi));  // lanes in [0, n), n <= 65536
}

VELMORA_ALWAYS_INLINE std::uint16_t largest_lane(__m128i seen) {
    alignas(16) std::uint16_t lanes[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), seen);
    std::uint16_t largest = 0;
    for (const std::uint16_t s : lanes) largest = std::max(largest, s);
    return largest;
}

std::uint16_t power_int_avx2(const std::uint16_t* a, std::uint16_t* r, std::size_t len,
                             std::uint32_t e, std::uint32_t n) {
    if ((n & (n - 1)) == 0) return power_int(a, r, len, e, n);  // the mask vectorises as it is
    const double nd = static_cast<double>(n);
    const __m256d ndv = _mm256_set1_pd(nd), inv = _mm256_set1_pd(1.0 / nd), ed = _mm256_set1_pd(e);
    const __m128i ni = _mm_set1_epi32(static_cast<int>(n));
    __m128i seen = _mm_setzero_si128();
    std::size_t i = 0;
    for (; i + 8 <= len; i += 8) {
        const EightPhases k = load_eight(a + i);
        seen = _mm_max_epu16(seen, k.raw);
        store_eight(r + i, reduce_avx2(_mm256_mul_pd(k.lo, ed), ndv, inv, ni),
                    reduce_avx2(_mm256_mul_pd(k.hi, ed), ndv, inv, ni));
    }
    return std::max(largest_lane(seen), power_int(a + i, r + i, len - i, e, n));
}

// nearest_away of four products s x, s the signed value of each phase.
VELMORA_ALWAYS_INLINE __m256d rounded_products_avx2(__m256d k, __m256d nd, __m256d x) {
    const __m256d s = _mm256_blendv_pd(_mm256_sub_pd(k, nd), k, _mm256_cmp_pd(_mm256_add_pd(k, k), nd, _CMP_LE_OQ));
    const __m256d p = _mm256_mul_pd(s, x);
    __m256d t = nearest_integer_avx2(p);
    const __m256d d = _mm256_sub_pd(p, t), zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0);
    const __m256d up = _mm256_and_pd(_mm256_cmp_pd(d, _mm256_set1_pd(0.5), _CMP_EQ_OQ),
                                     _mm256_cmp_pd(p, zero, _CMP_GT_OQ));
    t = _mm256_blendv_pd(t, _mm256_add_pd(t, one), up);
    const __m256d down = _mm256_and_pd(_mm256_cmp_pd(d, _mm256_set1_pd(-0.5), _CMP_EQ_OQ),
                                       _mm256_cmp_pd(p, zero, _CMP_LT_OQ));
    return _mm256_blendv_pd(t, _mm256_sub_pd(t, one), down);
}

// At a power of two n, the magnitudes' route of the AVX-512 kernel (see
// power_real_avx512): floor(y) + 1 for y = |s| * 2|x|, whose bits 1..16 are
// floor(|p| + 1/2) mod 2^16, one double per word of every 64-bit lane, then
// negated where p < 0. AVX2 has no rounding-down addition, so y is floored
// first and then moved into the low bits, both exactly. 16 components a step.
VELMORA_ALWAYS_INLINE __m256i floor_plus_one_avx2(__m256i low_word, __m256d y_scale) {
    const __m256d magnitude = _mm256_sub_pd(_mm256_castsi256_pd(low_word), _mm256_set1_pd(4503599627370496.0));
    const __m256d y = _mm256_floor_pd(_mm256_mul_pd(magnitude, y_scale));
    return _mm256_castpd_si256(_mm256_add_pd(y, _mm256_set1_pd(6755399441055745.0)));  // 1.5 * 2^52 + 1
}

std::uint16_t power_real_masked_avx2(const std::uint16_t* a, std::uint16_t* r, std::size_t len,
                                     double x, std::uint32_t n) {
    const __m256i n16 = _mm256_set1_epi16(static_cast<short>(n));
    const __m256i above_half = _mm256_set1_epi16(static_cast<short>(n / 2 + 1));
    const __m256i mask = _mm256_set1_epi16(static_cast<short>(n - 1));
    const __m256i flip = _mm256_set1_epi16(x < 0 ? -1 : 0);  // the sign of p is then that of -s
    const __m256d y_scale = _mm256_set1_pd(2 * std::fabs(x));
    const __m256i exponent = _mm256_set1_epi64x(0x4330000000000000);  // 2^52
    __m256i seen = _mm256_setzero_si256();
    std::size_t i = 0;
    for (; i + 16 <= len; i += 16) {
        const __m256i k = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
        seen = _mm256_max_epu16(seen, k);
        // |s| = min(k, n - k) in 16 bits (n - 0 wraps to 0 at n = 65536, still the minimum).
        const __m256i s = _mm256_min_epu16(k, _mm256_sub_epi16(n16, k));
        const __m256i negative =
            _mm256_xor_si256(_mm256_cmpeq_epi16(_mm256_max_epu16(k, above_half), k), flip);  // all ones where p < 0
        // Word j to the low word, under the exponent bits of 2^52.
        const __m256i w0 = _mm256_blend_epi16(exponent, s, 0x11);
        const __m256i w1 = _mm256_blend_epi16(exponent, _mm256_srli_epi64(s, 16), 0x11);
        const __m256i w2 = _mm256_blend_epi16(exponent, _mm256_srli_epi64(s, 32), 0x11);
        const __m256i w3 = _mm256_or_si256(_mm256_srli_epi64(s, 48), exponent);
        // Bits 1..16 of each floor(y) + 1 moved to word j, then word j picked.
        __m256i out = _mm256_slli_epi64(floor_plus_one_avx2(w3, y_scale), 47);
        out = _mm256_blend_epi16(out, _mm256_slli_epi64(floor_plus_one_avx2(w2, y_scale), 31), 0x44);
        out = _mm256_blend_epi16(out, _mm256_slli_epi64(floor_plus_one_avx2(w1, y_scale), 15), 0x22);
        out = _mm256_blend_epi16(out, _mm256_srli_epi64(floor_plus_one_avx2(w0, y_scale), 1), 0x11);
        out = _mm256_sub_epi16(_mm256_xor_si256(out, negative), negative);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(r + i), _mm256_and_si256(out, mask));
    }
    const __m128i halves = _mm_max_epu16(_mm256_castsi256_si128(seen), _mm256_extracti128_si256(seen, 1));
    return std::max(largest_lane(halves), power_real(a + i, r + i, len - i, x, n));
}

std::uint16_t power_real_avx2(const std::uint16_t* a, std::uint16_t* r, std::size_t len, double x,
                              std::uint32_t n) {
    if ((n & (n - 1)) == 0) return power_real_masked_avx2(a, r, len, x, n);
    const double nd = static_cast<double>(n);
    const __m256d ndv = _mm256_set1_pd(nd), inv = _mm256_set1_pd(1.0 / nd), xv = _mm256_set1_pd(x);
    const __m128i ni = _mm_set1_epi32(static_cast<int>(n));
    const __m256d offset = _mm256_set1_pd(static_cast<double>(((std::uint64_t{1} << 50) / n) * n));
    __m128i seen = _mm_setzero_si128();
    std::size_t i = 0;
    for (; i + 8 <= len; i += 8) {
        const EightPhases k = load_eight(a + i);
        seen = _mm_max_epu16(seen, k.raw);
        const __m256d lo = rounded_products_avx2(k.lo, ndv, xv), hi = rounded_products_avx2(k.hi, ndv, xv);
        store_eight(r + i, reduce_avx2(_mm256_add_pd(lo, offset), ndv, inv, ni),
                    reduce_avx2(_mm256_add_pd(hi, offset), ndv, inv, ni));
    }
    return std::max(largest_lane(seen), power_real(a + i, r + i, len - i, x, n));
}

// ---- resonator -----------------------------------------------------------
//
// Every entry-component costs at least one table load (AVX2 has no
// two-source permute of doubles to hold a table in registers), and these
// loops are bound by loads and shuffles: scoring keeps four entries per
// register and forms their dot terms with one horizontal add, superposition
// keeps two components per register and reads tables already scaled by the
// entries' weights. Extracting the indices from 64-bit words by shifts, and
// gathers, were measured slower than index loads. Every sum runs in the
// generic body's order: per entry over j in increasing order, per component
// over the block's entries in order.
static_assert(kResonatorLanes == 8, "the AVX2 kernels split a block into two groups of four entries");

// Four entries' dot terms from their (re, im) pairs a, b, c, d and u as
// (u.re, u.im, u.re, u.im): each lane of the horizontal add is
// (re * u.re) + (im * u.im) of one entry, in the order (a, c, b, d).
VELMORA_ALWAYS_INLINE __m256d four_dots(__m128d a, __m128d b, __m128d c, __m128d d, __m256d u) {
    const __m256d ab = _mm256_insertf128_pd(_mm256_castpd128_pd256(a), b, 1);
    const __m256d cd = _mm256_insertf128_pd(_mm256_castpd128_pd256(c), d, 1);
    return _mm256_hadd_pd(_mm256_mul_pd(ab, u), _mm256_mul_pd(cd, u));
}

void score_block_avx2(EntryBlock b, const double* u, std::size_t z, double* w) {
    // Lanes hold entries (0, 2, 1, 3) and (4, 6, 5, 7).
    __m256d acc_lo = _mm256_setzero_pd(), acc_hi = _mm256_setzero_pd();
    const double* t = b.table;
    for (std::size_t j = 0; j < z; ++j) {
        const std::uint16_t* at = b.index + j * kResonatorLanes;
        const __m256d uj = _mm256_broadcast_pd(reinterpret_cast<const __m128d*>(u + 2 * j));
        const auto pair = [t, at](std::size_t l) { return t + 2 * std::size_t{at[l]}; };
        acc_lo = _mm256_add_pd(acc_lo, four_dots(_mm_loadu_pd(pair(0)), _mm_loadu_pd(pair(1)), _mm_loadu_pd(pair(2)),
                                                 _mm_loadu_pd(pair(3)), uj));
        acc_hi = _mm256_add_pd(acc_hi, four_dots(_mm_loadu_pd(pair(4)), _mm_loadu_pd(pair(5)), _mm_loadu_pd(pair(6)),
                                                 _mm_loadu_pd(pair(7)), uj));
    }
    _mm256_storeu_pd(w, _mm256_permute4x64_pd(acc_lo, 0xD8));
    _mm256_storeu_pd(w + 4, _mm256_permute4x64_pd(acc_hi, 0xD8));
}

// Against a lattice point each entry-component is one lookup and one add.
// Two entries per 16-byte register, four chains: measured faster than
// 32-byte registers (assembling one costs a cross-lane insert) and than
// gathers, which are slow on the AVX2-only CPUs (before Zen 4).
void score_block_lattice_avx2(EntryBlock b, const double* products, std::size_t levels,
                              const std::uint16_t* q, std::size_t z, double* w) {
    __m128d acc[kResonatorLanes / 2];
    for (__m128d& a : acc) a = _mm_setzero_pd();
    for (std::size_t j = 0; j < z; ++j) {
        const double* row = products + std::size_t{q[j]} * levels;
        const std::uint16_t* at = b.index + j * kResonatorLanes;
        for (std::size_t l = 0; l < kResonatorLanes / 2; ++l)
            acc[l] = _mm_add_pd(acc[l], _mm_loadh_pd(_mm_load_sd(row + at[2 * l]), row + at[2 * l + 1]));
    }
    for (std::size_t l = 0; l < kResonatorLanes / 2; ++l) _mm_storeu_pd(w + 2 * l, acc[l]);
}

// Tables of at most this many levels are scaled by each entry's weight
// first, so that superposition is one lookup and one add per
// entry-component: (re(p) * w_l) is the product the plain loop forms.
inline constexpr std::size_t kWeightedLevels = 64;

void superpose_block_avx2(EntryBlock b, const double* w, double* xy, std::size_t z) {
    constexpr std::size_t L = kResonatorLanes;
    if (b.levels > kWeightedLevels || z < 2 * b.levels) return superpose_block(b, w, xy, z);
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
        __m256d acc = _mm256_loadu_pd(xy + 2 * j);
        for (std::size_t l = 0; l < L; ++l)
            acc = _mm256_add_pd(acc, _mm256_insertf128_pd(
                                         _mm256_castpd128_pd256(_mm_load_pd(weighted[l] + 2 * std::size_t{at[l]})),
                                         _mm_load_pd(weighted[l] + 2 * std::size_t{at[L + l]}), 1));
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
VELMORA_ALWAYS_INLINE void split_add(__m256i word, std::int32_t* c, std::int32_t* s) {
    const __m256i cos_part = _mm256_srai_epi32(_mm256_slli_epi32(word, 16), 16);
    const __m256i sin_part = _mm256_srai_epi32(word, 16);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(c),
                        _mm256_add_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(c)), cos_part));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(s),
                        _mm256_add_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s)), sin_part));
}

void add_avx2(const std::uint16_t* const* chunk, std::size_t k, std::size_t len,
              const std::int16_t* table, std::uint32_t, std::int32_t* c, std::int32_t* s) {
    const int* words = reinterpret_cast<const int*>(table);
    for (std::size_t item = 0; item < k; ++item) {
        const std::uint16_t* p = chunk[item];
        std::size_t i = 0;
        for (; i + 8 <= len; i += 8) {
            const __m256i at = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
            split_add(_mm256_i32gather_epi32(words, at, 4), c + i, s + i);
        }
        add_item(p, i, len, table, c, s);
    }
}

// The weighted step: the same gathers, each term times the item's weight
// (a 32-bit multiply per lane) before it is added.
void add_weighted_avx2(const std::uint16_t* p, std::size_t len, const std::int16_t* table,
                       std::uint32_t, std::int32_t weight, std::int32_t* c, std::int32_t* s) {
    const int* words = reinterpret_cast<const int*>(table);
    const __m256i w = _mm256_set1_epi32(weight);
    std::size_t i = 0;
    for (; i + 8 <= len; i += 8) {
        const __m256i at = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
        const __m256i word = _mm256_i32gather_epi32(words, at, 4);
        const __m256i cos_part = _mm256_mullo_epi32(_mm256_srai_epi32(_mm256_slli_epi32(word, 16), 16), w);
        const __m256i sin_part = _mm256_mullo_epi32(_mm256_srai_epi32(word, 16), w);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(c + i),
                            _mm256_add_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + i)), cos_part));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(s + i),
                            _mm256_add_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i)), sin_part));
    }
    add_weighted_item(p, i, len, table, weight, c, s);
}

// A map of at most 16 phases: its entries are below 16, so each fits a byte,
// and one byte shuffle of 16 phases looks them up. Once a lane keeps only its
// low four bits its high byte indexes entry 0 too, so the second mask keeps
// only what the low byte found.
std::uint16_t lookup_avx2(const std::uint16_t* a, std::uint16_t* r, std::size_t len,
                          const std::uint16_t* table, std::uint32_t n) {
    if (n > 16) return lookup(a, r, len, table, n);
    alignas(16) std::uint8_t bytes[16] = {};
    for (std::uint32_t k = 0; k < n; ++k) bytes[k] = static_cast<std::uint8_t>(table[k]);
    const __m256i map = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(bytes)));
    const __m256i low = _mm256_set1_epi16(0x0f), keep = _mm256_set1_epi16(0xff);
    __m256i seen = _mm256_setzero_si256();
    std::size_t i = 0;
    for (; i + 16 <= len; i += 16) {
        const __m256i k = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
        seen = _mm256_max_epu16(seen, k);
        // Index bits above the low four are dropped, so a phase >= n, which
        // the caller refuses, still reads inside the map.
        const __m256i v = _mm256_and_si256(_mm256_shuffle_epi8(map, _mm256_and_si256(k, low)), keep);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(r + i), v);
    }
    const __m128i halves = _mm_max_epu16(_mm256_castsi256_si128(seen), _mm256_extracti128_si256(seen, 1));
    return std::max(largest_lane(halves), lookup(a + i, r + i, len - i, table, n));
}

void weighted_fold_avx2(const std::uint16_t* const* items, const std::uint64_t* weights, std::size_t count,
                        std::size_t len, const std::int16_t* table, std::uint32_t n, std::int64_t* cos_sum,
                        std::int64_t* sin_sum) {
    weighted_fold_runs<add_weighted_avx2>(items, weights, count, len, table, n, cos_sum, sin_sum);
}

void fold_avx2(const std::uint16_t* const* items, std::size_t count, std::size_t len,
               const std::int16_t* table, std::uint32_t n, std::int64_t* cos_sum,
               std::int64_t* sin_sum) {
    fold_chunks<add_avx2>(items, count, len, table, n, cos_sum, sin_sum);
}

}  // namespace
}  // namespace velmora::avx2
VELMORA_TARGET_END

namespace velmora::avx2 {

// Outside the target region: it runs before anything is known of the CPU.
bool supported() {
    const X86Cpu& c = x86_cpu();
    return c.avx_usable() && c.leaf7_ebx_bit(5) && c.leaf7_ebx_bit(8) && c.leaf1_ecx_bit(12);  // AVX2, BMI2, FMA
}

extern const KernelTable kernels;
constinit const KernelTable kernels{
    // Up to n = 16 the map is looked up from a register, faster than any rounding.
    .elementwise = {bind, unbind, generate_avx2, power_int_avx2, power_real_avx2, lookup_avx2, 32},
    .resonator = {score_block_avx2, score_block_lattice_avx2, superpose_block_avx2, score, superpose},
    .bundle = {fold_avx2, weighted_fold_avx2},
    .lattice = generic_lattice,
    .similarity = generic_similarity,
    .correctly_rounded = correctly_rounded_avx,
};

}  // namespace velmora::avx2
#endif
