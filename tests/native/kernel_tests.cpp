// Differential tests of the fast kernels against scalar_reference.hpp: every
// instruction-set variant this CPU can run, on seeded random inputs and on
// the edge values (n = 2 and 65536, dim 0 and 1, lengths around every SIMD
// width). Results must agree to the bit. Prints "N passed, M failed".
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "core/lattice_levels.hpp"
#include "core/math/atan2_estimate.hpp"
#include "core/math/remainder.hpp"
#include "core/simd/kernel_table.hpp"
#include "core/phase_resonator.hpp"
#include "core/phase_similarities.hpp"
#include "core/phase_tables.hpp"
#include "check.hpp"
#include "scalar_reference.hpp"

using namespace velmora;
using reference::Phases;

namespace {

using native_test::check;

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::mt19937_64 rng(20261208);

const std::uint32_t kResolutions[] = {2, 3, 7, 16, 255, 256, 1000, 4096, 32767, 32768, 32769, 65535, 65536};

// Every length up to past two AVX-512 vectors of 16-bit lanes, then around
// larger powers of two.
std::vector<std::size_t> lengths() {
    std::vector<std::size_t> out;
    for (std::size_t len = 0; len <= 70; ++len) out.push_back(len);
    for (std::size_t base : {127, 255, 1023, 4095}) out.insert(out.end(), {base, base + 1, base + 2});
    return out;
}

Phases random_phases(std::size_t len, std::uint32_t n) {
    Phases p(len);
    for (auto& x : p) x = static_cast<std::uint16_t>(rng() % n);
    // The extremes, where the conditional subtracts and 16-bit wraps bite.
    if (len > 0) p[0] = static_cast<std::uint16_t>(n - 1);
    if (len > 1) p[len - 1] = 0;
    if (len > 2) p[len / 2] = static_cast<std::uint16_t>(n - 1);
    return p;
}

PhaseHVec vec(const Phases& p, std::uint32_t n) {
    PhaseHVec v{PhaseArray(p.begin(), p.end()), p.size(), n};
    return v;
}

Phases phases_of(const PhaseHVec& v) { return Phases(v.phases.begin(), v.phases.end()); }

void test_elementwise(const KernelVariant& v) {
    const std::string_view isa = v.name;
    const ElementwiseKernels& k = v.table->elementwise;
    const std::string tag = std::string("[") + std::string(isa) + "] ";
    for (std::uint32_t n : kResolutions)
        for (std::size_t len : lengths()) {
            const Phases a = random_phases(len, n), b = random_phases(len, n);
            Phases r(len);
            const std::string at = " n=" + std::to_string(n) + " len=" + std::to_string(len);
            std::uint16_t seen = k.bind(a.data(), b.data(), r.data(), len, n);
            check(r == reference::bind(a, b, n) && seen < n, tag + "bind" + at);
            seen = k.unbind(a.data(), b.data(), r.data(), len, n);
            check(r == reference::unbind(a, b, n) && seen < n, tag + "unbind" + at);
            const std::uint64_t seed = rng();
            k.generate(r.data(), len, seed * 0xC2B2AE3D27D4EB4Full, n);
            check(r == reference::generate(len, n, seed), tag + "generate" + at);
        }
    // Every pair of phases at small n, and the wrap at n = 65536.
    for (std::uint32_t n : {2u, 3u, 16u, 17u}) {
        Phases a, b;
        for (std::uint32_t x = 0; x < n; ++x)
            for (std::uint32_t y = 0; y < n; ++y) a.push_back(x), b.push_back(y);
        Phases r(a.size());
        k.bind(a.data(), b.data(), r.data(), a.size(), n);
        check(r == reference::bind(a, b, n), tag + "bind all pairs n=" + std::to_string(n));
        k.unbind(a.data(), b.data(), r.data(), a.size(), n);
        check(r == reference::unbind(a, b, n), tag + "unbind all pairs n=" + std::to_string(n));
    }
    // A phase at or above n is reported, wherever it sits.
    for (std::size_t len : {1, 17, 33, 64}) {
        Phases a = random_phases(len, 16), b = random_phases(len, 16), r(len);
        b[len - 1] = 16;
        check(k.bind(a.data(), b.data(), r.data(), len, 16) >= 16, tag + "bind reports a phase >= n");
        check(k.unbind(b.data(), a.data(), r.data(), len, 16) >= 16, tag + "unbind reports a phase >= n");
    }
}

// Both power rows against the plain loops: every exponent class (0, 1, n - 1,
// random), reals on and next to the half-way points, and the largest |x| the
// fast row takes; the general per-phase rounding against the same loop past it.
void test_power(const KernelVariant& v) {
    const ElementwiseKernels& k = v.table->elementwise;
    const std::string tag = std::string("[") + std::string(v.name) + "] ";
    for (std::uint32_t n : kResolutions)
        for (std::size_t len : {0, 1, 15, 16, 17, 31, 32, 33, 63, 64, 65, 70, 257, 1023}) {
            const Phases a = random_phases(len, n);
            Phases r(len);
            const std::string at = " n=" + std::to_string(n) + " len=" + std::to_string(len);
            for (std::uint32_t e : {0u, 1u, n - 1, static_cast<std::uint32_t>(rng() % n)}) {
                const std::uint16_t seen = k.power_int(a.data(), r.data(), len, e, n);
                check(r == reference::power_int(a, e, n) && seen < n, tag + "power_int e=" + std::to_string(e) + at);
            }
            const double limit = kFastRealLimit / n;
            for (double x : {0.5, -0.5, 1.5, 2.5, 1.0 / 3, -7.25, 0.49999999999999994, std::nextafter(0.5, 1.0),
                             1e-300, -0.0, 12345.5, limit, -limit, std::nextafter(limit, 0.0), 0.375, -0.75,
                             5e-324, -1e-310, std::nextafter(-limit, 0.0) + 0.5,
                             static_cast<double>(rng() % 1000000) / 64 - 7000}) {
                const std::uint16_t seen = k.power_real(a.data(), r.data(), len, x, n);
                check(r == reference::power_real(a, x, n) && seen < n, tag + "power_real x=" + std::to_string(x) + at);
            }
            for (double x : {1e300, -1e300, 9.3e18, 2.0 * limit + 0.5}) {
                for (std::size_t i = 0; i < len; ++i) r[i] = static_cast<std::uint16_t>(real_power_phase(a[i], x, n));
                check(r == reference::power_real(a, x, n), tag + "real_power_phase x=" + std::to_string(x) + at);
            }
        }
}

// Every phase of a power-of-two n at once, where the vector rows round
// magnitudes and restore the sign: both sides of n / 2, ties each way.
void test_power_all_phases(const KernelVariant& v) {
    const ElementwiseKernels& k = v.table->elementwise;
    for (std::uint32_t n : {2u, 4u, 512u, 65536u}) {
        Phases a(n), r(n);
        for (std::uint32_t p = 0; p < n; ++p) a[p] = static_cast<std::uint16_t>(p);
        const double limit = kFastRealLimit / n;
        for (double x : {0.5, -2.5, 0.375, -1.0, 3.0 + 0x1p-40, limit, -limit}) {
            k.power_real(a.data(), r.data(), n, x, n);
            const std::string tag = std::string("[") + std::string(v.name) + "] power_real all phases n=";
            check(r == reference::power_real(a, x, n), tag + std::to_string(n) + " x=" + std::to_string(x));
        }
    }
}

// The phase map at every register boundary of n (16, 32, 64, 128, 256) and lengths
// around the vector widths; a phase >= n is reported, never read past the map.
void test_lookup(const KernelVariant& v) {
    const ElementwiseKernels& k = v.table->elementwise;
    const std::string tag = std::string("[") + std::string(v.name) + "] lookup";
    for (std::uint32_t n : {2u, 3u, 15u, 16u, 17u, 31u, 32u, 33u, 63u, 64u, 65u, 127u, 128u, 129u, 255u, 256u, 257u,
                            1000u, 65535u, 65536u})
        for (std::size_t len : {0, 1, 15, 16, 17, 31, 32, 33, 70, 257, 1023}) {
            Phases table = random_phases(std::max<std::size_t>(n, kLookupPad), n);
            std::fill(table.begin() + n, table.end(), 0);
            Phases a = random_phases(len, n), r(len);
            const std::string at = " n=" + std::to_string(n) + " len=" + std::to_string(len);
            const std::uint16_t seen = k.lookup(a.data(), r.data(), len, table.data(), n);
            check(r == reference::lookup(a, table) && seen == (len ? *std::max_element(a.begin(), a.end()) : 0),
                  tag + at);
            if (len == 0 || n == 65536) continue;
            a[rng() % len] = static_cast<std::uint16_t>(n + rng() % (65536 - n));
            check(k.lookup(a.data(), r.data(), len, table.data(), n) >= n, tag + " reports a phase >= n" + at);
        }
}

// x mod n by the reciprocal, for every n in 2..65536 on the words where a
// remainder is most easily off by one: multiples of n and their neighbours,
// the ends of the 32- and 64-bit ranges, and random words.
void test_remainder() {
    std::uint64_t wrong = 0;
    for (std::uint32_t n = 2; n <= 65536; ++n) {
        const Remainder64 rem(n);
        const std::uint64_t top = ~std::uint64_t{0} / n;  // largest q with q*n <= 2^64 - 1
        const std::uint64_t qs[] = {0, 1, 2, 0xFFFFFFFFull / n, (1ull << 32) / n + 1, (1ull << 48) / n,
                                    top / 2, top - 1, top, rng() % top, rng() % top};
        for (std::uint64_t q : qs)
            for (std::uint64_t off : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{n - 1}}) {
                const std::uint64_t below = q * n - 1, x = q * n + off;
                if (q > 0 && rem(below) != below % n) ++wrong;
                if (q <= top && x >= q * n && rem(x) != x % n) ++wrong;
            }
        for (std::uint64_t x : {~std::uint64_t{0}, ~std::uint64_t{0} - 1, std::uint64_t{1} << 63, (std::uint64_t{1} << 32) - 1, std::uint64_t{1} << 32,
                                std::uint64_t{rng()}})
            if (rem(x) != x % n) ++wrong;
    }
    for (int i = 0; i < 2000000; ++i) {
        const std::uint32_t n = 2 + static_cast<std::uint32_t>(rng() % 65535);
        const std::uint64_t x = rng();
        if (Remainder64(n)(x) != x % n) ++wrong;
    }
    check(wrong == 0, "exact remainder: " + std::to_string(wrong) + " wrong words");
}

