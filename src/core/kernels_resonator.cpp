#include "core/kernels_resonator.hpp"

#include "core/portable.hpp"

#if VELMORA_X86 && VELMORA_EXTENSIONS
#include <immintrin.h>
#define VELMORA_REGISTER_TABLES 1
#else
#define VELMORA_REGISTER_TABLES 0
#endif

namespace velmora {
namespace {

// A (re, im) pair in one 16-byte register on every target (SSE2, NEON, ...).
using Pair = simd::F64x2;

VELMORA_BODY Pair load(const double* p) { return simd::load2(p); }
VELMORA_BODY void store(double* p, Pair v) { simd::store2(p, v); }

// (re * u.re) + (im * u.im): both products in one multiply, then their sum.
VELMORA_BODY double pair_dot(Pair phasor, Pair u) {
    const Pair product = phasor * u;
    return product[0] + product[1];
}

// The dot terms of two entries at once: (re_a * u.re) + (im_a * u.im) and
// the same for b, each still the sum of its own two products.
VELMORA_BODY Pair pair_dots(Pair a, Pair b, Pair u) {
    const Pair pa = a * u, pb = b * u;
    return Pair{pa[0], pb[0]} + Pair{pa[1], pb[1]};
}

VELMORA_BODY void score_block_body(EntryBlock block, const double* u, std::size_t z, double* w) {
    constexpr std::size_t L = kResonatorLanes;
    Pair acc[L / 2];
    for (std::size_t l = 0; l < L / 2; ++l) acc[l] = Pair{0.0, 0.0};
    const std::uint16_t* index = block.index;
    const double* table = block.table;
    for (std::size_t j = 0; j < z; ++j) {
        const Pair uj = load(u + 2 * j);
        const std::uint16_t* at = index + j * L;
        for (std::size_t l = 0; l < L / 2; ++l)
            acc[l] = acc[l] + pair_dots(load(table + 2 * std::size_t{at[2 * l]}),
                                        load(table + 2 * std::size_t{at[2 * l + 1]}), uj);
    }
    for (std::size_t l = 0; l < L / 2; ++l) {
        w[2 * l] = acc[l][0];
        w[2 * l + 1] = acc[l][1];
    }
}

VELMORA_BODY void score_block_lattice_body(EntryBlock block, const double* products, std::size_t levels,
                                           const std::uint16_t* q, std::size_t z, double* w) {
    constexpr std::size_t L = kResonatorLanes;
    double acc[L];
    for (std::size_t l = 0; l < L; ++l) acc[l] = 0.0;
    const std::uint16_t* index = block.index;
    for (std::size_t j = 0; j < z; ++j) {
        const double* row = products + std::size_t{q[j]} * levels;
        const std::uint16_t* at = index + j * L;
        for (std::size_t l = 0; l < L; ++l) acc[l] = acc[l] + row[at[l]];
    }
    for (std::size_t l = 0; l < L; ++l) w[l] = acc[l];
}

VELMORA_BODY void superpose_block_body(EntryBlock block, const double* w, double* xy, std::size_t z) {
    constexpr std::size_t L = kResonatorLanes;
    Pair wl[L];
    for (std::size_t l = 0; l < L; ++l) wl[l] = Pair{w[l], w[l]};
    const std::uint16_t* index = block.index;
    const double* table = block.table;
    for (std::size_t j = 0; j < z; ++j) {
        Pair acc = load(xy + 2 * j);
        for (std::size_t l = 0; l < L; ++l) acc = acc + load(table + 2 * std::size_t{index[j * L + l]}) * wl[l];
        store(xy + 2 * j, acc);
    }
}

template <std::size_t L>
VELMORA_BODY void score_fixed(const EntryPhasors* entries, const double* u, std::size_t z, double* w) {
    double acc[L];
    for (std::size_t l = 0; l < L; ++l) acc[l] = 0.0;
    for (std::size_t j = 0; j < z; ++j) {
        const Pair uj = load(u + 2 * j);
        for (std::size_t l = 0; l < L; ++l)
            acc[l] = acc[l] + pair_dot(load(entries[l].table + 2 * std::size_t{entries[l].index[j]}), uj);
    }
    for (std::size_t l = 0; l < L; ++l) w[l] = acc[l];
}

VELMORA_BODY void score_body(const EntryPhasors* entries, std::size_t count, const double* u, std::size_t z,
                             double* w) {
    std::size_t l = 0;
    for (; l + 4 <= count; l += 4) score_fixed<4>(entries + l, u, z, w + l);
    for (; l < count; ++l) score_fixed<1>(entries + l, u, z, w + l);
}

VELMORA_BODY void superpose_body(const EntryPhasors* entries, std::size_t count, const double* w, double* xy,
                                 std::size_t z) {
    for (std::size_t l = 0; l < count; ++l) {
        const Pair wl{w[l], w[l]};
        const std::uint16_t* index = entries[l].index;
        const double* table = entries[l].table;
        for (std::size_t j = 0; j < z; ++j)
            store(xy + 2 * j, load(xy + 2 * j) + load(table + 2 * std::size_t{index[j]}) * wl);
    }
}

#define VELMORA_VARIANT(suffix, target)                                                                         \
    target void score_block_##suffix(EntryBlock b, const double* u, std::size_t z, double* w) {                 \
        score_block_body(b, u, z, w);                                                                           \
    }                                                                                                           \
    target void score_block_lattice_##suffix(EntryBlock b, const double* products, std::size_t levels,        \
                                             const std::uint16_t* q, std::size_t z, double* w) {               \
        score_block_lattice_body(b, products, levels, q, z, w);                                                 \
    }                                                                                                           \
    target void superpose_block_##suffix(EntryBlock b, const double* w, double* xy, std::size_t z) {            \
        superpose_block_body(b, w, xy, z);                                                                      \
    }                                                                                                           \
    target void score_##suffix(const EntryPhasors* e, std::size_t count, const double* u, std::size_t z,       \
                               double* w) {                                                                     \
        score_body(e, count, u, z, w);                                                                          \
    }                                                                                                           \
    target void superpose_##suffix(const EntryPhasors* e, std::size_t count, const double* w, double* xy,      \
                                   std::size_t z) {                                                             \
        superpose_body(e, count, w, xy, z);                                                                     \
    }                                                                                                           \
    constexpr ResonatorKernels kernels_##suffix{score_block_##suffix, score_block_lattice_##suffix,             \
                                                superpose_block_##suffix, score_##suffix, superpose_##suffix};

