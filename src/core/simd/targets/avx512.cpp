// The AVX-512 target (x86-64 with AVX-512 F, BW, DQ and VL): the plain
// bodies compiled for AVX-512, the resonator's small tables held in
// registers, and the bundle fold's word permutes and gathers.
#include "core/simd/target_region.hpp"

#if VELMORA_X86_TARGETS
#include <immintrin.h>

#include "core/math/correctly_rounded.hpp"
#include "core/simd/cpu_features.hpp"
#include "core/simd/generic/prelude.hpp"
#include "core/simd/kernel_table.hpp"

VELMORA_TARGET_BEGIN("avx2,bmi2,fma,avx512f,avx512bw,avx512dq,avx512vl")
namespace velmora::avx512 {
namespace {

#include "core/simd/generic/bundle.hpp"
#include "core/simd/generic/elementwise.hpp"
#include "core/simd/generic/lattice.hpp"
#include "core/simd/generic/resonator.hpp"
#include "core/simd/generic/similarity.hpp"

// ---- resonator ---------------------------------------------------------------

// AVX-512 with the table in registers: a table of at most 16 levels is two
// registers of re and two of im, and one two-source permute looks up the
// values of all 8 entries of a block (or of 8 components) at once, where the
// generic body loads an index and then a dependent table pair per entry.
// Every sum still runs in the generic body's order: per entry over j in
// increasing order, per component over the block's entries in order.
static_assert(kResonatorLanes == 8, "the AVX-512 kernels hold one block's 8 entries in one register");

struct RegisterTable {
    __m512d re_lo, re_hi, im_lo, im_hi;
};

VELMORA_ALWAYS_INLINE RegisterTable load_register_table(const double* table, std::size_t levels) {
    alignas(64) double re[kRegisterTableLevels] = {}, im[kRegisterTableLevels] = {};
    for (std::size_t p = 0; p < levels; ++p) {
        re[p] = table[2 * p];
        im[p] = table[2 * p + 1];
    }
    return {_mm512_load_pd(re), _mm512_load_pd(re + 8), _mm512_load_pd(im), _mm512_load_pd(im + 8)};
}

// The 8 entries' phases at one component, as 64-bit permute indices.
VELMORA_ALWAYS_INLINE __m512i block_phases(const std::uint16_t* at) {
    return _mm512_cvtepu16_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)));
}

void score_block_avx512(EntryBlock b, const double* u, std::size_t z, double* w) {
    if (b.levels > kRegisterTableLevels) return score_block(b, u, z, w);
    const RegisterTable t = load_register_table(b.table, b.levels);
    __m512d acc = _mm512_setzero_pd();
    for (std::size_t j = 0; j < z; ++j) {
        const __m512i at = block_phases(b.index + j * kResonatorLanes);
        const __m512d re = _mm512_permutex2var_pd(t.re_lo, at, t.re_hi);
        const __m512d im = _mm512_permutex2var_pd(t.im_lo, at, t.im_hi);
        // (re * u.re) + (im * u.im), then added to the entry's sum.
        const __m512d dot = _mm512_add_pd(_mm512_mul_pd(re, _mm512_set1_pd(u[2 * j])),
                                          _mm512_mul_pd(im, _mm512_set1_pd(u[2 * j + 1])));
        acc = _mm512_add_pd(acc, dot);
    }
    _mm512_storeu_pd(w, acc);
}

