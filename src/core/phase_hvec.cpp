#include "core/phase_hvec.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>
#include <numeric>
#include <string>
#include <vector>

#include "core/base/portable.hpp"
#include "core/lattice_levels.hpp"
#include "core/math/remainder.hpp"
#include "core/phase_tables.hpp"
#include "core/simd/kernel_table.hpp"

namespace velmora {
namespace {

// Converts std::bad_alloc (and std::length_error from a container asked for
// more than it can hold) into an error value, so nothing throws out of the core.
// `phases` is the length of the result the body allocates (0 when it makes
// no phase vector), so that the failure can say what did not fit.
template <class F>
auto catching_allocation(std::uint64_t phases, F&& body) -> decltype(body()) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return Error::out_of_memory(phases);
    } catch (const std::length_error&) {
        return Error::out_of_memory(phases);
    }
}

Error assertion_failed(const char* what, std::uint64_t left, std::uint64_t right,
                       std::source_location where = std::source_location::current()) noexcept {
    return Error::formatted(
        [&] {
            return std::string("assertion `left == right` failed: ") + what + "\n  left: " + std::to_string(left) +
                   "\n right: " + std::to_string(right);
        },
        where);
}

Error resolution_outside(std::uint32_t n, std::source_location where = std::source_location::current()) noexcept {
    return Error::formatted([n] { return "phase vector resolution " + std::to_string(n) + " outside 2..=65536"; },
                            where);
}

// A kernel reports the largest phase it read; one at or above n means the
// vector broke its invariant, and the result built from it is discarded.
Status check_largest_phase(std::uint32_t largest, std::uint32_t n) {
    if (largest >= n) return index_out_of_bounds(n, largest);
    return Ok{};
}

// Position of cos(x - y) in the centred difference memo; the clamp keeps a
// broken vector (a phase >= n) inside it.
inline std::uint32_t difference_index(std::uint16_t x, std::uint16_t y, std::uint32_t n) {
    return std::min<std::uint32_t>(std::uint32_t{x} + (n - 1) - y, 2 * n - 2);
}

struct DifferenceSum {
    double sum;
    std::size_t next;
    std::uint16_t largest;
};

// The similarity sum from `state.next` on, up to the end or the first
// unfilled memo entry. Kept out of line and free of calls so that the
// running sum stays in a register: its one dependent add per component is
// the whole cost. A memo too large for the first caches (n >= 4096, 64 KiB)
// is read a few dozen components ahead so that the chain is not left waiting.
template <bool Prefetch>
VELMORA_NOINLINE void sum_until_memo_miss(const std::uint16_t* pa, const std::uint16_t* pb, std::size_t dim,
                                          const std::atomic<double>* centred, std::uint32_t n, DifferenceSum& state) {
    constexpr std::size_t kAhead = 32;
    double sum = state.sum;
    std::uint16_t largest = state.largest;
    std::size_t i = state.next;
    for (; i < dim; ++i) {
        if (Prefetch && i + kAhead < dim)
            VELMORA_PREFETCH(centred + difference_index(pa[i + kAhead], pb[i + kAhead], n));
        const double c = centred[difference_index(pa[i], pb[i], n)].load(std::memory_order_relaxed);
        if (VELMORA_UNLIKELY(c != c)) break;
        largest = std::max(largest, std::max(pa[i], pb[i]));
        sum += c;
    }
    state = {sum, i, largest};
}

}  // namespace

Status check_shape(const PhaseHVec& v) {
    if (v.n < kMinResolution || v.n > kMaxResolution) return resolution_outside(v.n);
    if (v.phases.size() != v.dim) return index_out_of_bounds(v.phases.size(), v.dim);
    return Ok{};
}

Status check_consistent(const PhaseHVec& v) {
    if (auto s = check_shape(v); !s) return s;
    // A branch-free maximum vectorises; the first offender is looked up only on failure.
    std::uint16_t largest = 0;
    for (std::uint16_t p : v.phases) largest = std::max(largest, p);
    if (largest >= v.n)
        for (std::uint16_t p : v.phases)
            if (p >= v.n) return index_out_of_bounds(v.n, p);
    return Ok{};
}

Status check_compatible(const PhaseHVec& a, const PhaseHVec& b) {
    if (a.dim != b.dim || a.n != b.n) return Error::domain(kIncompatibleMessage);
    // Phases >= n are caught by the kernels themselves (each reports the
    // largest phase it read), so no separate pass over the operands is needed.
    if (auto s = check_shape(a); !s) return s;
    return check_shape(b);
}

