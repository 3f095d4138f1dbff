#include "core/phase_resonator.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <new>
#include <stdexcept>

#include "core/correctly_rounded.hpp"
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

// Memory: entries are read in place as phases plus a table per resolution,
// so the codebooks cost no doubles at all where a resolution's table (16
// bytes per level) is no larger than the two doubles per component its
// entries would otherwise take; an entry at a rarer resolution gets a
// private table of exactly those two doubles per component. Full blocks of
// entries keep a second, interleaved copy of their phases (2 bytes per
// component). The composite, the estimates and the scratch arrays (U and
// the accumulators, as (re, im) pairs) are the two doubles per component
// that the plain method uses.
class Resonator {
public:
    Resonator(const PhaseHVec& composite, const std::vector<Codebook>& codebooks)
        : z_(composite.dim), n_(composite.n), kernels_(resonator_kernels()) {
        const std::size_t factors = codebooks.size();
        if (n_ <= (factors + 1) * z_) lattice_ = phasor_table(n_);
        composite_ = phasors_of(composite);
        build_books(codebooks);
        u_.assign(2 * z_, 0.0);
        xy_.assign(2 * z_, 0.0);
        estimates_.reserve(factors);
        levels_.reserve(factors);
        for (std::size_t f = 0; f < factors; ++f) {
            // A unit weight is exact: x + (re * 1.0) is x + re.
            std::fill(weights_, weights_ + kResonatorLanes, 1.0);
            std::fill(xy_.begin(), xy_.end(), 0.0);
            for (const Group& g : books_[f].groups) superpose(books_[f], g);
            quantize_phasor(estimates_.emplace_back(2 * z_), levels_.emplace_back(z_));
        }
    }

    Status run(std::uint64_t max_iter, InterruptCheck interrupt, ResonatorTrace& trace) {
        std::vector<std::uint64_t> previous(books_.size(), std::numeric_limits<std::uint64_t>::max());
        std::vector<std::uint64_t> current(books_.size());
        std::int32_t stable = 0;
        trace = {};
        while (trace.sweeps < max_iter) {
            if (interrupt()) return Error::interrupted();
            ++trace.sweeps;
            for (std::size_t f = 0; f < books_.size(); ++f) update_factor(f);
            for (std::size_t f = 0; f < books_.size(); ++f) current[f] = best_match(f).index;
            if (current == previous) {
                if (stable > 1) {
                    trace.converged = true;
                    break;
                }
                ++stable;
            } else {
                stable = 0;
            }
            previous.swap(current);
        }
        return Ok{};
    }