// The lattice rounding at exact ties (half away from zero), their
// neighbours one ulp away, and angles outside (-pi, pi].
void test_lattice_rounding() {
    std::uint64_t wrong = 0, cases = 0;
    for (std::uint32_t n : {2u, 3u, 4u, 8u, 16u, 1000u, 65536u})
        for (int shift : {3, 5, 9, 17})
            for (std::int64_t m = -(std::int64_t{1} << shift) - 3; m <= (std::int64_t{1} << shift) + 3; ++m) {
                const double a = reference::kFullTurn * static_cast<double>(m) / std::ldexp(1.0, shift);
                for (double x : {a, std::nextafter(a, 1e300), std::nextafter(a, -1e300)}) {
                    ++cases;
                    if (angle_to_level(x, n) != reference::level(x, n)) ++wrong;
                }
            }
    for (double x : {1e300, -1e300, 3e15, -3e15, 0.0, -0.0})
        for (std::uint32_t n : {2u, 65536u}) wrong += angle_to_level(x, n) != reference::level(x, n), ++cases;
    check(wrong == 0, "lattice rounding: " + std::to_string(wrong) + " of " + std::to_string(cases) + " wrong");
}

void test_similarity_and_bundle() {
    for (std::uint32_t n : kResolutions)
        for (std::size_t len : {std::size_t{0}, std::size_t{1}, std::size_t{5}, std::size_t{64},
                                std::size_t{2} * n - 1, std::size_t{2} * n, std::size_t{2} * n + 3}) {
            if (len > 300000) continue;
            const Phases a = random_phases(len, n), b = random_phases(len, n);
            const double expected = reference::similarity(a, b, n);
            const std::string at = " n=" + std::to_string(n) + " len=" + std::to_string(len);
            for (bool cold : {true, false}) {
                if (cold) clear_table_cache();
                auto got = similarity(vec(a, n), vec(b, n));
                check(got && same_bits(got.value(), expected),
                      std::string("similarity") + (cold ? " cold" : " warm") + at);
            }
        }
    for (std::uint32_t n : kResolutions)
        for (std::size_t count : {1, 2, 3, 16}) {
            const std::size_t len = count == 16 ? 1500 : 70;
            std::vector<Phases> items;
            std::vector<PhaseHVec> values;
            for (std::size_t i = 0; i < count; ++i) {
                items.push_back(random_phases(len, n));
                values.push_back(vec(items.back(), n));
            }
            auto got = bundle(values);
            check(got && phases_of(got.value()) == reference::bundle(items, n),
                  "bundle n=" + std::to_string(n) + " items=" + std::to_string(count));
        }
    // Broken vectors are internal errors, never reads outside a table.
    Phases bad = random_phases(40, 16);
    bad[39] = 16;
    PhaseHVec good_v = vec(random_phases(40, 16), 16), bad_v = vec(bad, 16);
    {
        auto kind_internal = [](auto&& r) { return !r && r.error().kind == Error::Kind::Internal; };
        check(kind_internal(bind(good_v, bad_v)), "bind refuses a phase >= n");
        check(kind_internal(unbind(bad_v, good_v)), "unbind refuses a phase >= n");
        difference_cosine_memo(16);
        check(kind_internal(similarity(bad_v, good_v)), "similarity refuses a phase >= n");
        std::vector<PhaseHVec> items{good_v, bad_v};
        check(kind_internal(bundle(items)), "bundle refuses a phase >= n");
        PhaseHVec short_v = good_v;
        short_v.dim = 41;
        check(kind_internal(similarity(short_v, short_v)), "similarity refuses dim != length");
    }
}