void score_block_lattice_avx512(EntryBlock b, const double* products, std::size_t levels,
                                const std::uint16_t* q, std::size_t z, double* w) {
    if (levels > kRegisterTableLevels) return score_block_lattice(b, products, levels, q, z, w);
    // Masked loads read exactly one row of `levels` products, never past it.
    const __mmask8 lo_mask = static_cast<__mmask8>(levels >= 8 ? 0xFF : (1u << levels) - 1);
    const __mmask8 hi_mask = static_cast<__mmask8>(levels > 8 ? (1u << (levels - 8)) - 1 : 0);
    __m512d acc = _mm512_setzero_pd();
    for (std::size_t j = 0; j < z; ++j) {
        const double* row = products + std::size_t{q[j]} * levels;
        const __m512d lo = _mm512_maskz_loadu_pd(lo_mask, row);
        const __m512d hi = _mm512_maskz_loadu_pd(hi_mask, row + 8);
        acc = _mm512_add_pd(acc, _mm512_permutex2var_pd(lo, block_phases(b.index + j * kResonatorLanes), hi));
    }
    _mm512_storeu_pd(w, acc);
}

// Eight components at a time: x and y of components j..j+7 in two
// registers, entry l's phases at those components picked out of the
// interleaved block (element c * 8 + l) by a two-source word permute.
void superpose_block_avx512(EntryBlock b, const double* w, double* xy, std::size_t z) {
    constexpr std::size_t L = kResonatorLanes;
    if (b.levels > kRegisterTableLevels) return superpose_block(b, w, xy, z);
    const RegisterTable t = load_register_table(b.table, b.levels);
    __m512i pick[L];
    for (std::size_t l = 0; l < L; ++l) {
        alignas(64) std::uint16_t sel[32] = {};
        for (std::size_t c = 0; c < 8; ++c) sel[c] = static_cast<std::uint16_t>(c * L + l);
        pick[l] = _mm512_load_si512(sel);
    }
    __m512d wl[L];
    for (std::size_t l = 0; l < L; ++l) wl[l] = _mm512_set1_pd(w[l]);
    const __m512i even = _mm512_set_epi64(14, 12, 10, 8, 6, 4, 2, 0), odd = _mm512_set_epi64(15, 13, 11, 9, 7, 5, 3, 1);
    const __m512i low_pairs = _mm512_set_epi64(11, 3, 10, 2, 9, 1, 8, 0);
    const __m512i high_pairs = _mm512_set_epi64(15, 7, 14, 6, 13, 5, 12, 4);
    std::size_t j = 0;
    for (; j + 8 <= z; j += 8) {
        const __m512d a = _mm512_loadu_pd(xy + 2 * j), c = _mm512_loadu_pd(xy + 2 * j + 8);
        __m512d x = _mm512_permutex2var_pd(a, even, c), y = _mm512_permutex2var_pd(a, odd, c);
        const std::uint16_t* index = b.index + j * L;
        const __m512i i0 = _mm512_loadu_si512(index), i1 = _mm512_loadu_si512(index + 32);
        for (std::size_t l = 0; l < L; ++l) {
            const __m512i at = _mm512_cvtepu16_epi64(_mm512_castsi512_si128(_mm512_permutex2var_epi16(i0, pick[l], i1)));
            x = _mm512_add_pd(x, _mm512_mul_pd(_mm512_permutex2var_pd(t.re_lo, at, t.re_hi), wl[l]));
            y = _mm512_add_pd(y, _mm512_mul_pd(_mm512_permutex2var_pd(t.im_lo, at, t.im_hi), wl[l]));
        }
        _mm512_storeu_pd(xy + 2 * j, _mm512_permutex2var_pd(x, low_pairs, y));
        _mm512_storeu_pd(xy + 2 * j + 8, _mm512_permutex2var_pd(x, high_pairs, y));
    }
    if (j < z) superpose_block(EntryBlock{b.index + j * L, b.table, b.levels}, w, xy + 2 * j, z - j);
}

// ---- bundle ------------------------------------------------------------------

VELMORA_ALWAYS_INLINE void add16(std::int32_t* c, std::int32_t* s, __m512i cos_part, __m512i sin_part) {
    _mm512_storeu_si512(c, _mm512_add_epi32(_mm512_loadu_si512(c), cos_part));
    _mm512_storeu_si512(s, _mm512_add_epi32(_mm512_loadu_si512(s), sin_part));
}

