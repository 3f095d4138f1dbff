// The plain bodies of every kernel family, written once and compiled once
// per instruction set: each isa_*.cpp instantiates them with its target
// (VELMORA_<FAMILY>_GENERIC(target) defines generic_<family>, a family
// struct of functions compiled for that target) and replaces what it has
// written by hand. The bodies are static and always inlined, so no copy
// built for one target can stand in for another at link time.
//
// Each body keeps the order of operations stated in its family's header;
// the compiler only widens them into vector lanes.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/kernels_bundle.hpp"
#include "core/kernels_elementwise.hpp"
#include "core/kernels_resonator.hpp"
#include "core/kernels_similarity.hpp"
#include "core/lattice_levels.hpp"
#include "core/lattice.hpp"
#include "core/portable.hpp"

namespace velmora {
namespace generic {

// ---- element-wise: bind, unbind, generation -------------------------------

// Written in 16-bit lanes so that the compiler packs 16/32 phases per vector.
// With m = n mod 2^16 (0 for n = 65536) and t = m - b (= n - b, in [1, n] for
// a valid b, 0 when n = 65536 and b = 0): a + b >= n exactly when a >= t, and
// then the result is a - t, otherwise a - t + m; both wrap correctly mod 2^16.
// Unbind subtracts b; bind subtracts t = m - b instead: one loop for both.
template <bool Bind>
VELMORA_BODY std::uint16_t subtract_body(const std::uint16_t* __restrict a, const std::uint16_t* __restrict b,
                                         std::uint16_t* __restrict r, std::size_t len, std::uint32_t n) {
    const std::uint16_t m = static_cast<std::uint16_t>(n);
    std::uint16_t seen = 0;
    for (std::size_t i = 0; i < len; ++i) {
        const std::uint16_t x = a[i], y = b[i];
        seen = std::max(seen, std::max(x, y));
        const std::uint16_t t = Bind ? static_cast<std::uint16_t>(m - y) : y;
        const std::uint16_t d = static_cast<std::uint16_t>(x - t);
        r[i] = x >= t ? d : static_cast<std::uint16_t>(d + m);
    }
    return seen;
}

VELMORA_BODY std::uint16_t bind_body(const std::uint16_t* __restrict a, const std::uint16_t* __restrict b,
                                     std::uint16_t* __restrict r, std::size_t len, std::uint32_t n) {
    return subtract_body<true>(a, b, r, len, n);
}

VELMORA_BODY std::uint16_t unbind_body(const std::uint16_t* __restrict a, const std::uint16_t* __restrict b,
                                       std::uint16_t* __restrict r, std::size_t len, std::uint32_t n) {
    return subtract_body<false>(a, b, r, len, n);
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

// ---- resonator: scoring and superposition --------------------------------

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

// ---- power: integer and real exponents -------------------------------------

// Adding and subtracting 1.5 * 2^52 rounds a double of magnitude below 2^51
// to the nearest integer (ties to even): the sum lands where the spacing of
// doubles is 1. Plain adds, so every target widens it into vector lanes.
inline constexpr double kRoundingShift = 6755399441055744.0;

VELMORA_BODY double nearest_integer(double x) { return (x + kRoundingShift) - kRoundingShift; }

// The nearest integer to |p| < 2^51 with halves away from zero: the shift
// rounds ties to even, and a tie that went towards zero (p - t is exact) is
// moved one away.
VELMORA_BODY double nearest_away(double p) {
    double t = nearest_integer(p);
    const double d = p - t;
    t = d == 0.5 && p > 0 ? t + 1 : t;
    return d == -0.5 && p < 0 ? t - 1 : t;
}

// x mod n for an integral 0 <= x < 2^51, with inv = 1 / n rounded: the
// rounded quotient estimate is off by at most one, the remainder x - q n is
// exact (every term an integer below 2^53), and one correction each way
// gives the exact result. The corrections are on integers, which compile to
// conditional moves or masks where those on doubles became branches.
VELMORA_BODY std::int32_t reduce_double(double x, double n, double inv) {
    const double q = nearest_integer(x * inv);
    const std::int32_t ni = static_cast<std::int32_t>(n);
    std::int32_t r = static_cast<std::int32_t>(x - q * n);  // within one n of [0, n)
    r += r < 0 ? ni : 0;
    return r - (r >= ni ? ni : 0);
}

VELMORA_BODY std::uint16_t power_int_body(const std::uint16_t* __restrict a, std::uint16_t* __restrict r,
                                          std::size_t len, std::uint32_t e, std::uint32_t n) {
    std::uint16_t seen = 0;
    if ((n & (n - 1)) == 0) {
        // n divides 2^16, so k e mod n is the low bits of the 16-bit product:
        // one multiply per lane, as cheap as bind.
        const std::uint16_t mask = static_cast<std::uint16_t>(n - 1);
        for (std::size_t i = 0; i < len; ++i) {
            seen = std::max(seen, a[i]);
            r[i] = static_cast<std::uint16_t>(static_cast<std::uint16_t>(std::uint32_t{a[i]} * e) & mask);
        }
        return seen;
    }
    // k e < n^2 <= 2^32 is exact in binary64.
    const double nd = static_cast<double>(n), inv = 1.0 / nd, ed = static_cast<double>(e);
    for (std::size_t i = 0; i < len; ++i) {
        seen = std::max(seen, a[i]);
        const double k = static_cast<double>(static_cast<std::int32_t>(a[i]));
        r[i] = static_cast<std::uint16_t>(reduce_double(k * ed, nd, inv));
    }
    return seen;
}

// real_power_phase for |x| n <= kFastRealLimit (2^50): the product p has
// |p| <= 2^49, so nearest_away rounds it exactly. The
// rounded t is moved by a multiple of n in (2^50 - n, 2^50] into the
// non-negative range below 2^51, exactly, with the same remainder.
VELMORA_BODY std::uint16_t power_real_body(const std::uint16_t* __restrict a, std::uint16_t* __restrict r,
                                           std::size_t len, double x, std::uint32_t n) {
    const double nd = static_cast<double>(n), inv = 1.0 / nd;
    std::uint16_t seen = 0;
    if ((n & (n - 1)) == 0) {
        // t + 1.5 * 2^52 holds the integer t in its significand as 2^51 + t,
        // so its low 16 bits are t mod 2^16, which n divides: the remainder
        // is a mask of the bits instead of a division.
        const std::uint64_t mask = n - 1;
        for (std::size_t i = 0; i < len; ++i) {
            seen = std::max(seen, a[i]);
            const double k = static_cast<double>(static_cast<std::int32_t>(a[i]));
            const double s = 2 * k <= nd ? k : k - nd;
            const double t = nearest_away(s * x);
            r[i] = static_cast<std::uint16_t>(std::bit_cast<std::uint64_t>(t + kRoundingShift) & mask);
        }
        return seen;
    }
    const double offset = static_cast<double>(((std::uint64_t{1} << 50) / n) * n);
    for (std::size_t i = 0; i < len; ++i) {
        seen = std::max(seen, a[i]);
        const double k = static_cast<double>(static_cast<std::int32_t>(a[i]));
        const double s = 2 * k <= nd ? k : k - nd;
        const double t = nearest_away(s * x);
        r[i] = static_cast<std::uint16_t>(reduce_double(t + offset, nd, inv));
    }
    return seen;
}

// The largest phase first, in a pass that vectorises, so that the lookups
// themselves need no clamp: a phase >= n, which the caller refuses, stops
// the call before anything is read past the map.
VELMORA_BODY std::uint16_t lookup_body(const std::uint16_t* __restrict a, std::uint16_t* __restrict r,
                                       std::size_t len, const std::uint16_t* table, std::uint32_t n) {
    std::uint16_t seen = 0;
    for (std::size_t i = 0; i < len; ++i) seen = std::max(seen, a[i]);
    if (seen >= n) return seen;
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Two phases per 32-bit load and four entries per 64-bit store: fewer
        // memory accesses than the plain loop's three an element, and a shape
        // that compilers keep scalar (their own widening of the plain loop
        // into word inserts measured slower than scalar lookups).
        for (; i + 4 <= len; i += 4) {
            std::uint32_t k0, k1;
            std::memcpy(&k0, a + i, sizeof k0);
            std::memcpy(&k1, a + i + 2, sizeof k1);
            const std::uint64_t v = std::uint64_t{table[k0 & 0xFFFF]} | std::uint64_t{table[k0 >> 16]} << 16 |
                                    std::uint64_t{table[k1 & 0xFFFF]} << 32 | std::uint64_t{table[k1 >> 16]} << 48;
            std::memcpy(r + i, &v, sizeof v);
        }
    }
    for (; i < len; ++i) r[i] = table[a[i]];
    return seen;
}

// ---- bundle: the integer fold ----------------------------------------------

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

// Components [from, len) of one item, each term times the item's weight,
// into 32-bit partial sums: the weighted twin of add_item.
VELMORA_BODY void add_weighted_item(const std::uint16_t* p, std::size_t from, std::size_t len,
                                    const std::int16_t* table, std::int32_t w, std::int32_t* __restrict c,
                                    std::int32_t* __restrict s) {
    for (std::size_t i = from; i < len; ++i) {
        const std::int16_t* entry = table + 2 * std::size_t{p[i]};
        c[i] += w * entry[0];
        s[i] += w * entry[1];
    }
}

// One variant's weighted inner step: one item of weight w into the partial
// sums. add_weighted(item, len, table, n, w, cos part, sin part).
using AddWeighted = void (*)(const std::uint16_t*, std::size_t, const std::int16_t*, std::uint32_t, std::int32_t,
                             std::int32_t*, std::int32_t*);

VELMORA_BODY void add_weighted_plain(const std::uint16_t* p, std::size_t len, const std::int16_t* table,
                                     std::uint32_t, std::int32_t w, std::int32_t* c, std::int32_t* s) {
    add_weighted_item(p, 0, len, table, w, c, s);
}

// One multiply-add per lookup. Runs of items whose weights add up to at most
// 2^16 go into 32-bit partial sums (|w entry| summed stays within 2^30)
// through the variant's inner step; a heavier item goes alone into the
// 64-bit totals (a weight fits in 2^48 and an entry in 2^14, so every sum is
// exact). Every sum is an exact integer, so the grouping cannot change it.
template <AddWeighted add_weighted>
VELMORA_BODY void weighted_fold_runs(const std::uint16_t* const* items, const std::uint64_t* weights,
                                     std::size_t count, std::size_t len, const std::int16_t* table,
                                     std::uint32_t n, std::int64_t* __restrict cos_sum,
                                     std::int64_t* __restrict sin_sum) {
    constexpr std::uint64_t kRunWeight = 65536;
    alignas(64) std::int32_t cos_part[kFoldBlock], sin_part[kFoldBlock];
    std::size_t k = 0;
    while (k < count) {
        if (weights[k] > kRunWeight) {
            const std::uint16_t* p = items[k];
            const std::int64_t w = static_cast<std::int64_t>(weights[k]);
            for (std::size_t i = 0; i < len; ++i) {
                const std::int16_t* entry = table + 2 * std::size_t{p[i]};
                cos_sum[i] += w * entry[0];
                sin_sum[i] += w * entry[1];
            }
            ++k;
            continue;
        }
        std::fill_n(cos_part, len, 0);
        std::fill_n(sin_part, len, 0);
        for (std::uint64_t run = 0; k < count && weights[k] <= kRunWeight - run; ++k) {
            run += weights[k];
            add_weighted(items[k], len, table, n, static_cast<std::int32_t>(weights[k]), cos_part, sin_part);
        }
        for (std::size_t i = 0; i < len; ++i) {
            cos_sum[i] += cos_part[i];
            sin_sum[i] += sin_part[i];
        }
    }
}

VELMORA_BODY void weighted_fold_body(const std::uint16_t* const* items, const std::uint64_t* weights,
                                     std::size_t count, std::size_t len, const std::int16_t* table,
                                     std::uint32_t n, std::int64_t* cos_sum, std::int64_t* sin_sum) {
    weighted_fold_runs<add_weighted_plain>(items, weights, count, len, table, n, cos_sum, sin_sum);
}

// Components [from, len) of one item: the whole item here, the tail past
// the last full vector in the variants' own steps.
VELMORA_BODY void add_item(const std::uint16_t* p, std::size_t from, std::size_t len, const std::int16_t* table,
                           std::int32_t* c, std::int32_t* s) {
    for (std::size_t i = from; i < len; ++i) {
        const std::int16_t* entry = table + 2 * std::size_t{p[i]};
        c[i] += entry[0];
        s[i] += entry[1];
    }
}

VELMORA_BODY void add_plain(const std::uint16_t* const* chunk, std::size_t k, std::size_t len, const std::int16_t* table,
                  std::uint32_t, std::int32_t* c, std::int32_t* s) {
    for (std::size_t item = 0; item < k; ++item) add_item(chunk[item], 0, len, table, c, s);
}

// ---- lattice levels: the arc tangent estimate (proof in lattice_levels.cpp) --

constexpr double kTanPi8 = 0.41421356237309503;  // tan(pi/8), any nearby value would do
constexpr double kPi = 3.141592653589793;
constexpr double kPi2 = 1.5707963267948966;
constexpr double kPi4 = 0.7853981633974483;
constexpr double kTiny = 0x1p-900;
constexpr double kHuge = 0x1p900;

// (-1)^i / (2i + 1), i = 0 .. 13.
constexpr double kSeries[14] = {
    1.0,         -1.0 / 3.0,  1.0 / 5.0,   -1.0 / 7.0,  1.0 / 9.0,   -1.0 / 11.0, 1.0 / 13.0,
    -1.0 / 15.0, 1.0 / 17.0,  -1.0 / 19.0, 1.0 / 21.0,  -1.0 / 23.0, 1.0 / 25.0,  -1.0 / 27.0,
};

// Branch-free: every value is computed unconditionally and a choice between
// two is a bitwise select on their representations. With an ordinary
// ternary the compiler sinks the unused side into a branch that it may not
// then speculate (a floating-point operation could trap), and the loop
// would not vectorise.
VELMORA_BODY double select(bool c, double a, double b) {
    const std::uint64_t mask = std::uint64_t{0} - static_cast<std::uint64_t>(c);
    return std::bit_cast<double>((std::bit_cast<std::uint64_t>(a) & mask) | (std::bit_cast<std::uint64_t>(b) & ~mask));
}

VELMORA_BODY double estimate_body(double y, double x) {
    const double ax = std::fabs(x), ay = std::fabs(y);
    const bool steep = ay > ax;
    const double num = select(steep, ax, ay), den = select(steep, ay, ax);
    const bool far = num > kTanPi8 * den;
    const double u = select(far, num - den, num) / select(far, num + den, den);
    const double u2 = u * u;
    double p = kSeries[13];
    for (int i = 12; i >= 0; --i) p = kSeries[i] + u2 * p;
    const double near_axis = u * p;
    const double first = select(far, kPi4 + near_axis, near_axis);
    const double octant = select(steep, kPi2 - first, first);
    const double half = select(x < 0.0, kPi - octant, octant);
    return select(y < 0.0, -half, half);
}

VELMORA_BODY double lattice_margin(std::uint32_t n) {
    const double big_n = static_cast<double>(n);
    const double m = (kAtan2EstimateError + 0x1p-52) * big_n / kFullTurn + 0x1p-52 * big_n * (1.0 + 0x1p-40);
    return 0.5 - 2.0 * m;
}

VELMORA_BODY std::size_t estimate_loop(const double* xy, std::size_t len, std::uint32_t n, std::uint16_t* levels,
                                       std::uint8_t* needs_exact) {
    const double big_n = static_cast<double>(n);
    const double limit = lattice_margin(n);
    std::size_t exact = 0;
    for (std::size_t j = 0; j < len; ++j) {
        const double x = xy[2 * j], y = xy[2 * j + 1];
        const double t = (estimate_body(y, x) / kFullTurn) * big_n;
        const double k = nearest_integer(t);
        const double d = std::fabs(t - k);
        const double ax = std::fabs(x), ay = std::fabs(y);
        const double lo = select(ax < ay, ax, ay), hi = select(ax < ay, ay, ax);
        // NaN fails every comparison, so it lands on the exact path too.
        // Bitwise ands keep the loop free of branches, so that it vectorises.
        const bool decided = (d < limit) & (lo > 0.0) & (hi > kTiny) & (hi < kHuge);
        const double level = select(k < 0.0, k + big_n, k);
        // An undecided (possibly NaN) level is replaced before conversion.
        levels[j] = static_cast<std::uint16_t>(static_cast<std::int32_t>(select(decided, level, 0.0)));
        needs_exact[j] = static_cast<std::uint8_t>(!decided);
        exact += !decided;
    }
    return exact;
}

// ---- similarities: several rows' chains side by side ----------------------

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

}  // namespace generic
}  // namespace velmora

