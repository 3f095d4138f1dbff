// Prints the results of a fixed set of seeded core operations, one per line,
// so that builds for different machines can be compared line by line.
//
//   int <name> <decimal>      integer results: generation, bind, unbind
//                             (permute and power too)
//                             (FNV-1a of the phases and a few of them)
//   flt <name> <hex bits>     results that go through cos, sin or atan2:
//                             similarity, similarities, bundle phases,
//                             resonator output,
//                             the functions themselves (the 64 bits of the
//                             double, in hex), and a digest of the bits of
//                             every resolution's tables
//
// Every line must be the same on every machine, both kinds alike. Floats are
// printed as their bit pattern, not with %a: C runtimes format %a differently
// (how many trailing zero digits, the leading digit) for the same value.
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "core/simd/kernel_table.hpp"
#include "core/phase_hvec.hpp"
#include "core/phase_resonator.hpp"
#include "core/phase_similarities.hpp"
#include "core/phase_tables.hpp"

using namespace velmora;

namespace {

std::uint64_t fnv(const PhaseHVec& v) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (std::uint16_t p : v.phases) {
        h = (h ^ (p & 0xFF)) * 0x100000001b3ull;
        h = (h ^ (p >> 8)) * 0x100000001b3ull;
    }
    return h;
}

void print_int(const char* name, std::uint64_t value) { std::printf("int %s %" PRIu64 "\n", name, value); }
void print_flt(const char* name, double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    std::printf("flt %s %016" PRIx64 "\n", name, bits);
}

PhaseHVec gen(std::uint64_t dim, std::uint32_t n, std::uint64_t seed) {
    auto r = generate(dim, n, seed);
    if (!r) {
        std::printf("error generate\n");
        return {};
    }
    return std::move(r).value();
}

void print_vector(const std::string& name, const PhaseHVec& v, bool integer) {
    const std::uint64_t h = fnv(v);
    if (integer) print_int((name + ".fnv").c_str(), h);
    for (std::size_t i = 0; i < v.phases.size() && i < 4; ++i) {
        const std::string item = name + "[" + std::to_string(i) + "]";
        if (integer)
            print_int(item.c_str(), v.phases[i]);
        else
            print_flt(item.c_str(), v.phases[i]);
    }
    if (!integer) print_flt((name + ".fnv").c_str(), static_cast<double>(h % 1000003));
}

}  // namespace

