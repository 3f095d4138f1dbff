#include "core/phase_tables.hpp"

#include <array>
#include <cmath>
#include <limits>

#include "core/correctly_rounded.hpp"
#include "core/lattice.hpp"

namespace velmora {
namespace {

// A least-recently-used set of tables keyed by resolution.
template <class T>
class TableCache {
public:
    template <class Build>
    std::shared_ptr<std::vector<T>> get(std::uint32_t n, Build&& build) {
        ++clock_;
        for (Slot& s : slots_)
            if (s.table && s.n == n) {
                s.used = clock_;
                return s.table;
            }
        auto table = std::make_shared<std::vector<T>>(build());
        Slot* victim = &slots_[0];
        for (Slot& s : slots_)
            if (!s.table || s.used < victim->used) victim = &s;
        *victim = Slot{n, table, clock_};
        return table;
    }

    // The table of n if it is held, without building one (nullptr otherwise).
    std::shared_ptr<std::vector<T>> find(std::uint32_t n) {
        for (Slot& s : slots_)
            if (s.table && s.n == n) {
                s.used = ++clock_;
                return s.table;
            }
        return nullptr;
    }

    void clear() { slots_ = {}; }

private:
    struct Slot {
        std::uint32_t n = 0;
        std::shared_ptr<std::vector<T>> table;
        std::uint64_t used = 0;
    };
    std::array<Slot, kTableCacheSlots> slots_{};

    std::uint64_t clock_ = 0;
};

TableCache<double> phasor_cache;
TableCache<double> difference_cache;
TableCache<std::int16_t> bundle_cache;
TableCache<std::int16_t> bundle_memo_cache;

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

std::shared_ptr<std::vector<double>> difference_cosine_memo(std::uint32_t n) {
    return difference_cache.get(n, [n] {
        return std::vector<double>(2 * std::size_t{n} - 1, std::numeric_limits<double>::quiet_NaN());
    });
}

double difference_cosine(std::uint32_t n, std::uint32_t k) {
    const double d = static_cast<double>(static_cast<std::int64_t>(k) - (std::int64_t{n} - 1));
    return cr_cos(d * kFullTurn / static_cast<double>(n));
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

std::shared_ptr<std::vector<std::int16_t>> bundle_phasor_memo(std::uint32_t n) {
    return bundle_memo_cache.get(n, [n] { return std::vector<std::int16_t>(2 * std::size_t{n}, kUnfilledPhasor); });
}

std::array<std::int16_t, 2> bundle_phasor(std::uint32_t n, std::uint32_t k) {
    const double theta = (static_cast<double>(k) * kFullTurn) / static_cast<double>(n);
    const SinCos phasor = cr_sincos(theta);
    return {fixed_point(phasor.cos), fixed_point(phasor.sin)};
}

void clear_table_cache() {
    phasor_cache.clear();
    difference_cache.clear();
    bundle_cache.clear();
    bundle_memo_cache.clear();
}

}  // namespace velmora