// Loose entries (any count, mixed tables) and full interleaved blocks, against
// the plain dot products and the plain superposition in entry order.
void test_resonator_kernels(const KernelVariant& v) {
    const std::string_view isa = v.name;
    const ResonatorKernels& k = v.table->resonator;
    const std::string tag = std::string("[") + std::string(isa) + "] ";
    const auto t65536 = phasor_table(65536);
    // Blocks at table sizes in and out of the register kernels' reach.
    for (std::uint32_t m : {16u, 2u, 5u, 9u, 17u})
    for (std::size_t z : {0, 1, 3, 4, 5, 8, 9, 15, 16, 17, 257})
        for (std::size_t count = 0; count <= 2 * kResonatorLanes + 3; ++count)
            for (bool blocked : {false, true}) {
                if (blocked && count != kResonatorLanes) continue;
                if (!blocked && m != 16) continue;
                const auto t16 = phasor_table(m);
                std::vector<Phases> phases;
                std::vector<EntryPhasors> entries;
                std::vector<reference::Phasor> plain;
                for (std::size_t e = 0; e < count; ++e) {
                    // Mixed resolutions among loose entries; one shared table in a block.
                    const std::uint32_t n = !blocked && e % 3 == 2 ? 65536 : m;
                    phases.push_back(random_phases(z, n));
                    plain.push_back(reference::phasor({phases.back(), n}));
                    entries.push_back({phases.back().data(), (n == m ? t16 : t65536)->data(), n});
                }
                for (std::size_t e = 0; e < count; ++e) entries[e].index = phases[e].data();
                reference::Phasor u{std::vector<double>(z), std::vector<double>(z)};
                std::vector<double> pairs(2 * z);
                for (std::size_t j = 0; j < z; ++j) {
                    pairs[2 * j] = u.re[j] = std::ldexp(double(rng() >> 11), -53) - 0.5;
                    pairs[2 * j + 1] = u.im[j] = -double(j) / 3.0;
                }
                std::vector<std::uint16_t> interleaved(count * z);
                for (std::size_t j = 0; j < z; ++j)
                    for (std::size_t e = 0; e < count; ++e) interleaved[j * count + e] = phases[e][j];
                const EntryBlock block{interleaved.data(), t16->data(), m};
                std::vector<double> w(count + 1), xy(2 * z), x0(z), y0(z);
                if (blocked)
                    k.score_block(block, pairs.data(), z, w.data());
                else
                    k.score(entries.data(), count, pairs.data(), z, w.data());
                bool ok = true;
                for (std::size_t e = 0; e < count; ++e) ok = ok && same_bits(w[e], reference::dot(plain[e], u));
                const std::string at = (blocked ? " block m=" + std::to_string(m) : std::string(" loose")) + " z=" + std::to_string(z) +
                                       " count=" + std::to_string(count);
                check(ok, tag + "score" + at);
                if (blocked) {
                    // Against a lattice point of n = 16 through the product table.
                    const double* t = t16->data();
                    const double* lattice = phasor_table(16)->data();
                    std::vector<double> products(16 * m);
                    for (std::size_t q = 0; q < 16; ++q)
                        for (std::size_t p = 0; p < m; ++p)
                            products[q * m + p] = (t[2 * p] * lattice[2 * q]) + (t[2 * p + 1] * lattice[2 * q + 1]);
                    const Phases q = random_phases(z, 16);
                    reference::Phasor point = reference::phasor({q, 16});
                    std::vector<double> wl(count);
                    k.score_block_lattice(block, products.data(), m, q.data(), z, wl.data());
                    bool same = true;
                    for (std::size_t e = 0; e < count; ++e) same = same && same_bits(wl[e], reference::dot(plain[e], point));
                    check(same, tag + "score against a lattice point" + at);
                }
                for (std::size_t j = 0; j < z; ++j) xy[2 * j] = x0[j] = 0.25 * j, xy[2 * j + 1] = y0[j] = -1.5;
                if (blocked)
                    k.superpose_block(block, w.data(), xy.data(), z);
                else
                    k.superpose(entries.data(), count, w.data(), xy.data(), z);
                for (std::size_t e = 0; e < count; ++e)
                    for (std::size_t j = 0; j < z; ++j) {
                        x0[j] = x0[j] + (plain[e].re[j] * w[e]);
                        y0[j] = y0[j] + (plain[e].im[j] * w[e]);
                    }
                ok = true;
                for (std::size_t j = 0; j < z; ++j) ok = ok && same_bits(xy[2 * j], x0[j]) && same_bits(xy[2 * j + 1], y0[j]);
                check(ok, tag + "superpose" + at);
            }
}

