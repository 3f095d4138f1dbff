// The plain bodies of the resonator family: scoring and superposition.
//
// Included by every target inside its namespace and target region
// (simd/targets/*.cpp), after generic/prelude.hpp outside them: the same
// source becomes, say, velmora::avx2::score_block compiled for AVX2. So there is no
// include guard, and nothing here may include a header.
//
// Each body keeps the order of operations stated in its family's header
// (simd/resonator.hpp); the compiler only widens it into vector lanes.

// A (re, im) pair in one 16-byte register on every target (SSE2, NEON, ...).
using Pair = simd::F64x2;

VELMORA_ALWAYS_INLINE Pair load(const double* p) { return simd::load2(p); }
VELMORA_ALWAYS_INLINE void store(double* p, Pair v) { simd::store2(p, v); }

// (re * u.re) + (im * u.im): both products in one multiply, then their sum.
VELMORA_ALWAYS_INLINE double pair_dot(Pair phasor, Pair u) {
    const Pair product = phasor * u;
    return product[0] + product[1];
}

// The dot terms of two entries at once: (re_a * u.re) + (im_a * u.im) and
// the same for b, each still the sum of its own two products.
VELMORA_ALWAYS_INLINE Pair pair_dots(Pair a, Pair b, Pair u) {
    const Pair pa = a * u, pb = b * u;
    return Pair{pa[0], pb[0]} + Pair{pa[1], pb[1]};
}

void score_block(EntryBlock block, const double* u, std::size_t z, double* w) {
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

void score_block_lattice(EntryBlock block, const double* products, std::size_t levels,
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

void superpose_block(EntryBlock block, const double* w, double* xy, std::size_t z) {
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
VELMORA_ALWAYS_INLINE void score_fixed(const EntryPhasors* entries, const double* u, std::size_t z, double* w) {
    double acc[L];
    for (std::size_t l = 0; l < L; ++l) acc[l] = 0.0;
    for (std::size_t j = 0; j < z; ++j) {
        const Pair uj = load(u + 2 * j);
        for (std::size_t l = 0; l < L; ++l)
            acc[l] = acc[l] + pair_dot(load(entries[l].table + 2 * std::size_t{entries[l].index[j]}), uj);
    }
    for (std::size_t l = 0; l < L; ++l) w[l] = acc[l];
}

void score(const EntryPhasors* entries, std::size_t count, const double* u, std::size_t z,
           double* w) {
    std::size_t l = 0;
    for (; l + 4 <= count; l += 4) score_fixed<4>(entries + l, u, z, w + l);
    for (; l < count; ++l) score_fixed<1>(entries + l, u, z, w + l);
}

void superpose(const EntryPhasors* entries, std::size_t count, const double* w, double* xy,
               std::size_t z) {
    for (std::size_t l = 0; l < count; ++l) {
        const Pair wl{w[l], w[l]};
        const std::uint16_t* index = entries[l].index;
        const double* table = entries[l].table;
        for (std::size_t j = 0; j < z; ++j)
            store(xy + 2 * j, load(xy + 2 * j) + load(table + 2 * std::size_t{index[j]}) * wl);
    }
}

[[maybe_unused]] constexpr ResonatorKernels generic_resonator{score_block, score_block_lattice, superpose_block, score,
                                                            superpose};
