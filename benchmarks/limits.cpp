// Machine limits quoted in docs/performance.md: a dependent double add,
// one atan2 call, and a streaming copy.
//
//   cmake -S . -B build -DVELMORA_PYTHON_MODULE=OFF -DVELMORA_BENCHMARKS=ON
//   cmake --build build --target velmora_bench_limits && build/velmora_bench_limits
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>
#include <cstdint>
int main() {
    using clk = std::chrono::steady_clock;
    const std::size_t N = 1 << 20;
    std::vector<double> v(N);
    for (std::size_t i = 0; i < N; ++i) v[i] = std::cos(double(i));
    double best = 1e9;
    for (int r = 0; r < 20; ++r) {
        auto t0 = clk::now();
        double s = 0.0;
        for (std::size_t i = 0; i < N; ++i) s += v[i];
        auto t1 = clk::now();
        volatile double sink = s; (void)sink;
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
    }
    std::printf("dependent add: %.3f ns each (1M: %.3f ms)\n", best / N * 1e9, best * 1e3);
    std::vector<double> y(16384), x(16384);
    for (std::size_t i = 0; i < x.size(); ++i) { y[i] = std::sin(i) * 300000; x[i] = std::cos(i * 1.7) * 300000; }
    best = 1e9;
    for (int r = 0; r < 20; ++r) {
        auto t0 = clk::now();
        double s = 0.0;
        for (std::size_t i = 0; i < x.size(); ++i) s += std::atan2(y[i], x[i]);
        auto t1 = clk::now();
        volatile double sink = s; (void)sink;
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
    }
    std::printf("atan2: %.2f ns each (16384: %.1f us)\n", best / x.size() * 1e9, best * 1e6);
    std::vector<std::uint16_t> a(N), b(N), c(N);
    best = 1e9;
    for (int r = 0; r < 20; ++r) {
        auto t0 = clk::now();
        std::memcpy(c.data(), a.data(), 2 * N);
        std::memcpy(c.data(), b.data(), 2 * N);
        auto t1 = clk::now();
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
    }
    std::printf("read 4 MiB + write 4 MiB (two 2 MiB copies, warm): %.1f us\n", best * 1e6);
    best = 1e9;
    for (int r = 0; r < 20; ++r) {
        auto t0 = clk::now();
        std::vector<std::uint16_t> fresh(N);
        std::memcpy(fresh.data(), a.data(), 2 * N);
        auto t1 = clk::now();
        volatile std::uint16_t sink = fresh[N - 1]; (void)sink;
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
    }
    std::printf("2 MiB copy into a fresh allocation: %.1f us\n", best * 1e6);
}
