#include "core/resonator_layout.hpp"

#include <algorithm>

#include "core/math/lattice.hpp"
#include "core/simd/kernel_table.hpp"

namespace velmora {
namespace {

// Largest product table (doubles): 32 KiB, first-level cache sized.
constexpr std::uint64_t kMaxProducts = 4096;

std::vector<double> lattice_products(const double* table, std::uint32_t m, const double* lattice, std::uint32_t n) {
    std::vector<double> out(std::size_t{m} * n);
    for (std::uint32_t q = 0; q < n; ++q)
        for (std::uint32_t p = 0; p < m; ++p)
            out[std::size_t{q} * m + p] = (table[2 * p] * lattice[2 * q]) + (table[2 * p + 1] * lattice[2 * q + 1]);
    return out;
}

// Full blocks of kResonatorLanes entries at one resolution with a table
// become interleaved blocks; the rest stay loose, in groups of up to that
// many.
void group_entries(BookLayout& book, const Codebook& source, const ResonatorTables& tables, std::size_t z) {
    constexpr std::size_t L = kResonatorLanes;
    auto blockable = [&](std::size_t first) {
        if (first + L > source.size() || tables.table(source[first].n) == nullptr) return false;
        for (std::size_t l = 1; l < L; ++l)
            if (source[first + l].n != source[first].n) return false;
        return true;
    };
    std::size_t blocks = 0;
    for (std::size_t first = 0; first + L <= source.size(); first += L) blocks += blockable(first);
    book.interleaved.resize(blocks * L * z);
    std::uint16_t* out = book.interleaved.data();
    const std::vector<EntryPhasors>& e = book.entries;
    for (std::size_t first = 0; first < e.size();) {
        if (blockable(first)) {
            for (std::size_t j = 0; j < z; ++j)
                for (std::size_t l = 0; l < L; ++l) out[j * L + l] = e[first + l].index[j];
            const EntryBlock block{out, e[first].table, e[first].levels};
            book.groups.push_back(BlockedEntries{first, block, tables.products(source[first].n)});
            out += L * z;
            first += L;
        } else {
            const std::size_t count = std::min(L, e.size() - first);
            book.groups.push_back(LooseEntries{first, count});
            first += count;
        }
    }
}

}  // namespace

void LatticePhasors::phasors(const std::uint16_t* k, std::size_t len, double* out) const {
    if (const double* t = table()) {
        for (std::size_t j = 0; j < len; ++j) {
            out[2 * j] = t[2 * std::size_t{k[j]}];
            out[2 * j + 1] = t[2 * std::size_t{k[j]} + 1];
        }
        return;
    }
    for (std::size_t j = 0; j < len; ++j) {
        const SinCos phasor = cr_sincos(phase_angle(k[j], n_));
        out[2 * j] = phasor.cos;
        out[2 * j + 1] = phasor.sin;
    }
}

TablePlan plan_tables(std::uint64_t z, std::uint32_t n, const std::vector<Codebook>& codebooks) {
    TablePlan plan;
    // n levels serve the composite and one estimate per codebook.
    plan.lattice = n <= (codebooks.size() + 1) * z;
    for (const Codebook& book : codebooks)
        for (const PhaseHVec& e : book) plan.entries[e.n].components += z;
    for (auto& [m, r] : plan.entries) {
        // 16 bytes per level against 16 per component.
        r.table = m <= r.components;
        // The products cost 8 m n bytes: kept within the two doubles per
        // component that these entries are allowed, and in cache.
        const std::uint64_t cells = std::uint64_t{m} * n;
        r.products = plan.lattice && r.table && cells <= kMaxProducts && cells <= 2 * r.components;
    }
    return plan;
}

ResonatorTables::ResonatorTables(const TablePlan& plan, std::uint32_t n)
    : lattice_(n, plan.lattice ? phasor_table(n) : nullptr) {
    for (const auto& [m, r] : plan.entries) {
        if (!r.table) continue;
        const SharedTable<double>& table = tables_.emplace(m, phasor_table(m)).first->second;
        if (r.products) products_.emplace(m, lattice_products(table->data(), m, lattice_.table(), n));
    }
}

const double* ResonatorTables::table(std::uint32_t m) const {
    const auto it = tables_.find(m);
    return it == tables_.end() ? nullptr : it->second->data();
}

const double* ResonatorTables::products(std::uint32_t m) const {
    const auto it = products_.find(m);
    return it == products_.end() ? nullptr : it->second.data();
}

ResonatorLayout::ResonatorLayout(const std::vector<Codebook>& codebooks, std::uint64_t z, std::uint32_t n)
    : z_(z), tables_(plan_tables(z, n, codebooks), n) {
    std::size_t private_entries = 0;
    for (const Codebook& book : codebooks)
        for (const PhaseHVec& e : book) private_entries += tables_.table(e.n) == nullptr;
    if (private_entries > 0) {
        // Only planned when z < m <= 65536, so every index fits 16 bits.
        identity_.resize(z_);
        for (std::size_t j = 0; j < z_; ++j) identity_[j] = static_cast<std::uint16_t>(j);
        private_.reserve(private_entries);
    }
    books_.reserve(codebooks.size());
    for (const Codebook& source : codebooks) {
        BookLayout& book = books_.emplace_back();
        book.entries.reserve(source.size());
        for (const PhaseHVec& e : source) book.entries.push_back(entry_phasors(e));
        group_entries(book, source, tables_, z_);
    }
}

EntryPhasors ResonatorLayout::entry_phasors(const PhaseHVec& e) {
    if (const double* table = tables_.table(e.n)) return {e.phases.data(), table, e.n};
    std::vector<double>& own = private_.emplace_back(2 * z_);
    LatticePhasors(e.n, nullptr).phasors(e.phases.data(), z_, own.data());
    return {identity_.data(), own.data(), z_};
}

}  // namespace velmora