// The family structs of the plain bodies, compiled for `target` (empty for
// the baseline), as generic_elementwise, generic_resonator, generic_bundle
// and generic_lattice in the enclosing namespace.
#define VELMORA_ELEMENTWISE_GENERIC(target)                                                                   \
    target std::uint16_t generic_bind(const std::uint16_t* a, const std::uint16_t* b, std::uint16_t* r,        \
                                      std::size_t len, std::uint32_t n) {                                      \
        return ::velmora::generic::bind_body(a, b, r, len, n);                                                 \
    }                                                                                                          \
    target std::uint16_t generic_unbind(const std::uint16_t* a, const std::uint16_t* b, std::uint16_t* r,      \
                                        std::size_t len, std::uint32_t n) {                                    \
        return ::velmora::generic::unbind_body(a, b, r, len, n);                                               \
    }                                                                                                          \
    target void generic_generate(std::uint16_t* r, std::size_t len, std::uint64_t base, std::uint32_t n) {     \
        ::velmora::generic::generate_body(r, len, base, n);                                                    \
    }                                                                                                          \
    target std::uint16_t generic_power_int(const std::uint16_t* a, std::uint16_t* r, std::size_t len,          \
                                           std::uint32_t e, std::uint32_t n) {                                 \
        return ::velmora::generic::power_int_body(a, r, len, e, n);                                            \
    }                                                                                                          \
    target std::uint16_t generic_power_real(const std::uint16_t* a, std::uint16_t* r, std::size_t len,         \
                                            double x, std::uint32_t n) {                                       \
        return ::velmora::generic::power_real_body(a, r, len, x, n);                                           \
    }                                                                                                          \
    target std::uint16_t generic_lookup(const std::uint16_t* a, std::uint16_t* r, std::size_t len,             \
                                        const std::uint16_t* table, std::uint32_t n) {                         \
        return ::velmora::generic::lookup_body(a, r, len, table, n);                                           \
    }                                                                                                          \
    [[maybe_unused]] constexpr ElementwiseKernels generic_elementwise{generic_bind, generic_unbind, generic_generate, \
                                                                      generic_power_int, generic_power_real,   \
                                                                      generic_lookup, 0};

