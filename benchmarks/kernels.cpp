// Per-variant timings of the SIMD kernels themselves, for the limits tables
// of docs/performance.md: every variant this CPU runs, side by side, best of
// repeated runs, in ns per element (per entry-component for the resonator,
// per item-component for the bundle fold, per component for generation).
//
//   cmake -S . -B build -DVELMORA_PYTHON_MODULE=OFF -DVELMORA_BENCHMARKS=ON
//   cmake --build build --target velmora_bench_kernels && build/velmora_bench_kernels
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "core/simd/kernel_table.hpp"
#include "core/phase_tables.hpp"

using namespace velmora;

template <class F>
double best_ns(F fn, double elements, int repeats = 21) {
    double best = 1e30;
    for (int r = 0; r < repeats; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        fn();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best * 1e9 / elements;
}

int main() {
    std::mt19937_64 rng(1);
    // Resonator: 256 entries (32 blocks) of Z = 1024 at n = 16, as in the largest benchmark shapes.
    const std::size_t z = 1024, blocks = 32;
    const std::uint32_t m = 16;
    const auto table = phasor_table(m);
    std::vector<std::uint16_t> index(blocks * kResonatorLanes * z), q(z);
    for (auto& p : index) p = static_cast<std::uint16_t>(rng() % m);
    for (auto& p : q) p = static_cast<std::uint16_t>(rng() % 16);
    std::vector<double> u(2 * z), xy(2 * z), w(kResonatorLanes * blocks), products(16 * m);
    for (auto& x : u) x = double(rng() % 1000) / 1000.0;
    for (auto& x : products) x = double(rng() % 1000) / 1000.0;
    const double entry_components = double(blocks * kResonatorLanes * z);
    // Bundle: 100 items of 16384 components at n = 65536; generation: 2^16 components.
    std::vector<std::vector<std::uint16_t>> items(100, std::vector<std::uint16_t>(16384));
    for (auto& item : items)
        for (auto& p : item) p = static_cast<std::uint16_t>(rng());
    std::vector<const std::uint16_t*> rows;
    for (const auto& item : items) rows.push_back(item.data());
    const auto bundle_table = bundle_phasor_table(65536);
    std::vector<std::int64_t> cos_sum(kFoldBlock), sin_sum(kFoldBlock);
    std::vector<std::uint16_t> generated(1 << 16);

    std::printf("%-9s %8s %10s %8s %9s %9s %9s\n", "variant", "score", "superpose", "lattice", "gen n=16",
                "gen n=1000", "fold");
    for (const KernelVariant& v : kernel_variants()) {
        if (!v.supported()) continue;
        const KernelTable& k = *v.table;
        const auto block = [&](std::size_t b) { return EntryBlock{index.data() + b * kResonatorLanes * z, table->data(), m}; };
        const double score = best_ns([&] { for (std::size_t b = 0; b < blocks; ++b) k.resonator.score_block(block(b), u.data(), z, w.data() + 8 * b); }, entry_components);
        const double superpose = best_ns([&] { for (std::size_t b = 0; b < blocks; ++b) k.resonator.superpose_block(block(b), w.data() + 8 * b, xy.data(), z); }, entry_components);
        const double lattice = best_ns([&] { for (std::size_t b = 0; b < blocks; ++b) k.resonator.score_block_lattice(block(b), products.data(), m, q.data(), z, w.data() + 8 * b); }, entry_components);
        const double gen16 = best_ns([&] { k.elementwise.generate(generated.data(), generated.size(), 12345, 16); }, double(generated.size()));
        const double gen1000 = best_ns([&] { k.elementwise.generate(generated.data(), generated.size(), 12345, 1000); }, double(generated.size()));
        const double fold = best_ns([&] {
            for (std::size_t i = 0; i < 16384; i += kFoldBlock) {
                std::vector<const std::uint16_t*> at(rows.size());
                for (std::size_t r = 0; r < rows.size(); ++r) at[r] = rows[r] + i;
                k.bundle.fold(at.data(), at.size(), kFoldBlock, bundle_table->data(), 65536, cos_sum.data(), sin_sum.data());
            }
        }, 100.0 * 16384, 7);
        std::printf("%-9s %8.3f %10.3f %8.3f %9.3f %9.3f %9.3f\n", v.name.data(), score, superpose, lattice, gen16, gen1000, fold);
    }
    std::printf("(ns per entry-component, per component, per item-component)\n");
}
