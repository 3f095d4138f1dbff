#include "core/phase_resonator.hpp"

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>
#include <variant>

#include "core/kernel_table.hpp"
#include "core/kernels_resonator.hpp"
#include "core/lattice_levels.hpp"
#include "core/resonator_layout.hpp"

namespace velmora {
namespace {

// The indices have settled when a sweep's best matches equal the previous
// sweep's this many times in a row: four sweeps with the same matches.
constexpr std::int32_t kSettledRepeats = 3;

// No entry has this index, so the first sweep never counts as a repeat.
constexpr std::uint64_t kNoIndex = std::numeric_limits<std::uint64_t>::max();

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

// A factor's estimate: a point of the composite's lattice, held both as its
// levels and as their phasors. snap() is the only way to change it and sets
// both, so the phasors are always those of the levels, and a best match may
// read either.
class Estimate {
public:
    explicit Estimate(std::size_t z) : levels_(z), phasors_(2 * z) {}

    // Each (x_j, y_j) of xy snapped to the nearest lattice direction.
    void snap(const double* xy, const LatticePhasors& lattice) {
        lattice_levels(xy, levels_.size(), lattice.levels(), levels_.data());
        lattice.phasors(levels_.data(), levels_.size(), phasors_.data());
    }

    const std::uint16_t* levels() const { return levels_.data(); }
    const double* phasors() const { return phasors_.data(); }

private:
    std::vector<std::uint16_t> levels_;
    std::vector<double> phasors_;
};

// u = u * conj(estimate), component by component.
void unbind_phasors(double* u, const double* estimate, std::size_t z) {
    for (std::size_t j = 0; j < z; ++j) {
        const double r = u[2 * j], i = u[2 * j + 1];
        const double c = estimate[2 * j], s = estimate[2 * j + 1];
        u[2 * j] = (c * r) + (s * i);
        u[2 * j + 1] = (i * c) - (r * s);
    }
}

bool same_indices(const std::vector<FactorMatch>& a, const std::vector<FactorMatch>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const FactorMatch& x, const FactorMatch& y) { return x.index == y.index; });
}

// The sweeps over laid-out codebooks. The composite, the estimates and the
// scratch arrays (U and the sums (X, Y)) are (re, im) pairs per component.
class Resonator {
public:
    Resonator(const PhaseHVec& composite, const std::vector<Codebook>& codebooks)
        : z_(composite.dim),
          kernels_(kernels().resonator),
          layout_(codebooks, composite.dim, composite.n),
          composite_(2 * composite.dim),
          u_(2 * composite.dim),
          xy_(2 * composite.dim) {
        lattice().phasors(composite.phases.data(), z_, composite_.data());
        estimates_.reserve(books().size());
        for (const BookLayout& book : books()) estimates_.push_back(initial_estimate(book));
    }

    // Sweeps until the indices settle or max_iter sweeps have run; the best
    // matches of the last sweep (of the initial estimates if none ran).
    Result<std::vector<FactorMatch>> run(std::uint64_t max_iter, InterruptCheck interrupt, ResonatorTrace& trace) {
        std::vector<FactorMatch> last(books().size(), FactorMatch{kNoIndex, 0.0});
        std::int32_t repeats = 0;
        trace = {};
        while (trace.sweeps < max_iter) {
            if (interrupt()) return Error::interrupted();
            ++trace.sweeps;
            sweep();
            std::vector<FactorMatch> matches = best_matches();
            repeats = same_indices(matches, last) ? repeats + 1 : 0;
            last = std::move(matches);
            if (repeats == kSettledRepeats) {
                trace.converged = true;
                break;
            }
        }
        if (trace.sweeps == 0) return best_matches();
        return last;
    }

private:
    const std::vector<BookLayout>& books() const { return layout_.books(); }
    const LatticePhasors& lattice() const { return layout_.tables().lattice(); }