#define VELMORA_RESONATOR_GENERIC(target)                                                                      \
    target void generic_score_block(EntryBlock b, const double* u, std::size_t z, double* w) {                 \
        ::velmora::generic::score_block_body(b, u, z, w);                                                      \
    }                                                                                                          \
    target void generic_score_block_lattice(EntryBlock b, const double* products, std::size_t levels,          \
                                            const std::uint16_t* q, std::size_t z, double* w) {                \
        ::velmora::generic::score_block_lattice_body(b, products, levels, q, z, w);                            \
    }                                                                                                          \
    target void generic_superpose_block(EntryBlock b, const double* w, double* xy, std::size_t z) {            \
        ::velmora::generic::superpose_block_body(b, w, xy, z);                                                 \
    }                                                                                                          \
    target void generic_score(const EntryPhasors* e, std::size_t count, const double* u, std::size_t z,        \
                              double* w) {                                                                     \
        ::velmora::generic::score_body(e, count, u, z, w);                                                     \
    }                                                                                                          \
    target void generic_superpose(const EntryPhasors* e, std::size_t count, const double* w, double* xy,       \
                                  std::size_t z) {                                                             \
        ::velmora::generic::superpose_body(e, count, w, xy, z);                                                \
    }                                                                                                          \
    [[maybe_unused]] constexpr ResonatorKernels generic_resonator{generic_score_block, generic_score_block_lattice,             \
                                                 generic_superpose_block, generic_score, generic_superpose};

