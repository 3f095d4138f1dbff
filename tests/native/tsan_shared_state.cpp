// Drives the core's process-wide state from several threads at once, for
// ThreadSanitizer (tools/tsan/run.sh): the kernel and correctly rounded
// choices made on first use, the table cache with its evictions, and the
// lazily filled similarity and bundle memos, one thread clearing the cache
// now and then. The threads start cold, so they also race the first use.
// Every result must then equal the one computed again on one thread.
//
//   velmora_tsan_shared_state [THREADS] [ROUNDS]
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/phase_hvec.hpp"
#include "core/phase_resonator.hpp"
#include "core/phase_similarities.hpp"
#include "core/phase_tables.hpp"

namespace {

using namespace velmora;

// More resolutions than cache slots, so that every kind keeps evicting.
constexpr std::uint32_t kResolutions[] = {5, 64, 1000, 4099, 30011, 65536};
static_assert(std::size(kResolutions) > kTableCacheSlots);

// A result as a list of 64-bit words: phases, float bits, indices.
using Outcome = std::vector<std::uint64_t>;

PhaseHVec vec(std::uint64_t dim, std::uint32_t n, std::uint64_t seed) { return generate(dim, n, seed).value(); }

Outcome of(const Result<PhaseHVec>& r) {
    if (!r) return {~0ull};
    return Outcome(r.value().phases.begin(), r.value().phases.end());
}
Outcome of(const Result<double>& r) { return r ? Outcome{std::bit_cast<std::uint64_t>(r.value())} : Outcome{~0ull}; }
Outcome of(const Result<std::vector<double>>& r) {
    if (!r) return {~0ull};
    Outcome o;
    for (double v : r.value()) o.push_back(std::bit_cast<std::uint64_t>(v));
    return o;
}
Outcome of(const Result<std::vector<FactorMatch>>& r) {
    if (!r) return {~0ull};
    Outcome o;
    for (const FactorMatch& m : r.value()) o.insert(o.end(), {m.index, std::bit_cast<std::uint64_t>(m.similarity)});
    return o;
}

struct Inputs {
    std::uint32_t n;
    PhaseHVec a, b, c;
    std::vector<PhaseHVec> few;  // few phasors at a large n: the bundle memo
    std::vector<Codebook> books;
    PhaseHVec composite;
};

std::vector<Inputs> make_inputs() {
    std::vector<Inputs> all;
    for (std::uint32_t n : kResolutions) {
        Inputs in{n, vec(384, n, 1), vec(384, n, 2), vec(384, n, 3), {}, {}, {}};
        for (std::uint64_t s = 4; s < 7; ++s) in.few.push_back(vec(16, n, s));
        for (std::uint64_t f = 0; f < 2; ++f) {
            in.books.emplace_back();
            for (std::uint64_t e = 0; e < 5; ++e) in.books.back().push_back(vec(256, n, 10 * f + e));
        }
        in.composite = bind(in.books[0][3], in.books[1][1]).value();
        all.push_back(std::move(in));
    }
    return all;
}

// Every call the threads make; inputs are only read.
std::vector<std::function<Outcome()>> make_calls(const std::vector<Inputs>& inputs) {
    std::vector<std::function<Outcome()>> calls;
    for (const Inputs& in : inputs) {
        const Inputs* p = &in;
        calls.push_back([p] { return of(generate(200, p->n, 7)); });
        calls.push_back([p] { return of(bind(p->a, p->b)); });
        calls.push_back([p] { return of(unbind(p->a, p->c)); });
        calls.push_back([p] { return of(similarity(p->a, p->b)); });
        calls.push_back([p] { return of(similarity(p->few[0], p->few[2])); });
        calls.push_back([p] { return of(similarities(p->a, std::vector<const PhaseHVec*>{&p->b, &p->c, &p->a})); });
        calls.push_back([p] { return of(bundle(std::vector<PhaseHVec>{p->a, p->b, p->c})); });
        calls.push_back([p] { return of(bundle(p->few)); });
        calls.push_back([p] { return of(resonator_factorize(p->composite, p->books, 8)); });
    }
    return calls;
}

}  // namespace

int main(int argc, char** argv) {
    const int threads = argc > 1 ? std::atoi(argv[1]) : 4;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::vector<Inputs> inputs = make_inputs();  // generation only: no table, no memo
    const auto calls = make_calls(inputs);

    // got[t][k]: thread t's outcome of call k in its last round.
    std::vector<std::vector<Outcome>> got(threads, std::vector<Outcome>(calls.size()));
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            std::vector<std::size_t> order(calls.size());
            for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
            std::mt19937 shuffle(static_cast<unsigned>(t));
            for (int r = 0; r < rounds; ++r) {
                std::shuffle(order.begin(), order.end(), shuffle);
                for (std::size_t k : order) {
                    got[t][k] = calls[k]();
                    if (t == 0 && k % 16 == 0) clear_table_cache();
                }
            }
        });
    for (std::thread& th : pool) th.join();

    clear_table_cache();
    int wrong = 0;
    for (std::size_t k = 0; k < calls.size(); ++k) {
        const Outcome expected = calls[k]();
        for (int t = 0; t < threads; ++t)
            if (got[t][k] != expected) {
                std::printf("call %zu on thread %d differs from the single-threaded result\n", k, t);
                ++wrong;
            }
    }
    std::printf("shared_state: %d threads x %d rounds x %zu calls, %d results differing from one thread's\n",
                threads, rounds, calls.size(), wrong);
    return wrong == 0 ? 0 : 1;
}