struct SmallTables {
    __m512i cos_t, sin_t;
};

// A table of n <= 32 entries as two registers of 32 words, cos and sin.
VELMORA_ALWAYS_INLINE SmallTables small_tables(const std::int16_t* table, std::uint32_t n) {
    alignas(64) std::int16_t cos_table[32] = {}, sin_table[32] = {};
    for (std::uint32_t p = 0; p < n; ++p) {
        cos_table[p] = table[2 * p];
        sin_table[p] = table[2 * p + 1];
    }
    return {_mm512_load_si512(cos_table), _mm512_load_si512(sin_table)};
}

// The cos and sin entries of 32 phases from a table of n <= 32 held in two
// registers (one word permute each), widened to 32-bit lanes: the low 16
// components, then the high 16.
struct SmallLookup {
    __m512i cos_lo, sin_lo, cos_hi, sin_hi;
};

VELMORA_ALWAYS_INLINE SmallLookup small_lookup(const std::uint16_t* p, __m512i cos_t, __m512i sin_t) {
    const __m512i at = _mm512_loadu_si512(p);
    const __m512i cw = _mm512_permutexvar_epi16(at, cos_t);
    const __m512i sw = _mm512_permutexvar_epi16(at, sin_t);
    return {_mm512_cvtepi16_epi32(_mm512_castsi512_si256(cw)), _mm512_cvtepi16_epi32(_mm512_castsi512_si256(sw)),
            _mm512_cvtepi16_epi32(_mm512_extracti64x4_epi64(cw, 1)),
                                  _mm512_cvtepi16_epi32(_mm512_extracti64x4_epi64(sw, 1))};
}

// The whole table of n <= 32 in two registers, 32 lookups per word permute.
void add_avx512_small(const std::uint16_t* const* chunk, std::size_t k, std::size_t len,
                      const std::int16_t* table, std::uint32_t n, std::int32_t* c,
                      std::int32_t* s) {
    const auto [cos_t, sin_t] = small_tables(table, n);
    for (std::size_t item = 0; item < k; ++item) {
        const std::uint16_t* p = chunk[item];
        std::size_t i = 0;
        for (; i + 32 <= len; i += 32) {
            const SmallLookup t = small_lookup(p + i, cos_t, sin_t);
            add16(c + i, s + i, t.cos_lo, t.sin_lo);
            add16(c + i + 16, s + i + 16, t.cos_hi, t.sin_hi);
        }
        add_item(p, i, len, table, c, s);
    }
}

void add_avx512(const std::uint16_t* const* chunk, std::size_t k, std::size_t len,
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
        add_item(p, i, len, table, c, s);
    }
}

// The weighted steps: the same lookups, each term times the item's weight
// (a 32-bit multiply per lane) before it is added.
VELMORA_ALWAYS_INLINE void add16_weighted(std::int32_t* c, std::int32_t* s, __m512i cos_part,
                                          __m512i sin_part, __m512i w) {
    add16(c, s, _mm512_mullo_epi32(cos_part, w), _mm512_mullo_epi32(sin_part, w));
}

void add_weighted_avx512_small(const std::uint16_t* p, std::size_t len,
                               const std::int16_t* table, std::uint32_t n, std::int32_t weight,
                               std::int32_t* c, std::int32_t* s) {
    const auto [cos_t, sin_t] = small_tables(table, n);
    const __m512i w = _mm512_set1_epi32(weight);
    std::size_t i = 0;
    for (; i + 32 <= len; i += 32) {
        const SmallLookup t = small_lookup(p + i, cos_t, sin_t);
        add16_weighted(c + i, s + i, t.cos_lo, t.sin_lo, w);
        add16_weighted(c + i + 16, s + i + 16, t.cos_hi, t.sin_hi, w);
    }
    add_weighted_item(p, i, len, table, weight, c, s);
}