VELMORA_VARIANT(baseline, )
#if VELMORA_X86
VELMORA_VARIANT(avx2, VELMORA_TARGET_AVX2)
VELMORA_VARIANT(avx512_generic, VELMORA_TARGET_AVX512)

#if VELMORA_REGISTER_TABLES
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

VELMORA_TARGET_AVX512 VELMORA_BODY RegisterTable load_register_table(const double* table, std::size_t levels) {
    alignas(64) double re[kRegisterTableLevels] = {}, im[kRegisterTableLevels] = {};
    for (std::size_t p = 0; p < levels; ++p) {
        re[p] = table[2 * p];
        im[p] = table[2 * p + 1];
    }
    return {_mm512_load_pd(re), _mm512_load_pd(re + 8), _mm512_load_pd(im), _mm512_load_pd(im + 8)};
}

// The 8 entries' phases at one component, as 64-bit permute indices.
VELMORA_TARGET_AVX512 VELMORA_BODY __m512i block_phases(const std::uint16_t* at) {
    return _mm512_cvtepu16_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)));
}

VELMORA_TARGET_AVX512 void score_block_avx512(EntryBlock b, const double* u, std::size_t z, double* w) {
    if (b.levels > kRegisterTableLevels) return score_block_avx512_generic(b, u, z, w);
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

VELMORA_TARGET_AVX512 void score_block_lattice_avx512(EntryBlock b, const double* products, std::size_t levels,
                                                     const std::uint16_t* q, std::size_t z, double* w) {
    if (levels > kRegisterTableLevels) return score_block_lattice_avx512_generic(b, products, levels, q, z, w);
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
VELMORA_TARGET_AVX512 void superpose_block_avx512(EntryBlock b, const double* w, double* xy, std::size_t z) {
    constexpr std::size_t L = kResonatorLanes;
    if (b.levels > kRegisterTableLevels) return superpose_block_avx512_generic(b, w, xy, z);
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
    if (j < z) superpose_block_avx512_generic(EntryBlock{b.index + j * L, b.table, b.levels}, w, xy + 2 * j, z - j);
}

constexpr ResonatorKernels kernels_avx512{score_block_avx512, score_block_lattice_avx512, superpose_block_avx512,
                                          score_avx512_generic, superpose_avx512_generic};
#else
// Without intrinsics (a plain build), the AVX-512 variant is the generic body.
constexpr ResonatorKernels kernels_avx512 = kernels_avx512_generic;
#endif
#endif

}  // namespace

const ResonatorKernels& resonator_kernels(Isa isa) {
#if VELMORA_X86
    if (isa == Isa::Avx512) return kernels_avx512;
    if (isa == Isa::Avx2) return kernels_avx2;
#endif
    (void)isa;
    return kernels_baseline;
}

const ResonatorKernels& resonator_kernels() {
    static const ResonatorKernels& chosen = resonator_kernels(best_isa());
    return chosen;
}

}  // namespace velmora
