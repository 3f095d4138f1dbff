// The plain body of the similarity family: several rows' chains side by side.
//
// Included by every target inside its namespace and target region
// (simd/targets/*.cpp), after generic/prelude.hpp outside them: the same
// source becomes, say, velmora::avx2::difference_sums compiled for AVX2. So there is no
// include guard, and nothing here may include a header.
//
// Each body keeps the order of operations stated in its family's header
// (simd/similarity.hpp); the compiler only widens it into vector lanes.

// Components per check: the block's phases are still in the first-level
// cache when the chains read them.
constexpr std::size_t kCheckBlock = 128;

// L rows' chains over components [from, len), each carrying on from the
// value in sums[l]. L independent adds per component keep the adder busy
// where one chain would leave it waiting on its own latency. Each block is
// first checked in one vectorisable pass, so that the chains themselves
// need no clamp unless a phase >= n is present.
template <std::size_t L>
VELMORA_ALWAYS_INLINE std::uint16_t carry_on(const std::uint16_t* a, const std::uint16_t* const* rows, std::size_t from,
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

VELMORA_ALWAYS_INLINE std::uint16_t carry_on_all(const std::uint16_t* a, const std::uint16_t* const* rows,
                                                 std::size_t count, std::size_t from, std::size_t len,
                                                 const double* centred, std::uint32_t n, double* sums) {
    std::uint16_t seen = 0;
    std::size_t k = 0;
    for (; k + 8 <= count; k += 8) seen = std::max(seen, carry_on<8>(a, rows + k, from, len, centred, n, sums + k));
    for (; k + 4 <= count; k += 4) seen = std::max(seen, carry_on<4>(a, rows + k, from, len, centred, n, sums + k));
    for (; k < count; ++k) seen = std::max(seen, carry_on<1>(a, rows + k, from, len, centred, n, sums + k));
    return seen;
}

std::uint16_t difference_sums(const std::uint16_t* a, const std::uint16_t* const* rows,
                              std::size_t count, std::size_t len, const double* centred,
                              std::uint32_t n, double* sums) {
    std::fill_n(sums, count, 0.0);
    return carry_on_all(a, rows, count, 0, len, centred, n, sums);
}

[[maybe_unused]] constexpr SimilarityKernels generic_similarity{difference_sums};