void add_weighted_avx512(const std::uint16_t* p, std::size_t len, const std::int16_t* table,
                         std::uint32_t n, std::int32_t weight, std::int32_t* c,
                         std::int32_t* s) {
    if (n <= 32) return add_weighted_avx512_small(p, len, table, n, weight, c, s);
    const int* words = reinterpret_cast<const int*>(table);
    const __m512i w = _mm512_set1_epi32(weight);
    std::size_t i = 0;
    for (; i + 16 <= len; i += 16) {
        const __m512i at = _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i)));
        const __m512i word = _mm512_i32gather_epi32(at, words, 4);
        add16_weighted(c + i, s + i, _mm512_srai_epi32(_mm512_slli_epi32(word, 16), 16), _mm512_srai_epi32(word, 16),
                       w);
    }
    add_weighted_item(p, i, len, table, weight, c, s);
}

void weighted_fold_avx512(const std::uint16_t* const* items, const std::uint64_t* weights, std::size_t count,
                          std::size_t len, const std::int16_t* table, std::uint32_t n, std::int64_t* cos_sum,
                          std::int64_t* sin_sum) {
    weighted_fold_runs<add_weighted_avx512>(items, weights, count, len, table, n, cos_sum, sin_sum);
}

void fold_avx512(const std::uint16_t* const* items, std::size_t count, std::size_t len,
                 const std::int16_t* table, std::uint32_t n, std::int64_t* cos_sum,
                 std::int64_t* sin_sum) {
    if (n <= 32)
        fold_chunks<add_avx512_small>(items, count, len, table, n, cos_sum, sin_sum);
    else
        fold_chunks<add_avx512>(items, count, len, table, n, cos_sum, sin_sum);
}

// ---- similarities ----------------------------------------------------------
//
// AVX-512: 8 rows per register, up to 4 registers (32 rows) per pass, 4
// components of every row at a time: one 64-bit gather lane per row,
// addressed as the pass's first row plus that row's byte offset from it,
// holds the row's phases i .. i + 3 (x86 is little-endian: phase i + s is
// bits 16s .. 16s + 15). Rows past the end of a partial pass repeat the
// first row and are dropped. The last len mod 4 components go through the
// generic chains, carrying on from the lanes.
//
// Terms come from a gather into the table, or, at resolutions up to 16
// (a table of at most 31 entries), from the table held in four registers:
// a two-source permute looks up 16 entries, and bit 4 of the index picks
// between the two halves. There the index a + (n - 1) - r is below 32, so
// it is formed for all 4 components at once in 16-bit lanes, and each
// component's index is that 64-bit lane shifted down (a permute reads only
// the low bits of its index).
constexpr std::size_t kStep = 4, kLanes512 = 8, kGroups512 = 4;
constexpr std::uint32_t kRegisterResolution = 16;

std::uint64_t four_phases(const std::uint16_t* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

void row_offsets(const std::uint16_t* const* rows, std::size_t count, std::size_t groups, std::int64_t* offsets) {
    const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(rows[0]);
    for (std::size_t j = 0; j < groups * kLanes512; ++j)
        offsets[j] = j < count ? static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(rows[j]) - first) : 0;
}

std::uint16_t largest_word(const std::uint16_t* words, std::size_t count) {
    return *std::max_element(words, words + count);
}

enum class Lookup { Gather, Registers16, Registers32 };

struct TableRegisters {
    __m512d t0, t1, t2, t3;
};

// Entries from .. from + 7 of the m-entry table; masked, so nothing past
// the last entry is read.
VELMORA_ALWAYS_INLINE __m512d table_part(const double* centred, std::size_t m, std::size_t from) {
    const std::size_t k = m > from ? std::min<std::size_t>(m - from, 8) : 0;
    return _mm512_maskz_loadu_pd(static_cast<__mmask8>((1u << k) - 1), centred + from);
}