Result<PhaseHVec> bind(const PhaseHVec& a, const PhaseHVec& b) {
    if (auto s = check_compatible(a, b); !s) return std::move(s).error();
    return catching_allocation(a.dim, [&]() -> Result<PhaseHVec> {
        PhaseHVec r{PhaseArray(a.dim), a.dim, a.n};
        const std::uint16_t largest =
            kernels().elementwise.bind(a.phases.data(), b.phases.data(), r.phases.data(), a.dim, a.n);
        if (auto s = check_largest_phase(largest, a.n); !s) return std::move(s).error();
        return r;
    });
}

Result<PhaseHVec> unbind(const PhaseHVec& a, const PhaseHVec& b) {
    if (auto s = check_compatible(a, b); !s) return std::move(s).error();
    return catching_allocation(a.dim, [&]() -> Result<PhaseHVec> {
        PhaseHVec r{PhaseArray(a.dim), a.dim, a.n};
        const std::uint16_t largest =
            kernels().elementwise.unbind(a.phases.data(), b.phases.data(), r.phases.data(), a.dim, a.n);
        if (auto s = check_largest_phase(largest, a.n); !s) return std::move(s).error();
        return r;
    });
}

Result<double> similarity(const PhaseHVec& a, const PhaseHVec& b) {
    if (auto s = check_compatible(a, b); !s) return std::move(s).error();
    if (a.dim == 0) return 1.0;
    const std::uint32_t n = a.n;
    const std::uint16_t* pa = a.phases.data();
    const std::uint16_t* pb = b.phases.data();
    // Every term comes from the memo of cos((double(d) * 2pi) / N), so the
    // sum sees the same terms in the same order as the plain loop; what
    // remains is the one chain of dependent adds. The clamp keeps a broken
    // vector inside the memo; the largest phase read then reports it.
    auto memo = catching_allocation(
        0, [&]() -> Result<std::shared_ptr<DifferenceMemo>> { return difference_cosine_memo(n); });
    if (!memo) return std::move(memo).error();
    std::atomic<double>* centred = memo.value()->data();
    DifferenceSum state{0.0, 0, 0};
    for (;;) {
        if (n >= 4096)
            sum_until_memo_miss<true>(pa, pb, a.dim, centred, n, state);
        else
            sum_until_memo_miss<false>(pa, pb, a.dim, centred, n, state);
        if (state.next == a.dim) break;
        const std::uint32_t k = difference_index(pa[state.next], pb[state.next], n);
        centred[k].store(difference_cosine(n, k), std::memory_order_relaxed);
    }
    const double sum = state.sum;
    const std::uint16_t largest = state.largest;
    if (auto s = check_largest_phase(largest, n); !s) return std::move(s).error();
    return sum / static_cast<double>(a.dim);
}

Status check_resolution(std::uint32_t n) {
    // The wrap of n - 2 for n < 2 is intended: one comparison covers both ends.
    if (static_cast<std::uint32_t>(n - 2) >= 65535u) return Error::domain(kResolutionMessage);
    return Ok{};
}

Result<PhaseHVec> generate(std::uint64_t dim, std::uint32_t n, std::uint64_t seed) {
    if (dim > kMaxDim) return Error::internal("capacity overflow");
    if (n < kMinResolution || n > kMaxResolution) return resolution_outside(n);
    return catching_allocation(dim, [&]() -> Result<PhaseHVec> {
        PhaseHVec r{PhaseArray(dim), dim, n};
        kernels().elementwise.generate(r.phases.data(), dim, seed * 0xC2B2AE3D27D4EB4Full, n);
        return r;
    });
}