    // The codebook's plain superposition, snapped. A unit weight is exact:
    // x + (re * 1.0) is x + re.
    Estimate initial_estimate(const BookLayout& book) {
        static constexpr double kUnitWeights[kResonatorLanes] = {1, 1, 1, 1, 1, 1, 1, 1};
        static_assert(kResonatorLanes == 8, "kUnitWeights holds one weight per lane");
        std::fill(xy_.begin(), xy_.end(), 0.0);
        for (const EntryGroup& g : book.groups) superpose(book, g, kUnitWeights);
        Estimate estimate(z_);
        estimate.snap(xy_.data(), lattice());
        return estimate;
    }

    // Each factor in turn, the later ones already seeing its new estimate.
    void sweep() {
        for (std::size_t f = 0; f < books().size(); ++f) {
            unbind_others(f);
            score_and_superpose(books()[f]);
            estimates_[f].snap(xy_.data(), lattice());
        }
    }

    // U = the composite with every other factor's estimate unbound.
    void unbind_others(std::size_t f) {
        std::copy(composite_.begin(), composite_.end(), u_.begin());
        for (std::size_t g = 0; g < estimates_.size(); ++g)
            if (g != f) unbind_phasors(u_.data(), estimates_[g].phasors(), z_);
    }

    // (X, Y) = the entries weighted by their raw dot products with U. Each
    // group is scored and then superposed while its phases are in cache.
    void score_and_superpose(const BookLayout& book) {
        std::fill(xy_.begin(), xy_.end(), 0.0);
        double weights[kResonatorLanes];
        for (const EntryGroup& g : book.groups) {
            score(book, g, u_.data(), weights);
            superpose(book, g, weights);
        }
    }

    std::vector<FactorMatch> best_matches() const {
        std::vector<FactorMatch> out;
        out.reserve(books().size());
        for (std::size_t f = 0; f < books().size(); ++f) out.push_back(best_match(books()[f], estimates_[f]));
        return out;
    }

    // The entry with the highest mean cosine to the estimate; ties go to the
    // later entry.
    FactorMatch best_match(const BookLayout& book, const Estimate& estimate) const {
        if (book.entries.empty()) return {0, 0.0};
        const double divisor = z_ > 0 ? static_cast<double>(z_) : 1.0;
        FactorMatch best{0, 0.0};
        double weights[kResonatorLanes];
        for (const EntryGroup& g : book.groups) {
            score_against(book, g, estimate, weights);
            for (std::size_t l = 0, first = first_entry(g); l < entry_count(g); ++l) {
                const double s = weights[l] / divisor;
                if (first + l == 0 || !(best.similarity > s)) best = {first + l, s};
            }
        }
        return best;
    }

    // The dot products of an estimate, through the products with the
    // lattice where the group has them (the estimate is a lattice point).
    void score_against(const BookLayout& book, const EntryGroup& g, const Estimate& estimate, double* weights) const {
        const auto* blocked = std::get_if<BlockedEntries>(&g);
        if (blocked != nullptr && blocked->products != nullptr)
            kernels_.score_block_lattice(blocked->block, blocked->products, blocked->block.levels, estimate.levels(),
                                         z_, weights);
        else
            score(book, g, estimate.phasors(), weights);
    }

    void score(const BookLayout& book, const EntryGroup& g, const double* u, double* weights) const {
        if (const auto* blocked = std::get_if<BlockedEntries>(&g)) {
            kernels_.score_block(blocked->block, u, z_, weights);
        } else {
            const LooseEntries& loose = std::get<LooseEntries>(g);
            kernels_.score(book.entries.data() + loose.first, loose.count, u, z_, weights);
        }
    }

    void superpose(const BookLayout& book, const EntryGroup& g, const double* weights) {
        if (const auto* blocked = std::get_if<BlockedEntries>(&g)) {
            kernels_.superpose_block(blocked->block, weights, xy_.data(), z_);
        } else {
            const LooseEntries& loose = std::get<LooseEntries>(g);
            kernels_.superpose(book.entries.data() + loose.first, loose.count, weights, xy_.data(), z_);
        }
    }

    std::uint64_t z_;
    const ResonatorKernels& kernels_;
    ResonatorLayout layout_;
    std::vector<double> composite_;
    std::vector<Estimate> estimates_;
    std::vector<double> u_, xy_;  // scratch of one factor's update
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
        return Resonator(composite, codebooks).run(max_iter, interrupt, trace);
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
