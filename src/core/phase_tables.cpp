#include "core/phase_tables.hpp"

#include <array>
#include <cmath>
#include <limits>

#include "core/phase_hvec.hpp"

namespace velmora {
namespace {

// A least-recently-used set of tables keyed by resolution.
template <class T>
class TableCache {
public:
    template <class Build>
    SharedTable<T> get(std::uint32_t n, Build&& build) {
        ++clock_;
        for (Slot& s : slots_)
            if (s.table && s.n == n) {
                s.used = clock_;
                return s.table;
            }
        SharedTable<T> table = std::make_shared<const std::vector<T>>(build());
        Slot* victim = &slots_[0];
        for (Slot& s : slots_)
            if (!s.table || s.used < victim->used) victim = &s;
        *victim = Slot{n, table, clock_};
        return table;
    }

    bool contains(std::uint32_t n) const {
        for (const Slot& s : slots_)
            if (s.table && s.n == n) return true;
        return false;
    }

    void clear() { slots_ = {}; }

private:
    struct Slot {
        std::uint32_t n = 0;
        SharedTable<T> table;
        std::uint64_t used = 0;
    };
    std::array<Slot, kTableCacheSlots> slots_{};
    std::uint64_t clock_ = 0;
};

TableCache<double> phasor_cache;
TableCache<double> difference_cache;
TableCache<std::int32_t> bundle_cache;

// The same rounding as the plain bundle table: half away from zero; entries
// lie in [-16384, 16384], far from any saturation limit.
std::int32_t fixed_point(double value) { return static_cast<std::int32_t>(std::round(value * 16384.0)); }

}  // namespace

SharedTable<double> phasor_table(std::uint32_t n) {
    return phasor_cache.get(n, [n] {
        std::vector<double> t(2 * std::size_t{n});
        const double big_n = static_cast<double>(n);
        for (std::uint32_t k = 0; k < n; ++k) {
            const double theta = (static_cast<double>(k) * kFullTurn) / big_n;
            t[2 * k] = std::cos(theta);
            t[2 * k + 1] = std::sin(theta);
        }
        return t;
    });
}

SharedTable<double> difference_cosine_table(std::uint32_t n) {
    return difference_cache.get(n, [n] {
        const SharedTable<double> phasors = phasor_table(n);
        std::vector<double> t(2 * std::size_t{n} - 1);
        const double big_n = static_cast<double>(n);
        const std::int64_t centre = std::int64_t{n} - 1;
        for (std::int64_t d = -centre; d < 0; ++d)
            t[d + centre] = std::cos((static_cast<double>(d) * kFullTurn) / big_n);
        for (std::uint32_t d = 0; d < n; ++d) t[d + centre] = (*phasors)[2 * d];
        return t;
    });
}

SharedTable<std::int32_t> bundle_phasor_table(std::uint32_t n) {
    return bundle_cache.get(n, [n] {
        const SharedTable<double> phasors = phasor_table(n);
        std::vector<std::int32_t> t(2 * std::size_t{n});
        for (std::size_t k = 0; k < t.size(); ++k) t[k] = fixed_point((*phasors)[k]);
        return t;
    });
}

bool difference_cosine_table_cached(std::uint32_t n) { return difference_cache.contains(n); }

void clear_table_cache() {
    phasor_cache.clear();
    difference_cache.clear();
    bundle_cache.clear();
}

}  // namespace velmora