namespace {

// The fold of bundle, unweighted when `weights` is empty; `weighted_count`
// is the number of items the weighted call stands for (the item count when
// unweighted), which only decides between the memo and the full table.
Result<PhaseHVec> bundle_folded(std::span<const PhaseHVec* const> items, std::span<const std::uint64_t> weights,
                                double weighted_count) {
    if (items.empty()) return Error::domain(kEmptyBundleMessage);
    const std::uint64_t dim = items[0]->dim;
    const std::uint32_t n = items[0]->n;
    if (n < kMinResolution || n > kMaxResolution) return resolution_outside(n);
    // Every item is checked before any is folded: a failure discards the
    // sums anyway, so the same failure wins, and no lookup can then leave
    // the table.
    for (const PhaseHVec* item : items) {
        if (item->dim != dim)
            return assertion_failed("phase-vector dimension mismatch in bundle", item->dim, dim);
        if (item->n != n) return assertion_failed("phase-vector resolution mismatch in bundle", item->n, n);
        if (item->phases.size() != dim) return index_out_of_bounds(item->phases.size(), dim);
        std::uint16_t largest = 0;
        for (std::uint16_t p : item->phases) largest = std::max(largest, p);
        if (largest >= n) {
            for (std::uint16_t p : item->phases)
                if (p >= n) return index_out_of_bounds(n, p);
        }
    }
    return catching_allocation(dim, [&]() -> Result<PhaseHVec> {
        PhaseHVec r{PhaseArray(dim), dim, n};
        // A few phasors at a large resolution whose table is not at hand:
        // computing each one (once, into the memo) costs less than building
        // the whole table, and gives the same bits.
        SharedTable<std::int16_t> table = cached_bundle_phasor_table(n);
        const bool few = !table && weighted_count * static_cast<double>(dim) * 4.0 < n;
        if (!table && !few) table = bundle_phasor_table(n);
        const std::shared_ptr<PhasorMemo> memo = few ? bundle_phasor_memo(n) : nullptr;
        const BundleKernels& bundle_kernels = kernels().bundle;
        std::vector<const std::uint16_t*> rows(items.size());
        std::int64_t cos_sum[kFoldBlock], sin_sum[kFoldBlock];
        double xy[2 * kFoldBlock];
        for (std::size_t start = 0; start < dim; start += kFoldBlock) {
            const std::size_t len = std::min<std::size_t>(kFoldBlock, dim - start);
            std::fill_n(cos_sum, len, 0);
            std::fill_n(sin_sum, len, 0);
            if (few) {
                for (std::size_t k = 0; k < items.size(); ++k) {
                    const std::int64_t w = weights.empty() ? 1 : static_cast<std::int64_t>(weights[k]);
                    for (std::size_t i = 0; i < len; ++i) {
                        const std::array<std::int16_t, 2> entry =
                            memo_bundle_phasor(*memo, n, items[k]->phases[start + i]);
                        cos_sum[i] += w * entry[0];
                        sin_sum[i] += w * entry[1];
                    }
                }
            } else {
                for (std::size_t k = 0; k < items.size(); ++k) rows[k] = items[k]->phases.data() + start;
                if (weights.empty())
                    bundle_kernels.fold(rows.data(), rows.size(), len, table->data(), n, cos_sum, sin_sum);
                else
                    bundle_kernels.weighted_fold(rows.data(), weights.data(), rows.size(), len, table->data(), n,
                                                 cos_sum, sin_sum);
            }
            for (std::size_t i = 0; i < len; ++i) {
                xy[2 * i] = static_cast<double>(cos_sum[i]);
                xy[2 * i + 1] = static_cast<double>(sin_sum[i]);
            }
            lattice_levels(xy, len, n, r.phases.data() + start);
        }
        return r;
    });
}

}  // namespace

Result<PhaseHVec> bundle(std::span<const PhaseHVec* const> items) {
    return bundle_folded(items, {}, static_cast<double>(items.size()));
}

Result<PhaseHVec> bundle(std::span<const PhaseHVec* const> items, std::span<const std::uint64_t> weights) {
    if (weights.size() != items.size()) return Error::domain(kWeightsLengthMessage);
    return catching_allocation(0, [&]() -> Result<PhaseHVec> {
        // Zero weights drop their items before anything is checked, as the
        // repeated list would not hold them at all.
        std::vector<const PhaseHVec*> kept;
        std::vector<std::uint64_t> kept_weights;
        std::uint64_t total = 0;
        for (std::size_t k = 0; k < items.size(); ++k) {
            if (weights[k] == 0) continue;
            if (weights[k] > kMaxBundleWeight - total) return Error::domain(kWeightsOverflowMessage);
            total += weights[k];
            kept.push_back(items[k]);
            kept_weights.push_back(weights[k]);
        }
        return bundle_folded(kept, kept_weights, static_cast<double>(total));
    });
}

namespace {

// A power maps each phase on its own, so it can map the n phases 0..n-1 with
// the same arithmetic (hence to the same results) and then look every
// component up in that table. `map(from, to, count)` maps count phases and
// returns the largest it read; the result is the largest phase of v.
template <class Map>
std::uint16_t map_phases(const PhaseHVec& v, std::uint16_t* out, bool through_table, Map map) {
    if (!through_table) return map(v.phases.data(), out, static_cast<std::size_t>(v.dim));
    std::vector<std::uint16_t> levels(v.n), table(std::max<std::size_t>(v.n, kLookupPad), 0);
    std::iota(levels.begin(), levels.end(), std::uint16_t{0});
    map(levels.data(), table.data(), v.n);
    return kernels().elementwise.lookup(v.phases.data(), out, v.dim, table.data(), v.n);
}

}  // namespace