void test_resonator() {
    struct Shape {
        std::size_t factors, entries, z;
        std::uint32_t n;
        bool mixed;  // entries at other resolutions, some too rare for a shared table
    };
    const Shape shapes[] = {{2, 3, 8, 8, false},   {2, 16, 64, 16, false},  {3, 9, 33, 16, true},
                            {1, 1, 1, 2, false},   {2, 17, 40, 65536, true}, {3, 20, 100, 7, true},
                            {2, 0, 16, 16, false}, {2, 5, 0, 16, false}};
    for (const Shape& s : shapes)
        for (std::uint64_t max_iter : {0, 1, 3, 50}) {
            std::vector<std::vector<reference::Vec>> books;
            std::vector<Codebook> values;
            for (std::size_t f = 0; f < s.factors; ++f) {
                auto& book = books.emplace_back();
                auto& vbook = values.emplace_back();
                for (std::size_t e = 0; e < s.entries; ++e) {
                    const std::uint32_t m = !s.mixed ? s.n : (e % 4 == 1 ? 65536 : (e % 4 == 3 ? 5 : s.n));
                    book.push_back({random_phases(s.z, m), m});
                    vbook.push_back(vec(book.back().p, m));
                }
            }
            Phases comp = random_phases(s.z, s.n);
            if (s.entries > 0)
                for (std::size_t f = 0; f < s.factors; ++f)
                    if (books[f][1 % s.entries].n == s.n) comp = reference::bind(comp, books[f][1 % s.entries].p, s.n);
            const auto expected = reference::resonator({comp, s.n}, books, max_iter);
            for (bool cold : {true, false}) {
                if (cold) clear_table_cache();
                auto got = resonator_factorize(vec(comp, s.n), values, max_iter);
                bool ok = got && got.value().size() == expected.size();
                for (std::size_t f = 0; ok && f < expected.size(); ++f)
                    ok = got.value()[f].index == expected[f].index &&
                         same_bits(got.value()[f].similarity, expected[f].similarity);
                check(ok, "resonator F=" + std::to_string(s.factors) + " M=" + std::to_string(s.entries) +
                              " Z=" + std::to_string(s.z) + " n=" + std::to_string(s.n) +
                              " max_iter=" + std::to_string(max_iter) + (cold ? " cold" : " warm"));
            }
        }
}


