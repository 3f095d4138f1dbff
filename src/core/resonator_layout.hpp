// The resonator's tables and its codebooks as the kernels read them.
//
// The resonator needs the unit phasor of every phase it touches. Instead of
// two doubles per component, an entry is read in place as its phases plus
// the phasor table of its resolution (phase_tables.hpp), and the best
// matches can read a precomputed product of two tables. Which of these
// tables a call builds, and how large they may be, is decided in
// plan_tables() and nowhere else; the rest of this header only follows the
// plan. Every table holds the bits of the plain expression, so the plan
// changes speed and memory, never results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <variant>
#include <vector>

#include "core/phase_hvec.hpp"
#include "core/phase_tables.hpp"
#include "core/simd/resonator.hpp"

namespace velmora {

// The phasors (cos, sin of phase_angle(k, n)) of the points of an n-level
// lattice: read from the lattice's table when one was built, else computed
// one by one; the same bits either way.
class LatticePhasors {
public:
    LatticePhasors(std::uint32_t n, SharedTable<double> table) : n_(n), table_(std::move(table)) {}

    std::uint32_t levels() const { return n_; }
    const double* table() const { return table_ ? table_->data() : nullptr; }
    // out[2j], out[2j + 1] = the phasor of level k[j], for j < len.
    void phasors(const std::uint16_t* k, std::size_t len, double* out) const;

private:
    std::uint32_t n_;
    SharedTable<double> table_;
};

// Which tables one call builds. A table is built only where it costs no
// more memory than the two doubles per component it replaces.
struct TablePlan {
    // The phasor table of the composite's resolution: the composite and
    // every estimate take their phasors from it.
    bool lattice = false;
    struct Resolution {
        std::uint64_t components = 0;  // summed over the entries at this resolution
        bool table = false;            // shared phasor table, else private phasors per entry
        bool products = false;         // products of that table with the lattice's (needs both)
    };
    std::map<std::uint32_t, Resolution> entries;  // by the entries' resolutions
};

TablePlan plan_tables(std::uint64_t z, std::uint32_t n, const std::vector<Codebook>& codebooks);

// The tables of a plan, held for the duration of a call.
class ResonatorTables {
public:
    ResonatorTables(const TablePlan& plan, std::uint32_t n);

    const LatticePhasors& lattice() const { return lattice_; }
    // The phasor table of entry resolution m, or nullptr when it has none.
    const double* table(std::uint32_t m) const;
    // [q * m + p] = (re_m(p) * re_n(q)) + (im_m(p) * im_n(q)): the dot term of
    // an entry phase p (resolution m) against the lattice point q, formed
    // exactly as the plain loop forms it. nullptr when not planned.
    const double* products(std::uint32_t m) const;

private:
    LatticePhasors lattice_;
    std::map<std::uint32_t, SharedTable<double>> tables_;
    std::map<std::uint32_t, std::vector<double>> products_;
};

// kResonatorLanes consecutive entries sharing one table, their phases
// interleaved for the block kernels.
struct BlockedEntries {
    std::size_t first;  // position of the first entry in its codebook
    EntryBlock block;
    const double* products;  // its table's products with the lattice, or nullptr
};
// Up to kResonatorLanes consecutive entries read one by one.
struct LooseEntries {
    std::size_t first, count;
};
using EntryGroup = std::variant<BlockedEntries, LooseEntries>;

inline std::size_t first_entry(const EntryGroup& g) {
    return std::visit([](const auto& entries) { return entries.first; }, g);
}
inline std::size_t entry_count(const EntryGroup& g) {
    const auto* loose = std::get_if<LooseEntries>(&g);
    return loose != nullptr ? loose->count : kResonatorLanes;
}

// One codebook laid out for the kernels: every entry as phases into a
// table, and the entries in groups that cover them in entry order.
struct BookLayout {
    std::vector<EntryPhasors> entries;
    std::vector<EntryGroup> groups;
    PhaseArray interleaved;  // a second copy of the blocks' phases, 2 bytes per component
};

// The tables of one call and the codebooks laid out over them. Entries at a
// resolution with a table are read in place (the codebooks must outlive
// the layout); the others get private phasors here, read through the
// identity index.
class ResonatorLayout {
public:
    ResonatorLayout(const std::vector<Codebook>& codebooks, std::uint64_t z, std::uint32_t n);

    const ResonatorTables& tables() const { return tables_; }
    const std::vector<BookLayout>& books() const { return books_; }

private:
    EntryPhasors entry_phasors(const PhaseHVec& e);

    std::uint64_t z_;
    ResonatorTables tables_;
    std::vector<std::uint16_t> identity_;        // 0, 1, ..., z - 1
    std::vector<std::vector<double>> private_;  // phasors of the entries without a table
    std::vector<BookLayout> books_;
};

}  // namespace velmora