VELMORA_ALWAYS_INLINE TableRegisters load_table(const double* centred, std::uint32_t n) {
    const std::size_t m = 2 * std::size_t{n} - 1;
    return {table_part(centred, m, 0), table_part(centred, m, 8), table_part(centred, m, 16),
            table_part(centred, m, 24)};
}

template <int S>
VELMORA_ALWAYS_INLINE __m512d gathered_term_avx512(__m512i four, __m512i shifted, const double* centred) {
    const __m512i p = _mm512_and_si512(_mm512_maskz_srli_epi64(0xFF, four, 16 * S), _mm512_set1_epi64(0xFFFF));
    return _mm512_mask_i64gather_pd(_mm512_setzero_pd(), 0xFF, _mm512_sub_epi64(shifted, p), centred, 8);
}

// The term of component i + S from the indices k of all four components.
template <int S, bool Wide>
VELMORA_ALWAYS_INLINE __m512d register_term(__m512i k, const TableRegisters& t) {
    const __m512i index = _mm512_maskz_srli_epi64(0xFF, k, 16 * S);
    const __m512d low = _mm512_permutex2var_pd(t.t0, index, t.t1);
    if constexpr (!Wide) return low;
    const __mmask8 high = _mm512_test_epi64_mask(index, _mm512_set1_epi64(16));
    return _mm512_mask_blend_pd(high, low, _mm512_permutex2var_pd(t.t2, index, t.t3));
}

template <std::size_t G, Lookup How>
std::uint16_t pass_avx512(const std::uint16_t* a, const std::uint16_t* const* rows,
                          std::size_t count, std::size_t len, const double* centred,
                          std::uint32_t n, double* sums) {
    alignas(64) std::int64_t offsets[G * kLanes512];
    row_offsets(rows, count, G, offsets);
    __m512i at[G];
    __m512d acc[G];
    for (std::size_t g = 0; g < G; ++g) {
        at[g] = _mm512_load_si512(offsets + g * kLanes512);
        acc[g] = _mm512_setzero_pd();
    }
    TableRegisters t{};
    if constexpr (How != Lookup::Gather) t = load_table(centred, n);
    const std::uint16_t top = static_cast<std::uint16_t>(n - 1);
    const __m512i top_words = _mm512_set1_epi16(static_cast<short>(top));
    __m512i seen = _mm512_setzero_si512();
    std::size_t i = 0;
    for (; i + kStep <= len; i += kStep) {
        const __m512i four = _mm512_set1_epi64(static_cast<long long>(four_phases(a + i)));
        seen = _mm512_max_epu16(seen, four);
        const __m512i shifted_words = _mm512_add_epi16(_mm512_min_epu16(four, top_words), top_words);
        __m512i shifted[kStep];
        if constexpr (How == Lookup::Gather)
            for (std::size_t s = 0; s < kStep; ++s)
                shifted[s] = _mm512_set1_epi64(static_cast<long long>(std::min(a[i + s], top)) + top);
        const void* base = rows[0] + i;
        for (std::size_t g = 0; g < G; ++g) {
            __m512i r = _mm512_mask_i64gather_epi64(_mm512_setzero_si512(), 0xFF, at[g], base, 1);
            seen = _mm512_max_epu16(seen, r);
            r = _mm512_min_epu16(r, top_words);
            // Component by component, in order.
            if constexpr (How == Lookup::Gather) {
                acc[g] = _mm512_add_pd(acc[g], gathered_term_avx512<0>(r, shifted[0], centred));
                acc[g] = _mm512_add_pd(acc[g], gathered_term_avx512<1>(r, shifted[1], centred));
                acc[g] = _mm512_add_pd(acc[g], gathered_term_avx512<2>(r, shifted[2], centred));
                acc[g] = _mm512_add_pd(acc[g], gathered_term_avx512<3>(r, shifted[3], centred));
            } else {
                const __m512i k = _mm512_sub_epi16(shifted_words, r);
                acc[g] = _mm512_add_pd(acc[g], register_term<0, How == Lookup::Registers32>(k, t));
                acc[g] = _mm512_add_pd(acc[g], register_term<1, How == Lookup::Registers32>(k, t));
                acc[g] = _mm512_add_pd(acc[g], register_term<2, How == Lookup::Registers32>(k, t));
                acc[g] = _mm512_add_pd(acc[g], register_term<3, How == Lookup::Registers32>(k, t));
            }
        }
    }
    alignas(64) double lanes[G * kLanes512];
    for (std::size_t g = 0; g < G; ++g) _mm512_store_pd(lanes + g * kLanes512, acc[g]);
    std::copy_n(lanes, count, sums);
    alignas(64) std::uint16_t words[32];
    _mm512_store_si512(words, seen);
    return std::max(largest_word(words, 32), carry_on_all(a, rows, count, i, len, centred, n, sums));
}