// Every copy of the correctly rounded functions gives the baseline copy's
// bits: every table angle up to n = 4096, and random arguments.
void test_correctly_rounded(const KernelVariant& v) {
    const std::string_view isa = v.name;
    const CorrectlyRounded& f = v.table->correctly_rounded();
    const std::string tag = std::string(isa) + " correctly rounded ";
    std::size_t differ = 0, cases = 0;
    for (std::uint32_t n = 2; n <= 4096; ++n)
        for (std::uint32_t k = 0; k < n; ++k, ++cases) {
            const double t = (static_cast<double>(k) * reference::kFullTurn) / static_cast<double>(n);
            const SinCos sc = f.sincos(t);
            differ += !same_bits(f.cos(t), reference::cos(t)) || !same_bits(f.sin(t), reference::sin(t)) ||
                      !same_bits(sc.cos, reference::cos(t)) || !same_bits(sc.sin, reference::sin(t));
        }
    for (std::uint32_t n : {2u, 3u, 52u, 1000u, 4096u, 65536u}) {
        std::vector<double> table(2 * std::size_t{n});
        f.phasors(n, table.data());
        for (std::uint32_t k = 0; k < n; ++k, ++cases) {
            const double t = (static_cast<double>(k) * reference::kFullTurn) / static_cast<double>(n);
            differ += !same_bits(table[2 * k], reference::cos(t)) || !same_bits(table[2 * k + 1], reference::sin(t));
        }
    }
    std::uniform_real_distribution<double> angle(-100.0, 100.0);
    std::uniform_int_distribution<std::int64_t> sum(-3000000, 3000000);
    for (int i = 0; i < 200000; ++i, ++cases) {
        const double t = angle(rng), y = static_cast<double>(sum(rng)), x = static_cast<double>(sum(rng));
        differ += !same_bits(f.cos(t), reference::cos(t)) || !same_bits(f.sin(t), reference::sin(t)) ||
                  !same_bits(f.atan2(y, x), reference::atan2(y, x)) || !same_bits(f.atan2(t, x), reference::atan2(t, x));
    }
    check(differ == 0, tag + std::to_string(differ) + " of " + std::to_string(cases) + " differ");
}

