// The plain body of the lattice family: the estimate pass of the lattice levels.
//
// Included by every target inside its namespace and target region
// (simd/targets/*.cpp), after generic/prelude.hpp outside them: the same
// source becomes, say, velmora::avx2::estimate compiled for AVX2. So there is no
// include guard, and nothing here may include a header.
//
// Each body keeps the order of operations stated in its family's header
// (simd/lattice.hpp); the compiler only widens it into vector lanes.

std::size_t estimate(const double* xy, std::size_t len, std::uint32_t n, std::uint16_t* levels,
                     std::uint8_t* needs_exact) {
    const double big_n = static_cast<double>(n);
    const double limit = lattice_margin(n);
    std::size_t exact = 0;
    for (std::size_t j = 0; j < len; ++j) {
        const double x = xy[2 * j], y = xy[2 * j + 1];
        const double t = (atan2_estimate(y, x) / kFullTurn) * big_n;
        const double k = nearest_integer(t);
        const double d = std::fabs(t - k);
        const double ax = std::fabs(x), ay = std::fabs(y);
        const double lo = select(ax < ay, ax, ay), hi = select(ax < ay, ay, ax);
        // NaN fails every comparison, so it lands on the exact path too.
        // Bitwise ands keep the loop free of branches, so that it vectorises.
        const bool decided = (d < limit) & (lo > 0.0) & (hi > kTinyMagnitude) & (hi < kHugeMagnitude);
        const double level = select(k < 0.0, k + big_n, k);
        // An undecided (possibly NaN) level is replaced before conversion.
        levels[j] = static_cast<std::uint16_t>(static_cast<std::int32_t>(select(decided, level, 0.0)));
        needs_exact[j] = static_cast<std::uint8_t>(!decided);
        exact += !decided;
    }
    return exact;
}

[[maybe_unused]] constexpr LatticeKernels generic_lattice{estimate};
