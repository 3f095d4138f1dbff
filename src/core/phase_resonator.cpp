#include "core/phase_resonator.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <new>
#include <optional>
#include <stdexcept>

#include "core/correctly_rounded.hpp"
#include "core/kernel_table.hpp"
#include "core/kernels_resonator.hpp"
#include "core/lattice_levels.hpp"
#include "core/phase_tables.hpp"

namespace velmora {
namespace {

// Entries must have exactly z phases. Reports the error that the first
// failing array access would give: a short entry is read past its end while
// the initial estimates are formed (all codebooks, before any sweep); a long
// entry reads past the z-component estimate the first time it is scored.
Status check_entries(const PhaseHVec& composite, const std::vector<Codebook>& codebooks) {
    if (auto s = check_consistent(composite); !s) return s;
    for (const Codebook& book : codebooks)
        for (const PhaseHVec& e : book)
            if (auto s = check_consistent(e); !s) return s;
    const std::uint64_t z = composite.dim;
    for (const Codebook& book : codebooks)
        for (const PhaseHVec& e : book)
            if (e.dim < z) return index_out_of_bounds(e.dim, e.dim);
    for (const Codebook& book : codebooks)
        for (const PhaseHVec& e : book)
            if (e.dim > z) return index_out_of_bounds(z, z);
    return Ok{};
}

// (re, im) pairs of a phase vector at its own resolution: from `table` (the
// phasor table of that resolution) when there is one, else computed.
std::vector<double> phasors_of(const PhaseHVec& v, const double* table) {
    std::vector<double> out(2 * v.dim);
    if (table != nullptr) {
        for (std::size_t j = 0; j < v.dim; ++j) {
            out[2 * j] = table[2 * std::size_t{v.phases[j]}];
            out[2 * j + 1] = table[2 * std::size_t{v.phases[j]} + 1];
        }
        return out;
    }
    const double m = static_cast<double>(v.n);
    for (std::size_t j = 0; j < v.dim; ++j) {
        const SinCos phasor = cr_sincos((static_cast<double>(v.phases[j]) * kFullTurn) / m);
        out[2 * j] = phasor.cos;
        out[2 * j + 1] = phasor.sin;
    }
    return out;
}

// How the codebooks are laid out for the kernels.
//
// Memory: entries are read in place as phases plus a table per resolution,
// so the codebooks cost no doubles at all where a resolution's table (16
// bytes per level) is no larger than the two doubles per component its
// entries would otherwise take; an entry at a rarer resolution gets a
// private table of exactly those two doubles per component. Full blocks of
// entries keep a second, interleaved copy of their phases (2 bytes per
// component).
class CodebookLayout {
public:
    enum class EntryKind {
        SharedTable,   // phases index the phasor table of the entry's resolution
        PrivateTable,  // the entry's own z phasors, indexed by component
    };

    // Consecutive entries handled together, in entry order.
    struct Group {
        std::size_t start, count;
        bool blocked;  // kResonatorLanes entries sharing a table, read through `block`
        EntryBlock block;
        // For a block whose table has few levels: every dot term against a
        // lattice point, precomputed (see lattice_products), and the levels.
        const double* products = nullptr;
        std::size_t levels = 0;
    };
    struct Book {
        std::vector<EntryPhasors> entries;
        std::vector<EntryKind> kinds;
        std::vector<Group> groups;
        PhaseArray interleaved;  // written in full before use: no zero fill
    };