// The bundle fold of one variant against the plain integer sums, at table
// sizes in and out of the register lookups' reach and across the block.
void test_bundle_kernels(const KernelVariant& v) {
    const std::string_view isa = v.name;
    const BundleKernels& k = v.table->bundle;
    std::size_t wrong = 0, cases = 0;
    for (std::uint32_t n : {2u, 16u, 31u, 32u, 33u, 1000u, 65536u}) {
        const auto table = bundle_phasor_table(n);
        for (std::size_t count : {1, 3, 16, 100})
            for (std::size_t len : {0, 1, 7, 8, 15, 16, 17, 31, 32, 33, 70, 511, 512}) {
                std::vector<Phases> items;
                std::vector<const std::uint16_t*> rows;
                for (std::size_t i = 0; i < count; ++i) items.push_back(random_phases(len, n));
                for (const Phases& p : items) rows.push_back(p.data());
                std::vector<std::int64_t> c(len, 5), s(len, -5), pc(len, 5), ps(len, -5);
                k.fold(rows.data(), count, len, table->data(), n, c.data(), s.data());
                for (const Phases& p : items)
                    for (std::size_t i = 0; i < len; ++i) {
                        pc[i] += (*table)[2 * std::size_t{p[i]}];
                        ps[i] += (*table)[2 * std::size_t{p[i]} + 1];
                    }
                wrong += c != pc || s != ps;
                ++cases;
            }
    }
    // The weighted fold against the plain multiply-add, weights up to the
    // largest total the core lets through.
    for (std::uint32_t n : {2u, 31u, 32u, 33u, 1000u, 65536u}) {
        const auto table = bundle_phasor_table(n);
        for (std::size_t count : {1, 3, 17})
            for (std::size_t len : {0, 1, 7, 16, 17, 33, 512}) {
                std::vector<Phases> items;
                std::vector<const std::uint16_t*> rows;
                std::vector<std::uint64_t> weights;
                for (std::size_t i = 0; i < count; ++i) {
                    items.push_back(random_phases(len, n));
                    // The run boundary (a weight of exactly 2^16) and heavy items alone.
                    weights.push_back(i == 0 ? kMaxBundleWeight / count : i % 3 == 1 ? 65536 : rng() % 1000);
                }
                for (const Phases& p : items) rows.push_back(p.data());
                std::vector<std::int64_t> c(len, 5), s(len, -5), pc(len, 5), ps(len, -5);
                k.weighted_fold(rows.data(), weights.data(), count, len, table->data(), n, c.data(), s.data());
                for (std::size_t j = 0; j < count; ++j)
                    for (std::size_t i = 0; i < len; ++i) {
                        pc[i] += static_cast<std::int64_t>(weights[j]) * (*table)[2 * std::size_t{items[j][i]}];
                        ps[i] += static_cast<std::int64_t>(weights[j]) * (*table)[2 * std::size_t{items[j][i]} + 1];
                    }
                wrong += c != pc || s != ps;
                ++cases;
            }
    }
    check(wrong == 0, std::string(isa) + " bundle fold: " + std::to_string(wrong) + " of " +
                          std::to_string(cases) + " wrong");
}

// The arc tangent estimate stays within its proven bound.
void test_atan2_estimate() {
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-60, 60);
    double worst = 0.0;
    for (int i = 0; i < 2000000; ++i) {
        const double y = std::ldexp(mantissa(rng), exponent(rng)), x = std::ldexp(mantissa(rng), exponent(rng));
        if (x == 0.0 || y == 0.0) continue;
        worst = std::max(worst, std::fabs(atan2_estimate(y, x) - reference::atan2(y, x)));
    }
    // Right at the reduction's switch, tan(pi/8), where |u| is largest.
    for (int i = -1000; i <= 1000; ++i) {
        const double y = 0.41421356237309503 + i * 0x1p-50;
        worst = std::max(worst, std::fabs(atan2_estimate(y, 1.0) - reference::atan2(y, 1.0)));
    }
    check(worst <= kAtan2EstimateError - 0x1p-52, "atan2 estimate error " + std::to_string(worst));
}