template <Lookup How>
std::uint16_t passes_avx512(const std::uint16_t* a, const std::uint16_t* const* rows,
                            std::size_t count, std::size_t len, const double* centred,
                            std::uint32_t n, double* sums) {
    std::uint16_t seen = 0;
    for (std::size_t k = 0; k < count; k += kLanes512 * kGroups512) {
        const std::size_t rest = std::min(count - k, kLanes512 * kGroups512);
        std::uint16_t (*pass)(const std::uint16_t*, const std::uint16_t* const*, std::size_t, std::size_t,
                              const double*, std::uint32_t, double*) =
            rest > 24 ? pass_avx512<4, How> : rest > 16 ? pass_avx512<3, How> : rest > 8 ? pass_avx512<2, How>
                                                                                       : pass_avx512<1, How>;
        seen = std::max(seen, pass(a, rows + k, rest, len, centred, n, sums + k));
    }
    return seen;
}

std::uint16_t difference_sums_avx512(const std::uint16_t* a, const std::uint16_t* const* rows,
                                     std::size_t count, std::size_t len,
                                     const double* centred, std::uint32_t n, double* sums) {
    if (n > kRegisterResolution) return passes_avx512<Lookup::Gather>(a, rows, count, len, centred, n, sums);
    if (2 * n - 1 > 16) return passes_avx512<Lookup::Registers32>(a, rows, count, len, centred, n, sums);
    return passes_avx512<Lookup::Registers16>(a, rows, count, len, centred, n, sums);
}

// ---- elementwise ---------------------------------------------------------------

// Real power at a power-of-two n, 32 components per step, for |x| n <=
// kFastRealLimit, on the magnitudes: |p| = |s| |x| rounds like p (round to
// nearest is symmetric), and round(p) = sign(p) floor(|p| + 1/2). With
// y = |s| * 2|x|, which is exactly 2|p| (a power-of-two scale commutes with
// rounding; below the normal range both are under 1/2 and give 0),
// floor(|p| + 1/2) = (floor(y) + 1) >> 1. y + (1.5 * 2^52 + 1), rounded
// down, is that constant plus floor(y) exactly (y < 2^51, where doubles are
// one apart), so floor(y) + 1 sits in the low bits of the sum: no fraction
// to compare, no conversion to integer. n divides 2^16, so only those low
// bits matter, and two's complement negates them.
//
// Word j of every 64-bit lane is one double's worth of work: it is moved
// to the lane's low bits and made a double by the exponent bits of 2^52
// (then 2^52 is subtracted, exactly), and its result goes back to word j.
// Everything stays within its lane, so no step needs a shuffle.
VELMORA_ALWAYS_INLINE __m512i floor_plus_one(__m512i low_word, __m512d y_scale) {
    const __m512d two52 = _mm512_set1_pd(4503599627370496.0);
    const __m512d magnitude = _mm512_sub_pd(_mm512_castsi512_pd(low_word), two52);
    const __m512d y = _mm512_mul_pd(magnitude, y_scale);
    return _mm512_castpd_si512(_mm512_add_round_pd(y, _mm512_set1_pd(6755399441055745.0),  // 1.5 * 2^52 + 1
                                                   _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC));
}

