#include "core/kernels_similarity.hpp"

#include <algorithm>
#include <cstring>

#include "core/portable.hpp"

// The x86 variants are written with intrinsics; a plain build runs the
// generic chains for every variant.
#if VELMORA_X86 && VELMORA_EXTENSIONS
#define VELMORA_SIMILARITY_INTRINSICS 1
#include <immintrin.h>
#else
#define VELMORA_SIMILARITY_INTRINSICS 0
#endif

namespace velmora {
namespace {

// Components per check: the block's phases are still in the first-level
// cache when the chains read them.
constexpr std::size_t kCheckBlock = 128;

// L rows' chains over components [from, len), each carrying on from the
// value in sums[l]. L independent adds per component keep the adder busy
// where one chain would leave it waiting on its own latency. Each block is
// first checked in one vectorisable pass, so that the chains themselves
// need no clamp unless a phase >= n is present.
template <std::size_t L>
VELMORA_BODY std::uint16_t carry_on(const std::uint16_t* a, const std::uint16_t* const* rows, std::size_t from,
                                    std::size_t len, const double* centred, std::uint32_t n, double* sums) {
    const std::uint16_t top = static_cast<std::uint16_t>(n - 1);
    double acc[L];
    const std::uint16_t* r[L];
    for (std::size_t l = 0; l < L; ++l) acc[l] = sums[l], r[l] = rows[l];
    std::uint16_t seen = 0;
    for (std::size_t start = from; start < len; start += kCheckBlock) {
        const std::size_t end = std::min(len, start + kCheckBlock);
        std::uint16_t block = 0;
        for (std::size_t i = start; i < end; ++i) block = std::max(block, a[i]);
        for (std::size_t l = 0; l < L; ++l)
            for (std::size_t i = start; i < end; ++i) block = std::max(block, r[l][i]);
        seen = std::max(seen, block);
        if (VELMORA_UNLIKELY(block > top)) {
            for (std::size_t i = start; i < end; ++i) {
                const std::size_t shifted = std::size_t{std::min(a[i], top)} + top;
                for (std::size_t l = 0; l < L; ++l) acc[l] = acc[l] + centred[shifted - std::min(r[l][i], top)];
            }
            continue;
        }
        for (std::size_t i = start; i < end; ++i) {
            const std::size_t shifted = std::size_t{a[i]} + top;
            for (std::size_t l = 0; l < L; ++l) acc[l] = acc[l] + centred[shifted - r[l][i]];
        }
    }
    for (std::size_t l = 0; l < L; ++l) sums[l] = acc[l];
    return seen;
}

VELMORA_BODY std::uint16_t carry_on_all(const std::uint16_t* a, const std::uint16_t* const* rows, std::size_t count,
                                        std::size_t from, std::size_t len, const double* centred, std::uint32_t n,
                                        double* sums) {
    std::uint16_t seen = 0;
    std::size_t k = 0;
    for (; k + 8 <= count; k += 8) seen = std::max(seen, carry_on<8>(a, rows + k, from, len, centred, n, sums + k));
    for (; k + 4 <= count; k += 4) seen = std::max(seen, carry_on<4>(a, rows + k, from, len, centred, n, sums + k));
    for (; k < count; ++k) seen = std::max(seen, carry_on<1>(a, rows + k, from, len, centred, n, sums + k));
    return seen;
}

VELMORA_BODY std::uint16_t difference_sums_body(const std::uint16_t* a, const std::uint16_t* const* rows,
                                                std::size_t count, std::size_t len, const double* centred,
                                                std::uint32_t n, double* sums) {
    std::fill_n(sums, count, 0.0);
    return carry_on_all(a, rows, count, 0, len, centred, n, sums);
}

std::uint16_t difference_sums_baseline(const std::uint16_t* a, const std::uint16_t* const* rows, std::size_t count,
                                       std::size_t len, const double* centred, std::uint32_t n, double* sums) {
    return difference_sums_body(a, rows, count, len, centred, n, sums);
}

#if VELMORA_X86
// AVX2 brings nothing that beats these scalar lookups: its 4-double gathers,
// and the compiler's own widening of the chains into 256-bit adds (which
// then needs a cross-lane insert per 4 terms and spills the row pointers),
// both measured more than twice as slow as the baseline build of the same
// body. Its entry is that body, compiled for the baseline.
std::uint16_t difference_sums_avx2(const std::uint16_t* a, const std::uint16_t* const* rows, std::size_t count,
                                   std::size_t len, const double* centred, std::uint32_t n, double* sums) {
    return difference_sums_baseline(a, rows, count, len, centred, n, sums);
}
#endif

#if VELMORA_SIMILARITY_INTRINSICS
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
VELMORA_TARGET_AVX512 VELMORA_BODY __m512d table_part(const double* centred, std::size_t m, std::size_t from) {
    const std::size_t k = m > from ? std::min<std::size_t>(m - from, 8) : 0;
    return _mm512_maskz_loadu_pd(static_cast<__mmask8>((1u << k) - 1), centred + from);
}

VELMORA_TARGET_AVX512 VELMORA_BODY TableRegisters load_table(const double* centred, std::uint32_t n) {
    const std::size_t m = 2 * std::size_t{n} - 1;
    return {table_part(centred, m, 0), table_part(centred, m, 8), table_part(centred, m, 16),
            table_part(centred, m, 24)};
}

template <int S>
VELMORA_TARGET_AVX512 VELMORA_BODY __m512d gathered_term_avx512(__m512i four, __m512i shifted, const double* centred) {
    const __m512i p = _mm512_and_si512(_mm512_maskz_srli_epi64(0xFF, four, 16 * S), _mm512_set1_epi64(0xFFFF));
    return _mm512_mask_i64gather_pd(_mm512_setzero_pd(), 0xFF, _mm512_sub_epi64(shifted, p), centred, 8);
}

// The term of component i + S from the indices k of all four components.
template <int S, bool Wide>
VELMORA_TARGET_AVX512 VELMORA_BODY __m512d register_term(__m512i k, const TableRegisters& t) {
    const __m512i index = _mm512_maskz_srli_epi64(0xFF, k, 16 * S);
    const __m512d low = _mm512_permutex2var_pd(t.t0, index, t.t1);
    if constexpr (!Wide) return low;
    const __mmask8 high = _mm512_test_epi64_mask(index, _mm512_set1_epi64(16));
    return _mm512_mask_blend_pd(high, low, _mm512_permutex2var_pd(t.t2, index, t.t3));
}

template <std::size_t G, Lookup How>
VELMORA_TARGET_AVX512 std::uint16_t pass_avx512(const std::uint16_t* a, const std::uint16_t* const* rows,
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
VELMORA_TARGET_AVX512 std::uint16_t passes_avx512(const std::uint16_t* a, const std::uint16_t* const* rows,
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

VELMORA_TARGET_AVX512 std::uint16_t difference_sums_avx512(const std::uint16_t* a, const std::uint16_t* const* rows,
                                                           std::size_t count, std::size_t len,
                                                           const double* centred, std::uint32_t n, double* sums) {
    if (n > kRegisterResolution) return passes_avx512<Lookup::Gather>(a, rows, count, len, centred, n, sums);
    if (2 * n - 1 > 16) return passes_avx512<Lookup::Registers32>(a, rows, count, len, centred, n, sums);
    return passes_avx512<Lookup::Registers16>(a, rows, count, len, centred, n, sums);
}
#elif VELMORA_X86
// Without intrinsics (a plain build), the generic chains.
std::uint16_t difference_sums_avx512(const std::uint16_t* a, const std::uint16_t* const* rows, std::size_t count,
                                     std::size_t len, const double* centred, std::uint32_t n, double* sums) {
    return difference_sums_body(a, rows, count, len, centred, n, sums);
}
#endif

constexpr SimilarityKernels kernels_baseline{difference_sums_baseline};
#if VELMORA_X86
constexpr SimilarityKernels kernels_avx2{difference_sums_avx2};
constexpr SimilarityKernels kernels_avx512{difference_sums_avx512};
#endif

}  // namespace

const SimilarityKernels& similarity_kernels(Isa isa) {
#if VELMORA_X86
    if (isa == Isa::Avx512) return kernels_avx512;
    if (isa == Isa::Avx2) return kernels_avx2;
#endif
    (void)isa;
    return kernels_baseline;
}

const SimilarityKernels& similarity_kernels() {
    static const SimilarityKernels& chosen = similarity_kernels(best_isa());
    return chosen;
}

}  // namespace velmora