// The lattice decision of one variant against angle_to_level of the
// correctly rounded arc tangent: a full box of small integer sums for every
// n up to 96, sums next to every rounding boundary, and random sums.
void test_lattice_levels(const KernelVariant& v) {
    const std::string_view isa = v.name;
    const LatticeKernels& k = v.table->lattice;
    const std::string tag = std::string(isa) + " lattice ";
    auto run = [&](const std::vector<double>& xy, std::uint32_t n) {
        const std::size_t len = xy.size() / 2;
        std::vector<std::uint16_t> fast(len), exact(len);
        std::vector<std::uint8_t> needs(len);
        k.estimate(xy.data(), len, n, fast.data(), needs.data());
        lattice_levels(xy.data(), len, n, exact.data());
        std::size_t wrong = 0;
        for (std::size_t j = 0; j < len; ++j) {
            const std::uint32_t want = reference::level(reference::atan2(xy[2 * j + 1], xy[2 * j]), n);
            wrong += exact[j] != want || (!needs[j] && fast[j] != want);
        }
        return wrong;
    };
    std::size_t wrong = 0;
    std::vector<double> box;
    for (int y = -40; y <= 40; ++y)
        for (int x = -40; x <= 40; ++x) box.insert(box.end(), {static_cast<double>(x), static_cast<double>(y)});
    box.insert(box.end(), {-0.0, 0.0, -0.0, -0.0, 0.0, -0.0, -5.0, -0.0, -5.0, 0.0, 1e300, 1e-300,
                           INFINITY, 1.0, -INFINITY, -INFINITY, NAN, 1.0, 1.0, NAN, 0x1p-1000, 0x1p-1000});
    for (std::uint32_t n = 2; n <= 96; ++n) wrong += run(box, n);
    for (std::uint32_t n : kResolutions) {
        std::vector<double> near;
        const std::uint32_t stride = n > 4096 ? n / 4096 : 1;
        for (std::uint32_t b = 0; b < n; b += stride) {
            // The boundary between levels b and b + 1, at several radii; the
            // rounded integer sums then sit on either side of it.
            const double theta = (static_cast<double>(b) + 0.5) * reference::kFullTurn / static_cast<double>(n);
            for (double radius : {16384.0, 3e5, 7e9, 1e15}) {
                const double cx = std::round(radius * reference::cos(theta)), cy = std::round(radius * reference::sin(theta));
                for (double dx : {-1.0, 0.0, 1.0})
                    for (double dy : {-1.0, 0.0, 1.0}) near.insert(near.end(), {cx + dx, cy + dy});
            }
        }
        wrong += run(near, n);
        std::vector<double> random;
        std::uniform_int_distribution<std::int64_t> sum(-50000, 50000);
        for (int i = 0; i < 20000; ++i) random.insert(random.end(), {double(sum(rng)), double(sum(rng))});
        wrong += run(random, n);
    }
    check(wrong == 0, tag + std::to_string(wrong) + " wrong levels");
}

// The variant list: every variant once, the baseline last (it runs
// everywhere), and the first supported one from the build's cap on is chosen.
void test_variant_list() {
    const auto variants = kernel_variants();
    bool ok = !variants.empty() && variants.back().name == "baseline";
    for (std::size_t i = 0; i < variants.size(); ++i)
        for (std::size_t j = 0; j < i; ++j) ok = ok && variants[i].name != variants[j].name && variants[i].table != variants[j].table;
    std::size_t at = 0;
    while (at + 1 < variants.size() && &variants[at] != &dispatch_cap()) ++at;
    while (at + 1 < variants.size() && !variants[at].supported()) ++at;
    check(ok && &chosen_variant() == &variants[at], "variant list and the choice under the build's cap");
}

// ---- similarities: several rows' chains side by side ----

// A difference table filled from the plain expression only where a pair
// meets it; every other entry stays NaN, so a wrong lookup shows in a sum.
struct SparseTable {
    std::vector<double> centred = std::vector<double>(2 * 65536 - 1, NAN);
    std::vector<std::uint32_t> filled;
    void cover(const Phases& a, const Phases& r, std::uint32_t n) {
        for (std::size_t i = 0; i < a.size(); ++i) {
            const std::uint32_t k = a[i] + (n - 1) - r[i];
            if (centred[k] == centred[k]) continue;
            centred[k] = reference::cos((static_cast<double>(a[i]) - static_cast<double>(r[i])) * reference::kFullTurn /
                                        static_cast<double>(n));
            filled.push_back(k);
        }
    }
    void reset() {
        for (std::uint32_t k : filled) centred[k] = NAN;
        filled.clear();
    }
};

// The plain loop's sum, term by term in component order.
double plain_sum(const Phases& a, const Phases& r, std::uint32_t n) {
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i)
        sum += reference::cos((static_cast<double>(a[i]) - static_cast<double>(r[i])) * reference::kFullTurn /
                              static_cast<double>(n));
    return sum;
}