    std::vector<FactorMatch> results() {
        std::vector<FactorMatch> out;
        out.reserve(books_.size());
        for (std::size_t f = 0; f < books_.size(); ++f) out.push_back(best_match(f));
        return out;
    }

private:
    // Largest product table (doubles): 32 KiB, first-level cache sized.
    static constexpr std::uint64_t kMaxProducts = 4096;

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
        std::vector<Group> groups;
        PhaseArray interleaved;  // written in full before use: no zero fill
    };

    // (re, im) pairs of a phase vector at its own resolution.
    std::vector<double> phasors_of(const PhaseHVec& v) const {
        std::vector<double> out(2 * v.dim);
        if (lattice_ && v.n == n_) {
            const double* t = lattice_->data();
            for (std::size_t j = 0; j < v.dim; ++j) {
                out[2 * j] = t[2 * std::size_t{v.phases[j]}];
                out[2 * j + 1] = t[2 * std::size_t{v.phases[j]} + 1];
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

    void build_books(const std::vector<Codebook>& codebooks) {
        // Components per resolution decide between a shared table and
        // private phasors.
        std::map<std::uint32_t, std::uint64_t> components;
        for (const Codebook& book : codebooks)
            for (const PhaseHVec& e : book) components[e.n] += z_;
        std::map<std::uint32_t, const double*> shared;
        for (const auto& [m, count] : components)
            if (m <= count) {
                shared[m] = held_.emplace_back(phasor_table(m))->data();
                // The product table costs 8 m n bytes: kept within the two
                // doubles per component that these entries are allowed.
                const std::uint64_t cells = std::uint64_t{m} * n_;
                if (lattice_ && cells <= kMaxProducts && cells <= 2 * count)
                    products_[shared[m]] = {lattice_products(shared[m], m), m};
            }

        std::size_t private_entries = 0;
        for (const Codebook& book : codebooks)
            for (const PhaseHVec& e : book) private_entries += shared.count(e.n) == 0;
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
            for (const PhaseHVec& e : source) {
                if (auto it = shared.find(e.n); it != shared.end()) {
                    book.entries.push_back({e.phases.data(), it->second, e.n});
                    continue;
                }
                std::vector<double>& own = private_.emplace_back(phasors_of(e));
                book.entries.push_back({identity_.data(), own.data(), z_});
            }
            group(book);
        }
    }

    void group(Book& book) {
        constexpr std::size_t L = kResonatorLanes;
        const std::vector<EntryPhasors>& e = book.entries;
        auto uniform = [&](std::size_t start) {
            for (std::size_t l = 1; l < L; ++l)
                if (e[start + l].table != e[start].table || e[start + l].index == identity_.data()) return false;
            return e[start].index != identity_.data() || identity_.empty();
        };
        std::size_t blocks = 0;
        for (std::size_t start = 0; start + L <= e.size(); start += L) blocks += uniform(start);
        book.interleaved.resize(blocks * L * z_);
        std::uint16_t* out = book.interleaved.data();
        for (std::size_t start = 0; start < e.size();) {
            if (start + L <= e.size() && uniform(start)) {
                for (std::size_t j = 0; j < z_; ++j)
                    for (std::size_t l = 0; l < L; ++l) out[j * L + l] = e[start + l].index[j];
                Group& g = book.groups.emplace_back(Group{start, L, true, EntryBlock{out, e[start].table, e[start].levels}});
                if (auto it = products_.find(e[start].table); it != products_.end()) {
                    g.products = it->second.first.data();
                    g.levels = it->second.second;
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
        const double* lattice = lattice_->data();
        std::vector<double> out(std::size_t{m} * n_);
        for (std::uint32_t q = 0; q < n_; ++q)
            for (std::uint32_t p = 0; p < m; ++p)
                out[std::size_t{q} * m + p] = (table[2 * p] * lattice[2 * q]) + (table[2 * p + 1] * lattice[2 * q + 1]);
        return out;
    }

    void score(const Book& book, const Group& g, const double* u) {
        if (g.blocked)
            kernels_.score_block(g.block, u, z_, weights_);
        else
            kernels_.score(book.entries.data() + g.start, g.count, u, z_, weights_);
    }

    void superpose(const Book& book, const Group& g) {
        if (g.blocked)
            kernels_.superpose_block(g.block, weights_, xy_.data(), z_);
        else
            kernels_.superpose(book.entries.data() + g.start, g.count, weights_, xy_.data(), z_);
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

    FactorMatch best_match(std::size_t f) {
        const Book& book = books_[f];
        if (book.entries.empty()) return {0, 0.0};
        const double divisor = z_ > 0 ? static_cast<double>(z_) : 1.0;
        FactorMatch best{0, 0.0};
        for (const Group& g : book.groups) {
            if (g.products != nullptr)
                kernels_.score_block_lattice(g.block, g.products, g.levels, levels_[f].data(), z_, weights_);
            else
                score(book, g, estimates_[f].data());
            for (std::size_t l = 0; l < g.count; ++l) {
                const double s = weights_[l] / divisor;
                // Ties go to the later entry.
                if (g.start + l == 0 || !(best.similarity > s)) best = {g.start + l, s};
            }
        }
        return best;
    }

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
        const Book& book = books_[f];
        for (const Group& g : book.groups) {
            score(book, g, u_.data());
            superpose(book, g);
        }
        quantize_phasor(estimates_[f], levels_[f]);
    }

    std::uint64_t z_;
    std::uint32_t n_;
    const ResonatorKernels& kernels_;
    SharedTable<double> lattice_;  // the composite's resolution, when it is small enough to pay
    std::vector<SharedTable<double>> held_;
    std::vector<std::vector<double>> private_;
    std::vector<std::uint16_t> identity_;
    std::vector<double> composite_;
    std::vector<Book> books_;
    std::vector<std::vector<double>> estimates_;
    std::vector<std::vector<std::uint16_t>> levels_;  // the lattice point of each estimate component
    std::map<const double*, std::pair<std::vector<double>, std::uint32_t>> products_;
    std::vector<double> u_, xy_;
    double weights_[kResonatorLanes] = {};
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