    // `lattice` is the phasor table of the composite's resolution n, or
    // nullptr when it is not worth building (then no product tables either).
    CodebookLayout(const std::vector<Codebook>& codebooks, std::uint64_t z, std::uint32_t n, const double* lattice)
        : z_(z), n_(n), lattice_(lattice) {
        // Components per resolution decide between a shared table and
        // private phasors.
        std::map<std::uint32_t, std::uint64_t> components;
        for (const Codebook& book : codebooks)
            for (const PhaseHVec& e : book) components[e.n] += z_;
        for (const auto& [m, count] : components) {
            if (m > count) continue;
            const double* table = held_.emplace_back(phasor_table(m))->data();
            shared_[m] = table;
            // The product table costs 8 m n bytes: kept within the two
            // doubles per component that these entries are allowed.
            const std::uint64_t cells = std::uint64_t{m} * n_;
            if (lattice_ != nullptr && cells <= kMaxProducts && cells <= 2 * count)
                products_[m] = lattice_products(table, m);
        }
        std::size_t private_entries = 0;
        for (const Codebook& book : codebooks)
            for (const PhaseHVec& e : book) private_entries += shared_.count(e.n) == 0;
        if (private_entries > 0) {
            // Only reached when z < m <= 65536, so every index fits 16 bits.
            identity_.resize(z_);
            for (std::size_t j = 0; j < z_; ++j) identity_[j] = static_cast<std::uint16_t>(j);
            private_.reserve(private_entries);
        }
        books_.reserve(codebooks.size());
        for (const Codebook& source : codebooks) {
            Book& book = books_.emplace_back();
            book.entries.reserve(source.size());
            book.kinds.reserve(source.size());
            for (const PhaseHVec& e : source) {
                if (auto it = shared_.find(e.n); it != shared_.end()) {
                    book.entries.push_back({e.phases.data(), it->second, e.n});
                    book.kinds.push_back(EntryKind::SharedTable);
                    continue;
                }
                const std::vector<double>& own = private_.emplace_back(phasors_of(e, nullptr));
                book.entries.push_back({identity_.data(), own.data(), z_});
                book.kinds.push_back(EntryKind::PrivateTable);
            }
            group(book, source);
        }
    }

    const Book& book(std::size_t f) const { return books_[f]; }
    std::size_t books() const { return books_.size(); }

private:
    // Largest product table (doubles): 32 KiB, first-level cache sized.
    static constexpr std::uint64_t kMaxProducts = 4096;

    // Full blocks of kResonatorLanes entries sharing one table become
    // interleaved blocks; the rest stay loose, in groups of up to that many.
    void group(Book& book, const Codebook& source) {
        constexpr std::size_t L = kResonatorLanes;
        const std::vector<EntryPhasors>& e = book.entries;
        auto uniform = [&](std::size_t start) {
            for (std::size_t l = 0; l < L; ++l)
                if (book.kinds[start + l] != EntryKind::SharedTable || e[start + l].table != e[start].table)
                    return false;
            return true;
        };
        std::size_t blocks = 0;
        for (std::size_t start = 0; start + L <= e.size(); start += L) blocks += uniform(start);
        book.interleaved.resize(blocks * L * z_);
        std::uint16_t* out = book.interleaved.data();
        for (std::size_t start = 0; start < e.size();) {
            if (start + L <= e.size() && uniform(start)) {
                for (std::size_t j = 0; j < z_; ++j)
                    for (std::size_t l = 0; l < L; ++l) out[j * L + l] = e[start + l].index[j];
                Group& g = book.groups.emplace_back(
                    Group{start, L, true, EntryBlock{out, e[start].table, e[start].levels}});
                if (auto it = products_.find(source[start].n); it != products_.end()) {
                    g.products = it->second.data();
                    g.levels = source[start].n;
                }
                out += L * z_;
                start += L;
            } else {
                const std::size_t count = std::min(L, e.size() - start);
                book.groups.push_back(Group{start, count, false, EntryBlock{}});
                start += count;
            }
        }
    }

    // [q * m + p] = (re_m(p) * re_n(q)) + (im_m(p) * im_n(q)): the dot term of
    // an entry phase p (resolution m) against the lattice point q, formed
    // exactly as the plain loop forms it.
    std::vector<double> lattice_products(const double* table, std::uint32_t m) const {
        std::vector<double> out(std::size_t{m} * n_);
        for (std::uint32_t q = 0; q < n_; ++q)
            for (std::uint32_t p = 0; p < m; ++p)
                out[std::size_t{q} * m + p] =
                    (table[2 * p] * lattice_[2 * q]) + (table[2 * p + 1] * lattice_[2 * q + 1]);
        return out;
    }