// `count` rows (some repeating `a` or another row) against a, every variant
// this CPU runs; true when every sum has the plain loop's bits.
bool sums_agree(SparseTable& table, std::uint32_t n, std::size_t count, std::size_t len) {
    const Phases a = random_phases(len, n);
    std::vector<Phases> rows;
    for (std::size_t k = 0; k < count; ++k) rows.push_back(k % 5 == 3 ? a : k % 7 == 6 ? rows[0] : random_phases(len, n));
    std::vector<const std::uint16_t*> pointers;
    for (const Phases& r : rows) pointers.push_back(r.data()), table.cover(a, r, n);
    bool ok = true;
    for (const KernelVariant& v : kernel_variants()) {
        if (!v.supported()) continue;
        std::vector<double> sums(count + 1, -7.0);
        const std::uint16_t seen =
            v.table->similarity.difference_sums(a.data(), pointers.data(), count, len, table.centred.data(), n, sums.data());
        ok = ok && seen < n && sums[count] == -7.0;
        for (std::size_t k = 0; k < count; ++k) ok = ok && same_bits(sums[k], plain_sum(a, rows[k], n));
    }
    table.reset();
    return ok;
}

void test_similarity_kernels() {
    SparseTable table;
    // Every resolution at two lengths past a few steps of 4 and a partial
    // pass of rows; a sample of resolutions at a longer length.
    std::size_t wrong = 0, cases = 0;
    for (std::uint32_t n = 2; n <= 65536; ++n) {
        wrong += !sums_agree(table, n, 9, n % 2 ? 7 : 66), ++cases;
        if (n <= 64 || n % 251 == 0 || (n & (n - 1)) == 0 || ((n + 1) & n) == 0) wrong += !sums_agree(table, n, 35, 1001), ++cases;
    }
    check(wrong == 0, "similarity sums, every n: " + std::to_string(wrong) + " of " + std::to_string(cases) + " wrong");
    // Row counts and lengths around every lane width and pass size.
    wrong = cases = 0;
    for (std::uint32_t n : {2u, 8u, 9u, 16u, 17u, 1000u, 65536u})
        for (std::size_t count : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 24, 31, 32, 33, 65})
            for (std::size_t len : {0, 1, 2, 3, 4, 5, 7, 8, 9, 63, 64, 65, 1000}) wrong += !sums_agree(table, n, count, len), ++cases;
    check(wrong == 0, "similarity sums, lane widths: " + std::to_string(wrong) + " of " + std::to_string(cases) + " wrong");
    // A phase >= n, in a full step or in the tail, in a or in a row: read
    // inside the table and reported.
    for (std::uint32_t n : {9u, 16u, 1000u})
        for (std::size_t at : {1, 5, 9}) {
            Phases a = random_phases(10, n), r = random_phases(10, n);
            std::vector<double> full(2 * n - 1, 0.5), sums(2);
            (at == 5 ? a : r)[at] = static_cast<std::uint16_t>(n + 3);
            const std::uint16_t* rows[] = {r.data(), a.data()};
            for (const KernelVariant& v : kernel_variants())
                if (v.supported())
                    check(v.table->similarity.difference_sums(a.data(), rows, 2, 10, full.data(), n, sums.data()) == n + 3 &&
                              sums[0] == 5.0,
                          std::string(v.name) + " similarity sums report a phase >= n");
        }
    // The core: errors in item order, the first failing item deciding.
    const PhaseHVec a = vec(random_phases(4, 16), 16), other_n = vec(random_phases(4, 17), 17);
    PhaseHVec short_v = a;
    short_v.phases.pop_back();
    const PhaseHVec* first_broken[] = {&a, &short_v, &other_n};
    auto r = similarities(a, first_broken);
    check(!r && r.error().kind == Error::Kind::Internal, "similarities: the first failing item decides");
    std::swap(first_broken[1], first_broken[2]);
    r = similarities(a, first_broken);
    check(!r && r.error().kind == Error::Kind::Domain && r.error().message == kIncompatibleMessage,
          "similarities: an incompatible item is the domain error");
}

}  // namespace

int main() {
    int variants = 0;
    for (const KernelVariant& v : kernel_variants()) {
        if (!v.supported()) {
            std::printf("variant %s: not supported by this CPU, skipped\n", v.name.data());
            continue;
        }
        ++variants;
        std::printf("variant %s\n", v.name.data());
        test_elementwise(v);
        test_resonator_kernels(v);
        test_correctly_rounded(v);
        test_lattice_levels(v);
        test_bundle_kernels(v);
        test_power(v);
        test_power_all_phases(v);
        test_lookup(v);
    }
    test_variant_list();
    test_atan2_estimate();
    test_remainder();
    test_lattice_rounding();
    test_similarity_and_bundle();
    test_resonator();
    test_similarity_kernels();
    std::printf("kernel variants tested: %d (dispatch picks %s)\n", variants, chosen_variant().name.data());
    return native_test::finish();
}