Result<PhaseHVec> power_int(const PhaseHVec& v, std::uint32_t e) {
    if (auto s = check_shape(v); !s) return std::move(s).error();
    if (e >= v.n) return index_out_of_bounds(v.n, e);
    return catching_allocation(v.dim, [&]() -> Result<PhaseHVec> {
        PhaseHVec r{PhaseArray(v.dim), v.dim, v.n};
        // At a power of two n the product's low bits are as cheap as a
        // lookup. Otherwise the map of the n phases costs less than the
        // exact remainder once dim is at least twice n: up to 256 entries
        // AVX-512 holds it in registers, and a larger one, looked up an
        // entry at a time, still beats the remainder on every target.
        const bool through_table = (v.n & (v.n - 1)) != 0 && v.dim >= 2 * std::uint64_t{v.n};
        const std::uint16_t largest =
            map_phases(v, r.phases.data(), through_table, [&](const std::uint16_t* a, std::uint16_t* to,
                                                              std::size_t count) {
                return kernels().elementwise.power_int(a, to, count, e, v.n);
            });
        if (auto s = check_largest_phase(largest, v.n); !s) return std::move(s).error();
        return r;
    });
}

Result<PhaseHVec> power_real(const PhaseHVec& v, double x) {
    if (auto s = check_shape(v); !s) return std::move(s).error();
    if (!std::isfinite(x)) return Error::internal("power_real needs a finite exponent");
    return catching_allocation(v.dim, [&]() -> Result<PhaseHVec> {
        PhaseHVec r{PhaseArray(v.dim), v.dim, v.n};
        // Rounding a product costs several times a lookup, so the table pays
        // for itself once dim is at least twice n; except at the powers of two
        // n where the variant's own rounding is the cheaper of the two.
        const ElementwiseKernels& kernel = kernels().elementwise;
        const bool fast = std::fabs(x) * v.n <= kFastRealLimit;
        const bool direct = fast && (v.n & (v.n - 1)) == 0 && kernel.power_real_direct_from != 0 &&
                            v.n >= kernel.power_real_direct_from;
        const bool through_table = !direct && v.dim >= 2 * std::uint64_t{v.n};
        const std::uint16_t largest =
            map_phases(v, r.phases.data(), through_table, [&](const std::uint16_t* a, std::uint16_t* to,
                                                              std::size_t count) -> std::uint16_t {
                if (fast) return kernel.power_real(a, to, count, x, v.n);
                // Products that may pass 2^52 (or saturate) are rare; each
                // goes through the general rounding.
                std::uint16_t seen = 0;
                for (std::size_t i = 0; i < count; ++i) {
                    seen = std::max(seen, a[i]);
                    to[i] = static_cast<std::uint16_t>(real_power_phase(a[i], x, v.n));
                }
                return seen;
            });
        if (auto s = check_largest_phase(largest, v.n); !s) return std::move(s).error();
        return r;
    });
}

Result<PhaseHVec> permute(const PhaseHVec& v, std::uint64_t shift) {
    if (auto s = check_shape(v); !s) return std::move(s).error();
    if (v.dim != 0 && shift >= v.dim) return index_out_of_bounds(v.dim, shift);
    return catching_allocation(v.dim, [&]() -> Result<PhaseHVec> {
        PhaseHVec r{PhaseArray(v.dim), v.dim, v.n};
        if (v.dim == 0) return r;
        // Two block copies: the tail of v moves to the front, the rest after it.
        const std::uint16_t* src = v.phases.data();
        std::uint16_t* dst = r.phases.data();
        const std::size_t moved = static_cast<std::size_t>(shift);
        const std::size_t rest = static_cast<std::size_t>(v.dim) - moved;
        std::memcpy(dst, src + rest, moved * sizeof(std::uint16_t));
        std::memcpy(dst + moved, src, rest * sizeof(std::uint16_t));
        return r;
    });
}

Result<PhaseHVec> bundle(std::span<const PhaseHVec> items) {
    return catching_allocation(0, [&]() -> Result<PhaseHVec> {
        std::vector<const PhaseHVec*> pointers;
        pointers.reserve(items.size());
        for (const PhaseHVec& item : items) pointers.push_back(&item);
        return bundle(std::span<const PhaseHVec* const>(pointers));
    });
}

}  // namespace velmora
