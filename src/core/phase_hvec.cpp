#include "core/phase_hvec.hpp"

#include <cmath>
#include <limits>
#include <new>
#include <string>

namespace velmora {

std::string index_out_of_bounds(std::uint64_t len, std::uint64_t index) {
    return "index out of bounds: the len is " + std::to_string(len) + " but the index is " +
           std::to_string(index);
}

namespace {

// Converts std::bad_alloc (and std::length_error from a container asked for
// more than it can hold) into an error value, so nothing throws out of the core.
template <class F>
auto catching_allocation(F&& body) -> decltype(body()) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return Error::out_of_memory();
    } catch (const std::length_error&) {
        return Error::out_of_memory();
    }
}

std::int64_t saturate_to_i64(double r) {
    if (std::isnan(r)) return 0;
    if (r >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
    if (r < -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(r);
}

std::int64_t table_entry(double value) { return saturate_to_i64(std::round(value * 16384.0)); }

Error assertion_failed(const char* what, std::uint64_t left, std::uint64_t right) {
    return Error::internal(std::string("assertion `left == right` failed: ") + what +
                           "\n  left: " + std::to_string(left) +
                           "\n right: " + std::to_string(right));
}

}  // namespace

Status check_shape(const PhaseHVec& v) {
    if (v.n < kMinResolution || v.n > kMaxResolution)
        return Error::internal("phase vector resolution " + std::to_string(v.n) +
                               " outside 2..=65536");
    if (v.phases.size() != v.dim)
        return Error::internal(index_out_of_bounds(v.phases.size(), v.dim));
    return Ok{};
}

Status check_consistent(const PhaseHVec& v) {
    if (auto s = check_shape(v); !s) return s;
    for (std::uint16_t p : v.phases)
        if (p >= v.n) return Error::internal(index_out_of_bounds(v.n, p));
    return Ok{};
}

Status check_compatible(const PhaseHVec& a, const PhaseHVec& b) {
    if (a.dim != b.dim || a.n != b.n) return Error::domain(kIncompatibleMessage);
    // Phases too, not only the shape: a phase >= n is as broken as a wrong dim
    // and would otherwise give a result computed from an impossible value.
    if (auto s = check_consistent(a); !s) return s;
    return check_consistent(b);
}

Result<PhaseHVec> bind(const PhaseHVec& a, const PhaseHVec& b) {
    if (auto s = check_compatible(a, b); !s) return std::move(s).error();
    return catching_allocation([&]() -> Result<PhaseHVec> {
        PhaseHVec r{PhaseArray(a.dim), a.dim, a.n};
        const std::uint32_t n = a.n;
        for (std::size_t i = 0; i < a.dim; ++i) {
            const std::uint32_t sum = std::uint32_t{a.phases[i]} + b.phases[i];
            r.phases[i] = static_cast<std::uint16_t>(sum % n);
        }
        return r;
    });
}

Result<PhaseHVec> unbind(const PhaseHVec& a, const PhaseHVec& b) {
    if (auto s = check_compatible(a, b); !s) return std::move(s).error();
    return catching_allocation([&]() -> Result<PhaseHVec> {
        PhaseHVec r{PhaseArray(a.dim), a.dim, a.n};
        const std::uint32_t n = a.n;
        for (std::size_t i = 0; i < a.dim; ++i) {
            const std::uint32_t diff = n - b.phases[i] + a.phases[i];
            r.phases[i] = static_cast<std::uint16_t>(diff % n);
        }
        return r;
    });
}

Result<double> similarity(const PhaseHVec& a, const PhaseHVec& b) {
    if (auto s = check_compatible(a, b); !s) return std::move(s).error();
    if (a.dim == 0) return 1.0;
    const double big_n = static_cast<double>(a.n);
    double sum = 0.0;
    for (std::size_t i = 0; i < a.dim; ++i) {
        const double theta =
            (static_cast<double>(a.phases[i]) - static_cast<double>(b.phases[i])) * kFullTurn / big_n;
        sum += std::cos(theta);
    }
    return sum / static_cast<double>(a.dim);
}

Status check_resolution(std::uint32_t n) {
    // The wrap of n - 2 for n < 2 is intended: one comparison covers both ends.
    if (static_cast<std::uint32_t>(n - 2) >= 65535u) return Error::domain(kResolutionMessage);
    return Ok{};
}

Result<PhaseHVec> generate(std::uint64_t dim, std::uint32_t n, std::uint64_t seed) {
    if (dim > kMaxDim) return Error::internal("capacity overflow");
    if (n < kMinResolution || n > kMaxResolution)
        return Error::internal("phase vector resolution " + std::to_string(n) + " outside 2..=65536");
    return catching_allocation([&]() -> Result<PhaseHVec> {
        PhaseHVec r{PhaseArray(dim), dim, n};
        const std::uint64_t base = seed * 0xC2B2AE3D27D4EB4Full;
        std::uint64_t counter = 0;
        for (std::size_t i = 0; i < dim; ++i) {
            std::uint64_t x = base ^ counter;
            x ^= x >> 29;
            x *= 0xBF58476D1CE4E5B9ull;
            x ^= x >> 32;
            r.phases[i] = static_cast<std::uint16_t>(x % n);
            counter += 0x9E3779B97F4A7C15ull;
        }
        return r;
    });
}

Result<PhasorTable> bundle_tables(std::uint32_t n) {
    return catching_allocation([&]() -> Result<PhasorTable> {
        PhasorTable t{std::vector<std::int64_t>(n), std::vector<std::int64_t>(n)};
        const double big_n = static_cast<double>(n);
        for (std::uint32_t k = 0; k < n; ++k) t.cosine[k] = table_entry(std::cos((k * kFullTurn) / big_n));
        for (std::uint32_t k = 0; k < n; ++k) t.sine[k] = table_entry(std::sin((k * kFullTurn) / big_n));
        return t;
    });
}

std::uint32_t angle_to_level(double a, std::uint32_t n) {
    const double t = (a / kFullTurn) * static_cast<double>(n);
    const std::int64_t k = saturate_to_i64(std::round(t));
    std::int64_t q = k % static_cast<std::int64_t>(n);
    if (q < 0) q += n;
    return static_cast<std::uint32_t>(q);
}

Result<PhaseHVec> bundle(std::span<const PhaseHVec> items) {
    if (items.empty()) return Error::domain(kEmptyBundleMessage);
    const std::uint64_t dim = items[0].dim;
    const std::uint32_t n = items[0].n;
    // Before anything is sized by dim: a dim that disagrees with the first
    // item's array is an internal error, not a huge allocation.
    if (auto s = check_shape(items[0]); !s) return std::move(s).error();
    return catching_allocation([&]() -> Result<PhaseHVec> {
        auto tables = bundle_tables(n);
        if (!tables) return std::move(tables).error();
        const std::int64_t* cos_t = tables.value().cosine.data();
        const std::int64_t* sin_t = tables.value().sine.data();

        std::vector<std::int64_t> cos_sum(dim), sin_sum(dim);
        for (const PhaseHVec& item : items) {
            if (item.dim != dim)
                return assertion_failed("phase-vector dimension mismatch in bundle", item.dim, dim);
            if (item.n != n)
                return assertion_failed("phase-vector resolution mismatch in bundle", item.n, n);
            if (item.phases.size() != dim)
                return Error::internal(index_out_of_bounds(item.phases.size(), dim));
            for (std::size_t i = 0; i < dim; ++i) {
                const std::uint16_t p = item.phases[i];
                if (p >= n) return Error::internal(index_out_of_bounds(n, p));
                cos_sum[i] += cos_t[p];
                sin_sum[i] += sin_t[p];
            }
        }

        PhaseHVec r{PhaseArray(dim), dim, n};
        for (std::size_t i = 0; i < dim; ++i) {
            const double a = std::atan2(static_cast<double>(sin_sum[i]), static_cast<double>(cos_sum[i]));
            r.phases[i] = static_cast<std::uint16_t>(angle_to_level(a, n));
        }
        return r;
    });
}

}  // namespace velmora