    std::uint64_t z_;
    std::uint32_t n_;
    const double* lattice_;
    std::vector<SharedTable<double>> held_;
    std::map<std::uint32_t, const double*> shared_;           // resolution -> its phasor table
    std::map<std::uint32_t, std::vector<double>> products_;   // resolution -> products against the lattice
    std::vector<std::vector<double>> private_;
    std::vector<std::uint16_t> identity_;
    std::vector<Book> books_;
};

// The sweeps. The composite, the estimates and the scratch arrays (U and the
// accumulators, as (re, im) pairs) are the two doubles per component that
// the plain method uses.
class Resonator {
public:
    Resonator(const PhaseHVec& composite, const std::vector<Codebook>& codebooks)
        : z_(composite.dim),
          n_(composite.n),
          kernels_(kernels().resonator),
          lattice_(n_ <= (codebooks.size() + 1) * z_ ? phasor_table(n_) : nullptr),
          layout_(codebooks, z_, n_, lattice_ ? lattice_->data() : nullptr),
          composite_(phasors_of(composite, lattice_ ? lattice_->data() : nullptr)),
          u_(2 * z_, 0.0),
          xy_(2 * z_, 0.0) {
        // Initial estimates: each codebook's plain superposition, snapped.
        // A unit weight is exact: x + (re * 1.0) is x + re.
        static constexpr double kUnitWeights[kResonatorLanes] = {1, 1, 1, 1, 1, 1, 1, 1};
        static_assert(kResonatorLanes == 8, "kUnitWeights holds one weight per lane");
        estimates_.reserve(layout_.books());
        levels_.reserve(layout_.books());
        for (std::size_t f = 0; f < layout_.books(); ++f) {
            std::fill(xy_.begin(), xy_.end(), 0.0);
            for (const Group& g : layout_.book(f).groups) superpose(layout_.book(f), g, kUnitWeights);
            quantize_phasor(estimates_.emplace_back(2 * z_), levels_.emplace_back(z_));
        }
    }

    // Sweeps until the best matches have been the same for four sweeps in a
    // row (three equal comparisons), or max_iter sweeps have run.
    Status run(std::uint64_t max_iter, InterruptCheck interrupt, ResonatorTrace& trace) {
        std::vector<std::uint64_t> previous(layout_.books(), std::numeric_limits<std::uint64_t>::max());
        std::int32_t stable = 0;
        trace = {};
        while (trace.sweeps < max_iter) {
            if (interrupt()) return Error::interrupted();
            ++trace.sweeps;
            for (std::size_t f = 0; f < layout_.books(); ++f) update_factor(f);
            matches_ = best_matches();
            const std::vector<std::uint64_t> current = indices(matches_);
            if (current == previous) {
                if (stable > 1) {
                    trace.converged = true;
                    break;
                }
                ++stable;
            } else {
                stable = 0;
            }
            previous = current;
        }
        return Ok{};
    }

    // The best matches of the last sweep (of the initial estimates if none ran).
    std::vector<FactorMatch> results() {
        if (!matches_) matches_ = best_matches();
        return *matches_;
    }

private:
    using Group = CodebookLayout::Group;
    using Book = CodebookLayout::Book;

    static std::vector<std::uint64_t> indices(const std::optional<std::vector<FactorMatch>>& matches) {
        std::vector<std::uint64_t> out;
        out.reserve(matches->size());
        for (const FactorMatch& m : *matches) out.push_back(m.index);
        return out;
    }

    std::vector<FactorMatch> best_matches() const {
        std::vector<FactorMatch> out;
        out.reserve(layout_.books());
        for (std::size_t f = 0; f < layout_.books(); ++f) out.push_back(best_match(f));
        return out;
    }

    void score(const Book& book, const Group& g, const double* u, double* weights) const {
        if (g.blocked)
            kernels_.score_block(g.block, u, z_, weights);
        else
            kernels_.score(book.entries.data() + g.start, g.count, u, z_, weights);
    }

    void superpose(const Book& book, const Group& g, const double* weights) {
        if (g.blocked)
            kernels_.superpose_block(g.block, weights, xy_.data(), z_);
        else
            kernels_.superpose(book.entries.data() + g.start, g.count, weights, xy_.data(), z_);
    }

