// The plain bodies of the element-wise family: bind, unbind, generation, powers and phase maps.
//
// Included by every target inside its namespace and target region
// (simd/targets/*.cpp), after generic/prelude.hpp outside them: the same
// source becomes, say, velmora::avx2::bind compiled for AVX2. So there is no
// include guard, and nothing here may include a header.
//
// Each body keeps the order of operations stated in its family's header
// (simd/elementwise.hpp); the compiler only widens it into vector lanes.

// Written in 16-bit lanes so that the compiler packs 16/32 phases per vector.
// With m = n mod 2^16 (0 for n = 65536) and t = m - b (= n - b, in [1, n] for
// a valid b, 0 when n = 65536 and b = 0): a + b >= n exactly when a >= t, and
// then the result is a - t, otherwise a - t + m; both wrap correctly mod 2^16.
// Unbind subtracts b; bind subtracts t = m - b instead: one loop for both.
template <bool Bind>
VELMORA_ALWAYS_INLINE std::uint16_t subtract_body(const std::uint16_t* __restrict a, const std::uint16_t* __restrict b,
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

std::uint16_t bind(const std::uint16_t* __restrict a, const std::uint16_t* __restrict b,
                   std::uint16_t* __restrict r, std::size_t len, std::uint32_t n) {
    return subtract_body<true>(a, b, r, len, n);
}

std::uint16_t unbind(const std::uint16_t* __restrict a, const std::uint16_t* __restrict b,
                     std::uint16_t* __restrict r, std::size_t len, std::uint32_t n) {
    return subtract_body<false>(a, b, r, len, n);
}

VELMORA_ALWAYS_INLINE std::uint64_t mix(std::uint64_t x) {
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    return x ^ (x >> 32);
}

void generate(std::uint16_t* __restrict r, std::size_t len, std::uint64_t base,
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

std::uint16_t power_int(const std::uint16_t* __restrict a, std::uint16_t* __restrict r,
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
std::uint16_t power_real(const std::uint16_t* __restrict a, std::uint16_t* __restrict r,
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
std::uint16_t lookup(const std::uint16_t* __restrict a, std::uint16_t* __restrict r,
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

[[maybe_unused]] constexpr ElementwiseKernels generic_elementwise{bind, unbind, generate, power_int,
                                                                  power_real, lookup, 0};