#define VELMORA_BUNDLE_GENERIC(target)                                                                         \
    target void generic_add_items(const std::uint16_t* const* chunk, std::size_t k, std::size_t len,           \
                                  const std::int16_t* table, std::uint32_t n, std::int32_t* c,                 \
                                  std::int32_t* s) {                                                           \
        ::velmora::generic::add_plain(chunk, k, len, table, n, c, s);                                          \
    }                                                                                                          \
    target void generic_fold(const std::uint16_t* const* items, std::size_t count, std::size_t len,            \
                             const std::int16_t* table, std::uint32_t n, std::int64_t* cos_sum,                \
                             std::int64_t* sin_sum) {                                                          \
        ::velmora::generic::fold_chunks<generic_add_items>(items, count, len, table, n, cos_sum, sin_sum);     \
    }                                                                                                          \
    target void generic_weighted_fold(const std::uint16_t* const* items, const std::uint64_t* weights,         \
                                      std::size_t count, std::size_t len, const std::int16_t* table,           \
                                      std::uint32_t n, std::int64_t* cos_sum, std::int64_t* sin_sum) {         \
        ::velmora::generic::weighted_fold_body(items, weights, count, len, table, n, cos_sum, sin_sum);        \
    }                                                                                                          \
    [[maybe_unused]] constexpr BundleKernels generic_bundle{generic_fold, generic_weighted_fold};

#define VELMORA_LATTICE_GENERIC(target)                                                                        \
    target std::size_t generic_estimate(const double* xy, std::size_t len, std::uint32_t n,                    \
                                        std::uint16_t* levels, std::uint8_t* needs_exact) {                    \
        return ::velmora::generic::estimate_loop(xy, len, n, levels, needs_exact);                             \
    }                                                                                                          \
    [[maybe_unused]] constexpr LatticeKernels generic_lattice{generic_estimate};

#define VELMORA_SIMILARITY_GENERIC(target)                                                                     \
    target std::uint16_t generic_difference_sums(const std::uint16_t* a, const std::uint16_t* const* rows,      \
                                                 std::size_t count, std::size_t len, const double* centred,    \
                                                 std::uint32_t n, double* sums) {                              \
        return ::velmora::generic::difference_sums_body(a, rows, count, len, centred, n, sums);                \
    }                                                                                                          \
    [[maybe_unused]] constexpr SimilarityKernels generic_similarity{generic_difference_sums};