// Bits a ? b : c, per bit (ternary-logic truth table 0xCA).
VELMORA_ALWAYS_INLINE __m512i bit_select(__m512i a, __m512i b, __m512i c) {
    return _mm512_ternarylogic_epi64(a, b, c, 0xCA);
}

std::uint16_t power_real_avx512(const std::uint16_t* a, std::uint16_t* r, std::size_t len,
                                double x, std::uint32_t n) {
    // Only a power of two n divides 2^16; other resolutions take the plain body.
    if ((n & (n - 1)) != 0) return power_real(a, r, len, x, n);
    const __m512i n16 = _mm512_set1_epi16(static_cast<short>(n)), half = _mm512_set1_epi16(static_cast<short>(n / 2));
    const __m512i mask = _mm512_set1_epi16(static_cast<short>(n - 1));
    const __m512d y_scale = _mm512_set1_pd(2 * std::fabs(x));
    const __mmask32 flip = x < 0 ? 0xFFFFFFFFu : 0;  // the sign of p is then that of -s
    const __m512i exponent = _mm512_set1_epi64(0x4330000000000000);  // of 2^52
    const __m512i below16 = _mm512_set1_epi64(0xFFFF), below32 = _mm512_set1_epi64(0xFFFFFFFF),
                  below48 = _mm512_set1_epi64(0xFFFFFFFFFFFF);
    __m512i seen = _mm512_setzero_si512();
    std::size_t i = 0;
    for (; i + 32 <= len; i += 32) {
        const __m512i k = _mm512_loadu_si512(a + i);
        seen = _mm512_max_epu16(seen, k);
        // |s| = min(k, n - k) in 16 bits (n - 0 wraps to 0 at n = 65536, still the minimum).
        const __m512i s = _mm512_min_epu16(k, _mm512_sub_epi16(n16, k));
        const __mmask32 negative =
            _cvtu32_mask32(_cvtmask32_u32(_mm512_cmpgt_epu16_mask(k, half)) ^ _cvtmask32_u32(flip));
        // Word j to the low bits as the double 2^52 + |s| (0xEA: (a & b) | c).
        const __m512i w0 = _mm512_ternarylogic_epi64(s, below16, exponent, 0xEA);
        const __m512i w1 = _mm512_ternarylogic_epi64(_mm512_srli_epi64(s, 16), below16, exponent, 0xEA);
        const __m512i w2 = _mm512_ternarylogic_epi64(_mm512_srli_epi64(s, 32), below16, exponent, 0xEA);
        const __m512i w3 = _mm512_or_si512(_mm512_srli_epi64(s, 48), exponent);
        // Bits 1..16 of each floor(y) + 1 back to word j; the bits shifted in
        // below a word are overwritten by the words below it.
        __m512i out = _mm512_slli_epi64(floor_plus_one(w3, y_scale), 47);
        out = bit_select(below48, _mm512_slli_epi64(floor_plus_one(w2, y_scale), 31), out);
        out = bit_select(below32, _mm512_slli_epi64(floor_plus_one(w1, y_scale), 15), out);
        out = bit_select(below16, _mm512_srli_epi64(floor_plus_one(w0, y_scale), 1), out);
        out = _mm512_mask_sub_epi16(out, negative, _mm512_setzero_si512(), out);
        _mm512_storeu_si512(r + i, _mm512_and_si512(out, mask));
    }
    alignas(64) std::uint16_t lanes[32];
    _mm512_store_si512(lanes, seen);
    return std::max(largest_word(lanes, 32), power_real(a + i, r + i, len - i, x, n));
}

