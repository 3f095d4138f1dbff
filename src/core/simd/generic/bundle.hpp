// The plain bodies of the bundle family: the integer fold, plain and weighted.
//
// Included by every target inside its namespace and target region
// (simd/targets/*.cpp), after generic/prelude.hpp outside them: the same
// source becomes, say, velmora::avx2::fold compiled for AVX2. So there is no
// include guard, and nothing here may include a header.
//
// Each body keeps the order of operations stated in its family's header
// (simd/bundle.hpp); the compiler only widens it into vector lanes.

// The chunked fold around one variant's inner step, which adds `count`
// items (count <= kFoldChunk) into 32-bit partial sums.
// add_items(chunk, items in it, len, table, n, cos part, sin part).
using AddItems = void (*)(const std::uint16_t* const*, std::size_t, std::size_t, const std::int16_t*, std::uint32_t,
                          std::int32_t*, std::int32_t*);

template <AddItems add_items>
VELMORA_ALWAYS_INLINE void fold_chunks(const std::uint16_t* const* items, std::size_t count, std::size_t len,
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
VELMORA_ALWAYS_INLINE void add_weighted_item(const std::uint16_t* p, std::size_t from, std::size_t len,
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

VELMORA_ALWAYS_INLINE void add_weighted_plain(const std::uint16_t* p, std::size_t len, const std::int16_t* table,
                                              std::uint32_t, std::int32_t w, std::int32_t* c, std::int32_t* s) {
    add_weighted_item(p, 0, len, table, w, c, s);
}

// One multiply-add per lookup. Runs of items whose weights add up to at most
// 2^16 go into 32-bit partial sums (|w entry| summed stays within 2^30)
// through the variant's inner step; a heavier item goes alone into the
// 64-bit totals (a weight fits in 2^48 and an entry in 2^14, so every sum is
// exact). Every sum is an exact integer, so the grouping cannot change it.
template <AddWeighted add_weighted>
VELMORA_ALWAYS_INLINE void weighted_fold_runs(const std::uint16_t* const* items, const std::uint64_t* weights,
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

void weighted_fold(const std::uint16_t* const* items, const std::uint64_t* weights,
                   std::size_t count, std::size_t len, const std::int16_t* table,
                   std::uint32_t n, std::int64_t* cos_sum, std::int64_t* sin_sum) {
    weighted_fold_runs<add_weighted_plain>(items, weights, count, len, table, n, cos_sum, sin_sum);
}

// Components [from, len) of one item: the whole item here, the tail past
// the last full vector in the variants' own steps.
VELMORA_ALWAYS_INLINE void add_item(const std::uint16_t* p, std::size_t from, std::size_t len,
                                    const std::int16_t* table, std::int32_t* c, std::int32_t* s) {
    for (std::size_t i = from; i < len; ++i) {
        const std::int16_t* entry = table + 2 * std::size_t{p[i]};
        c[i] += entry[0];
        s[i] += entry[1];
    }
}

VELMORA_ALWAYS_INLINE void add_plain(const std::uint16_t* const* chunk, std::size_t k, std::size_t len,
                                     const std::int16_t* table, std::uint32_t, std::int32_t* c, std::int32_t* s) {
    for (std::size_t item = 0; item < k; ++item) add_item(chunk[item], 0, len, table, c, s);
}

void fold(const std::uint16_t* const* items, std::size_t count, std::size_t len, const std::int16_t* table,
          std::uint32_t n, std::int64_t* cos_sum, std::int64_t* sin_sum) {
    fold_chunks<add_plain>(items, count, len, table, n, cos_sum, sin_sum);
}

[[maybe_unused]] constexpr BundleKernels generic_bundle{fold, weighted_fold};