int main(int argc, char** argv) {
    // Table digests: every resolution up to 4096, then every STRIDE-th one
    // and the last two (argument 1, default 1: all of them; emulated
    // machines take a sample).
    const std::uint32_t stride = argc > 1 ? static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10)) : 1;
    const std::uint32_t resolutions[] = {2, 3, 16, 360, 1000, 65535, 65536};
    const std::uint64_t seeds[] = {0, 1, 7, 0x9E3779B97F4A7C15ull, 0xFFFFFFFFFFFFFFFFull};
    for (std::uint32_t n : resolutions) {
        for (std::uint64_t seed : seeds) {
            const std::string tag = "n" + std::to_string(n) + ".s" + std::to_string(seed);
            const PhaseHVec a = gen(4096, n, seed), b = gen(4096, n, seed ^ 0x5555);
            print_vector("gen." + tag, a, true);
            print_vector("bind." + tag, bind(a, b).value(), true);
            print_vector("unbind." + tag, unbind(a, b).value(), true);
            print_flt(("sim." + tag).c_str(), similarity(a, b).value());
            std::vector<PhaseHVec> items{a, b, gen(4096, n, seed + 3)};
            print_vector("bundle." + tag, bundle(items).value(), false);
            const std::vector<const PhaseHVec*> rows{&items[2], &b, &a, &items[2]};
            const std::vector<double> sims = similarities(a, rows).value();
            for (std::size_t k = 0; k < sims.size(); ++k)
                print_flt(("sims." + tag + "[" + std::to_string(k) + "]").c_str(), sims[k]);
        }
        const SharedTable<std::int16_t> table = bundle_phasor_table(n);
        std::uint64_t h = 0;
        std::int64_t cos_sum = 0, sin_sum = 0;
        for (std::uint32_t k = 0; k < n; ++k) {
            const std::int64_t c = (*table)[2 * std::size_t{k}], s = (*table)[2 * std::size_t{k} + 1];
            h = (h * 31) ^ static_cast<std::uint64_t>(c * 65537 + s);
            cos_sum += c * (k + 1);
            sin_sum += s * (k + 1);
        }
        print_int(("tables.n" + std::to_string(n) + ".hash").c_str(), h);
        print_int(("tables.n" + std::to_string(n) + ".cos").c_str(), static_cast<std::uint64_t>(cos_sum));
        print_int(("tables.n" + std::to_string(n) + ".sin").c_str(), static_cast<std::uint64_t>(sin_sum));
    }
    // Resonator: three codebooks of eight entries, composite of one from each.
    for (std::uint32_t n : {16u, 64u, 65536u}) {
        std::vector<Codebook> books(3);
        for (std::uint64_t f = 0; f < 3; ++f)
            for (std::uint64_t e = 0; e < 8; ++e) books[f].push_back(gen(1024, n, 100 * f + e));
        PhaseHVec composite = bind(bind(books[0][5], books[1][2]).value(), books[2][7]).value();
        for (std::uint64_t max_iter : {0, 1, 50}) {
            ResonatorTrace trace;
            auto r = resonator_factorize_traced(composite, books, max_iter, {}, trace).value();
            const std::string tag = "res.n" + std::to_string(n) + ".it" + std::to_string(max_iter);
            for (std::size_t f = 0; f < r.size(); ++f) {
                print_flt((tag + ".index" + std::to_string(f)).c_str(), static_cast<double>(r[f].index));
                print_flt((tag + ".sim" + std::to_string(f)).c_str(), r[f].similarity);
            }
            print_flt((tag + ".sweeps").c_str(), static_cast<double>(trace.sweeps));
        }
    }
    // factorize: small codebooks near capacity, with distractors bundled in,
    // so that the read-out, the verified stop and the seeded restarts all run.
    for (std::uint32_t n : {2u, 16u, 64u, 65536u}) {
        std::vector<Codebook> books(3);
        for (std::uint64_t f = 0; f < 3; ++f)
            for (std::uint64_t e = 0; e < 6; ++e) books[f].push_back(gen(48, n, 700 * f + e + n));
        const PhaseHVec bound3 = bind(bind(books[0][1], books[1][4]).value(), books[2][3]).value();
        std::vector<PhaseHVec> items{bound3, gen(48, n, 91), gen(48, n, 92)};
        const PhaseHVec composite = bundle(items).value();
        for (std::uint64_t max_iter : {0, 3, 400}) {
            FactorizeTrace trace;
            auto r = factorize_traced(composite, books, max_iter, {}, trace).value();
            const std::string tag = "fac.n" + std::to_string(n) + ".it" + std::to_string(max_iter);
            for (std::size_t f = 0; f < r.size(); ++f) {
                print_flt((tag + ".index" + std::to_string(f)).c_str(), static_cast<double>(r[f].index));
                print_flt((tag + ".sim" + std::to_string(f)).c_str(), r[f].similarity);
            }
            print_flt((tag + ".sweeps").c_str(), static_cast<double>(trace.sweeps));
            print_flt((tag + ".restarts").c_str(), static_cast<double>(trace.restarts));
        }
    }
    // The functions themselves, at table angles and at bundle-like sums.
    for (std::uint32_t n : {3u, 7u, 52u, 61u, 78u, 360u, 1000u, 65536u})
        for (std::uint32_t k : {1u, 2u, 5u, 13u, 19u, 47u, 651u, 727u, 826u}) {
            const double t = (k * kFullTurn) / n;
            const std::string tag = "cr.n" + std::to_string(n) + ".k" + std::to_string(k);
            print_flt((tag + ".cos").c_str(), cr_cos(t));
            print_flt((tag + ".sin").c_str(), cr_sin(t));
            print_flt((tag + ".atan2").c_str(), cr_atan2(std::round(cr_sin(t) * 49152.0), std::round(cr_cos(t) * 49152.0)));
        }
    // Resolutions where C libraries round cos differently: one-component
    // similarities at those angles, and seeded similarity, bundle and
    // resonator cases.
    const std::pair<std::uint32_t, std::uint16_t> misses[] = {{52, 13}, {61, 19}, {78, 47}, {1000, 651}, {1000, 727}, {1000, 826}};
    for (const auto& [n, k] : misses) {
        const PhaseHVec a{PhaseArray{k}, 1, n}, b{PhaseArray{0}, 1, n};
        print_flt(("miss.sim1.n" + std::to_string(n) + ".k" + std::to_string(k)).c_str(), similarity(a, b).value());
    }
    for (std::uint32_t n : {52u, 61u, 78u, 1000u}) {
        const std::string tag = "miss.n" + std::to_string(n);
        const PhaseHVec a = gen(1000, n, 21), b = gen(1000, n, 22), c = gen(1000, n, 23);
        print_flt((tag + ".sim").c_str(), similarity(a, b).value());
        std::vector<PhaseHVec> items{a, b, c};
        print_vector(tag + ".bundle", bundle(items).value(), false);
        std::vector<Codebook> books(3);
        for (std::uint64_t f = 0; f < 3; ++f)
            for (std::uint64_t e = 0; e < 16; ++e) books[f].push_back(gen(256, n, 1000 * f + e));
        const PhaseHVec composite = bind(bind(books[0][3], books[1][9]).value(), books[2][14]).value();
        ResonatorTrace trace;
        auto r = resonator_factorize_traced(composite, books, 50, {}, trace).value();
        for (std::size_t f = 0; f < r.size(); ++f) {
            print_flt((tag + ".res.index" + std::to_string(f)).c_str(), static_cast<double>(r[f].index));
            print_flt((tag + ".res.sim" + std::to_string(f)).c_str(), r[f].similarity);
        }
    }
    // Rotation, integer and real powers, and a weighted bundle of seeded
    // vectors (the real power rounds a binary64 product; the weighted bundle
    // goes through atan2 like bundle).
    for (std::uint32_t n : {2u, 7u, 256u, 1000u, 65536u}) {
        const std::string tag = "enc.n" + std::to_string(n);
        const PhaseHVec a = gen(1000, n, 31), b = gen(1000, n, 32), c = gen(1000, n, 33);
        print_vector(tag + ".permute", permute(a, 377).value(), true);
        print_vector(tag + ".power_int", power_int(a, (n * 3) / 7).value(), true);
        print_vector(tag + ".power_real", power_real(a, -2.375).value(), true);
        print_vector(tag + ".power_real_third", power_real(a, 1.0 / 3).value(), true);
        const PhaseHVec* items[] = {&a, &b, &c};
        const std::uint64_t weights[] = {5, 0, 2};
        print_vector(tag + ".bundle_weighted", bundle(items, weights).value(), false);
    }
    // Every resolution's tables: FNV-1a over the bits of the cos/sin table
    // and of the bundle's fixed-point table.
    for (std::uint32_t n = 2; n <= 65536; ++n) {
        if (n > 4096 && n < 65535 && stride > 1 && n % stride != 0) continue;
        std::uint64_t h = 0xcbf29ce484222325ull;
        const SharedTable<double> phasors = phasor_table(n);
        for (double v : *phasors) {
            std::uint64_t u;
            std::memcpy(&u, &v, sizeof u);
            h = (h ^ u) * 0x100000001b3ull;
        }
        const SharedTable<std::int16_t> fixed = bundle_phasor_table(n);
        for (std::int16_t v : *fixed) h = (h ^ static_cast<std::uint16_t>(v)) * 0x100000001b3ull;
        std::printf("flt tables.n%u %016" PRIx64 "\n", n, h);
    }
    return 0;
}