// A map of at most 64 << (Pairs / 2) phases is 2 * Pairs registers of 16-bit
// entries. One two-source word permute per pair looks up 32 phases at once
// (it reads an index's low six bits), and bits 6 and 7 of the phase choose
// among the pairs. A phase >= n, which the caller refuses, reads some entry
// but never outside the registers.
template <int Pairs>
VELMORA_ALWAYS_INLINE std::uint16_t lookup_registers(const std::uint16_t* a, std::uint16_t* r,
                                                     std::size_t len, const std::uint16_t* table,
                                                     std::uint32_t n) {
    __m512i t[2 * Pairs];
    for (int p = 0; p < 2 * Pairs; ++p) t[p] = _mm512_loadu_si512(table + 32 * p);
    const __m512i bit6 = _mm512_set1_epi16(64), bit7 = _mm512_set1_epi16(128);
    __m512i seen = _mm512_setzero_si512();
    std::size_t i = 0;
    for (; i + 32 <= len; i += 32) {
        const __m512i k = _mm512_loadu_si512(a + i);
        seen = _mm512_max_epu16(seen, k);
        __m512i v = _mm512_permutex2var_epi16(t[0], k, t[1]);
        if constexpr (Pairs >= 2)
            v = _mm512_mask_blend_epi16(_mm512_test_epi16_mask(k, bit6), v,
                                        _mm512_permutex2var_epi16(t[2], k, t[3]));
        if constexpr (Pairs == 4) {
            const __m512i upper = _mm512_mask_blend_epi16(_mm512_test_epi16_mask(k, bit6),
                                                          _mm512_permutex2var_epi16(t[4], k, t[5]),
                                                          _mm512_permutex2var_epi16(t[6], k, t[7]));
            v = _mm512_mask_blend_epi16(_mm512_test_epi16_mask(k, bit7), v, upper);
        }
        _mm512_storeu_si512(r + i, v);
    }
    alignas(64) std::uint16_t lanes[32];
    _mm512_store_si512(lanes, seen);
    std::uint16_t largest = lookup(a + i, r + i, len - i, table, n);
    for (const std::uint16_t s : lanes) largest = std::max(largest, s);
    return largest;
}

std::uint16_t lookup_avx512(const std::uint16_t* a, std::uint16_t* r, std::size_t len,
                            const std::uint16_t* table, std::uint32_t n) {
    if (n > 256) return lookup(a, r, len, table, n);
    if (n > 128) return lookup_registers<4>(a, r, len, table, n);
    if (n > 64) return lookup_registers<2>(a, r, len, table, n);
    return lookup_registers<1>(a, r, len, table, n);
}

}  // namespace
}  // namespace velmora::avx512
VELMORA_TARGET_END

namespace velmora::avx512 {

// Outside the target region: it runs before anything is known of the CPU.
bool supported() {
    const X86Cpu& c = x86_cpu();
    // Everything the AVX2 target needs, the opmask and upper ZMM states saved, and F, DQ, BW, VL.
    return c.avx_usable() && c.leaf7_ebx_bit(5) && c.leaf7_ebx_bit(8) && c.leaf1_ecx_bit(12) && c.saves(0xe0) &&
           c.leaf7_ebx_bit(16) && c.leaf7_ebx_bit(17) && c.leaf7_ebx_bit(30) && c.leaf7_ebx_bit(31);
}

extern const KernelTable kernels;
constinit const KernelTable kernels{
    // Up to n = 256 the map is looked up from registers, faster than any rounding.
    .elementwise = {bind, unbind, generate, power_int, power_real_avx512, lookup_avx512, 512},
    .resonator = {score_block_avx512, score_block_lattice_avx512, superpose_block_avx512, score,
                  superpose},
    .bundle = {fold_avx512, weighted_fold_avx512},
    .lattice = generic_lattice,
    .similarity = {difference_sums_avx512},
    .correctly_rounded = correctly_rounded_avx,
};

}  // namespace velmora::avx512
#endif
