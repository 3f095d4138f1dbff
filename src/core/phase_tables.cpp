#include "core/phase_tables.hpp"

#include <array>
#include <cmath>
#include <limits>
#include <mutex>
#include <utility>

#include "core/math/lattice.hpp"
#include "core/simd/kernel_table.hpp"

namespace velmora {
namespace {

// A least-recently-used set of tables keyed by resolution. The mutex covers
// the slots and the clock only: tables are built, and evicted ones freed,
// outside it.
template <class T>
class TableCache {
public:
    template <class Build>
    std::shared_ptr<std::vector<T>> get(std::uint32_t n, Build&& build) {
        if (auto held = find(n)) return held;
        auto table = std::make_shared<std::vector<T>>(build());
        std::shared_ptr<std::vector<T>> evicted;
        std::lock_guard<std::mutex> lock(mutex_);
        ++clock_;
        // Another thread may have inserted n while this one was building:
        // every caller then shares that one (a memo must not split in two).
        for (Slot& s : slots_)
            if (s.table && s.n == n) {
                s.used = clock_;
                return s.table;
            }
        Slot* victim = &slots_[0];
        for (Slot& s : slots_)
            if (!s.table || s.used < victim->used) victim = &s;
        evicted = std::exchange(victim->table, table);
        victim->n = n;
        victim->used = clock_;
        return table;
    }  // `lock` is released before `evicted` is destroyed

    // The table of n if it is held, without building one (nullptr otherwise).
    std::shared_ptr<std::vector<T>> find(std::uint32_t n) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (Slot& s : slots_)
            if (s.table && s.n == n) {
                s.used = ++clock_;
                return s.table;
            }
        return nullptr;
    }

    void clear() {
        std::array<Slot, kTableCacheSlots> dropped{};
        std::lock_guard<std::mutex> lock(mutex_);
        dropped.swap(slots_);
    }

private:
    struct Slot {
        std::uint32_t n = 0;
        std::shared_ptr<std::vector<T>> table;
        std::uint64_t used = 0;
    };
    std::mutex mutex_;
    std::array<Slot, kTableCacheSlots> slots_{};
    std::uint64_t clock_ = 0;
};

TableCache<double> phasor_cache;
TableCache<std::atomic<double>> difference_cache;
TableCache<std::int16_t> bundle_cache;
TableCache<std::atomic<std::uint32_t>> bundle_memo_cache;

// Relaxed loads and stores of the memo entries must be single plain
// instructions, never a hidden lock.
static_assert(std::atomic<double>::is_always_lock_free && std::atomic<std::uint32_t>::is_always_lock_free);

constexpr std::uint32_t pack(std::int16_t cos, std::int16_t sin) {
    return std::uint32_t{static_cast<std::uint16_t>(cos)} | std::uint32_t{static_cast<std::uint16_t>(sin)} << 16;
}
constexpr std::uint32_t kUnfilledPair = pack(kUnfilledPhasor, kUnfilledPhasor);

// The same rounding as the plain bundle table: half away from zero; entries
// lie in [-16384, 16384], far from any saturation limit.
std::int16_t fixed_point(double value) { return static_cast<std::int16_t>(std::round(value * 16384.0)); }

}  // namespace

SharedTable<double> phasor_table(std::uint32_t n) {
    return phasor_cache.get(n, [n] {
        std::vector<double> t(2 * std::size_t{n});
        correctly_rounded().phasors(n, t.data());
        return t;
    });
}

std::shared_ptr<DifferenceMemo> difference_cosine_memo(std::uint32_t n) {
    return difference_cache.get(n, [n] {
        DifferenceMemo memo(2 * std::size_t{n} - 1);
        for (std::atomic<double>& entry : memo)
            entry.store(std::numeric_limits<double>::quiet_NaN(), std::memory_order_relaxed);
        return memo;
    });
}

double difference_cosine(std::uint32_t n, std::uint32_t k) {
    const double d = static_cast<double>(static_cast<std::int64_t>(k) - (std::int64_t{n} - 1));
    return cr_cos(phase_angle(d, n));
}

SharedTable<std::int16_t> bundle_phasor_table(std::uint32_t n) {
    return bundle_cache.get(n, [n] {
        const SharedTable<double> phasors = phasor_table(n);
        std::vector<std::int16_t> t(2 * std::size_t{n});
        for (std::size_t k = 0; k < t.size(); ++k) t[k] = fixed_point((*phasors)[k]);
        return t;
    });
}

SharedTable<std::int16_t> cached_bundle_phasor_table(std::uint32_t n) { return bundle_cache.find(n); }

std::shared_ptr<PhasorMemo> bundle_phasor_memo(std::uint32_t n) {
    return bundle_memo_cache.get(n, [n] {
        PhasorMemo memo(n);
        for (std::atomic<std::uint32_t>& entry : memo) entry.store(kUnfilledPair, std::memory_order_relaxed);
        return memo;
    });
}

std::array<std::int16_t, 2> bundle_phasor(std::uint32_t n, std::uint32_t k) {
    const SinCos phasor = cr_sincos(phase_angle(static_cast<double>(k), n));
    return {fixed_point(phasor.cos), fixed_point(phasor.sin)};
}

std::array<std::int16_t, 2> memo_bundle_phasor(PhasorMemo& memo, std::uint32_t n, std::uint32_t k) {
    std::uint32_t pair = memo[k].load(std::memory_order_relaxed);
    if (pair == kUnfilledPair) {
        const std::array<std::int16_t, 2> computed = bundle_phasor(n, k);
        pair = pack(computed[0], computed[1]);
        memo[k].store(pair, std::memory_order_relaxed);
    }
    return {static_cast<std::int16_t>(pair & 0xFFFF), static_cast<std::int16_t>(pair >> 16)};
}

void clear_table_cache() {
    phasor_cache.clear();
    difference_cache.clear();
    bundle_cache.clear();
    bundle_memo_cache.clear();
}

}  // namespace velmora
