#include "core/phase_similarities.hpp"

#include <atomic>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "core/phase_tables.hpp"
#include "core/simd/kernel_table.hpp"

namespace velmora {
namespace {

Result<std::vector<double>> compute(const PhaseHVec& a, std::span<const PhaseHVec* const> items) {
    std::vector<double> result(items.size(), 1.0);
    if (a.dim == 0) return result;
    const std::uint32_t n = a.n;
    const std::size_t entries = 2 * std::size_t{n} - 1;
    // Fewer terms than table entries: filling the whole table would cost
    // more cosines than the sums need, and similarity's own memo fills only
    // the ones it meets.
    if (static_cast<double>(items.size()) * static_cast<double>(a.dim) < static_cast<double>(entries)) {
        for (std::size_t k = 0; k < items.size(); ++k) {
            Result<double> value = similarity(a, *items[k]);
            if (!value) return std::move(value).error();
            result[k] = value.value();
        }
        return result;
    }
    // The kernel reads plain doubles, and other threads may be filling the
    // shared memo while it runs: the call takes its own copy of the whole
    // table (no more entries than the sums have terms), filling the memo's
    // gaps on the way so that later calls find them.
    const std::shared_ptr<DifferenceMemo> memo = difference_cosine_memo(n);
    std::vector<double> table(entries);
    for (std::uint32_t k = 0; k < entries; ++k) {
        double cosine = (*memo)[k].load(std::memory_order_relaxed);
        if (cosine != cosine) {
            cosine = difference_cosine(n, k);
            (*memo)[k].store(cosine, std::memory_order_relaxed);
        }
        table[k] = cosine;
    }
    const double* centred = table.data();
    std::vector<const std::uint16_t*> rows(items.size());
    for (std::size_t k = 0; k < items.size(); ++k) rows[k] = items[k]->phases.data();
    const std::uint16_t largest = kernels().similarity.difference_sums(a.phases.data(), rows.data(), rows.size(),
                                                                       a.dim, centred, n, result.data());
    if (largest >= n) return index_out_of_bounds(n, largest);
    const double dim = static_cast<double>(a.dim);
    for (double& sum : result) sum = sum / dim;
    return result;
}

}  // namespace

Result<std::vector<double>> similarities(const PhaseHVec& a, std::span<const PhaseHVec* const> items) {
    for (const PhaseHVec* item : items)
        if (auto s = check_compatible(a, *item); !s) return std::move(s).error();
    try {
        return compute(a, items);
    } catch (const std::bad_alloc&) {
        return Error::out_of_memory();
    } catch (const std::length_error&) {
        return Error::out_of_memory();
    }
}

}  // namespace velmora