    // Snaps each (x_j, y_j) to the nearest of the n lattice directions and
    // stores that direction's phasor.
    void quantize_phasor(std::vector<double>& out, std::vector<std::uint16_t>& levels) {
        const double big_n = static_cast<double>(n_);
        const double* t = lattice_ ? lattice_->data() : nullptr;
        lattice_levels(xy_.data(), z_, n_, levels.data());
        for (std::size_t j = 0; j < z_; ++j) {
            const std::uint32_t q = levels[j];
            if (t != nullptr) {
                out[2 * j] = t[2 * std::size_t{q}];
                out[2 * j + 1] = t[2 * std::size_t{q} + 1];
            } else {
                const SinCos phasor = cr_sincos((static_cast<double>(q) * kFullTurn) / big_n);
                out[2 * j] = phasor.cos;
                out[2 * j + 1] = phasor.sin;
            }
        }
    }

    FactorMatch best_match(std::size_t f) const {
        const Book& book = layout_.book(f);
        if (book.entries.empty()) return {0, 0.0};
        const double divisor = z_ > 0 ? static_cast<double>(z_) : 1.0;
        FactorMatch best{0, 0.0};
        double weights[kResonatorLanes];
        for (const Group& g : book.groups) {
            if (g.products != nullptr)
                kernels_.score_block_lattice(g.block, g.products, g.levels, levels_[f].data(), z_, weights);
            else
                score(book, g, estimates_[f].data(), weights);
            for (std::size_t l = 0; l < g.count; ++l) {
                const double s = weights[l] / divisor;
                // Ties go to the later entry.
                if (g.start + l == 0 || !(best.similarity > s)) best = {g.start + l, s};
            }
        }
        return best;
    }

    // One factor's step: unbind the other estimates from the composite,
    // weight each entry by its dot product with the result, superpose the
    // entries with those weights and snap to the lattice.
    void update_factor(std::size_t f) {
        std::copy(composite_.begin(), composite_.end(), u_.begin());
        for (std::size_t g = 0; g < estimates_.size(); ++g) {
            if (g == f) continue;
            const double* est = estimates_[g].data();
            for (std::size_t j = 0; j < z_; ++j) {
                const double r = u_[2 * j], i = u_[2 * j + 1];
                const double c = est[2 * j], s = est[2 * j + 1];
                u_[2 * j] = (c * r) + (s * i);
                u_[2 * j + 1] = (i * c) - (r * s);
            }
        }
        std::fill(xy_.begin(), xy_.end(), 0.0);
        // Each group is scored and then superposed while its phases are in cache.
        const Book& book = layout_.book(f);
        double weights[kResonatorLanes];
        for (const Group& g : book.groups) {
            score(book, g, u_.data(), weights);
            superpose(book, g, weights);
        }
        quantize_phasor(estimates_[f], levels_[f]);
    }

    std::uint64_t z_;
    std::uint32_t n_;
    const ResonatorKernels& kernels_;
    SharedTable<double> lattice_;  // the composite's resolution, when it is small enough to pay
    CodebookLayout layout_;
    std::vector<double> composite_;
    std::vector<std::vector<double>> estimates_;
    std::vector<std::vector<std::uint16_t>> levels_;  // the lattice point of each estimate component
    std::vector<double> u_, xy_;
    std::optional<std::vector<FactorMatch>> matches_;  // of the last sweep
};

}  // namespace

Result<std::vector<FactorMatch>> resonator_factorize_traced(const PhaseHVec& composite,
                                                            const std::vector<Codebook>& codebooks,
                                                            std::uint64_t max_iter,
                                                            InterruptCheck interrupt,
                                                            ResonatorTrace& trace) {
    trace = {};
    if (auto s = check_entries(composite, codebooks); !s) return std::move(s).error();
    try {
        Resonator resonator(composite, codebooks);
        if (auto s = resonator.run(max_iter, interrupt, trace); !s) return std::move(s).error();
        return resonator.results();
    } catch (const std::bad_alloc&) {
        return Error::out_of_memory();
    } catch (const std::length_error&) {
        return Error::out_of_memory();
    }
}

Result<std::vector<FactorMatch>> resonator_factorize(const PhaseHVec& composite,
                                                     const std::vector<Codebook>& codebooks,
                                                     std::uint64_t max_iter, InterruptCheck interrupt) {
    ResonatorTrace trace;
    return resonator_factorize_traced(composite, codebooks, max_iter, interrupt, trace);
}

}  // namespace velmora
