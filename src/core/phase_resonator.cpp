#include "core/phase_resonator.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>
#include <variant>

#include "core/lattice_levels.hpp"
#include "core/resonator_layout.hpp"
#include "core/simd/kernel_table.hpp"

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

    // Set to the given lattice levels (each below the lattice's n).
    void assign(const std::uint16_t* levels, const LatticePhasors& lattice) {
        std::copy(levels, levels + levels_.size(), levels_.begin());
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

    // What factorize drives: one sweep, the estimates, and the read-out.
    void sweep_once() { sweep(); }
    std::size_t factors() const { return estimates_.size(); }
    std::uint64_t dim() const { return z_; }
    const Estimate& estimate(std::size_t f) const { return estimates_[f]; }
    void assign(std::size_t f, const std::uint16_t* levels) { estimates_[f].assign(levels, lattice()); }
    const double* composite_phasors() const { return composite_.data(); }
    void lattice_phasors(const std::uint16_t* levels, double* out) const { lattice().phasors(levels, z_, out); }

    // The entry of highest coherence with factor f's estimate; ties go to
    // the later entry. Coherence is sqrt(re^2 + im^2) / z of the complex
    // inner product, its real part the dot product with the estimate and
    // its imaginary part the dot product with i times the estimate, both
    // from the scoring kernels.
    FactorMatch coherent_match(std::size_t f) {
        const BookLayout& book = books()[f];
        const double* est = estimates_[f].phasors();
        for (std::uint64_t j = 0; j < z_; ++j) {
            u_[2 * j] = -est[2 * j + 1];
            u_[2 * j + 1] = est[2 * j];
        }
        const double divisor = z_ > 0 ? static_cast<double>(z_) : 1.0;
        FactorMatch best{0, 0.0};
        double re[kResonatorLanes], im[kResonatorLanes];
        for (const EntryGroup& g : book.groups) {
            score(book, g, est, re);
            score(book, g, u_.data(), im);
            for (std::size_t l = 0, first = first_entry(g); l < entry_count(g); ++l) {
                const double c = std::min(1.0, std::sqrt((re[l] * re[l]) + (im[l] * im[l])) / divisor);
                if (first + l == 0 || !(best.similarity > c)) best = {first + l, c};
            }
        }
        return best;
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

namespace {

constexpr std::uint64_t kGolden = 0x9E3779B97F4A7C15ull;

std::uint64_t mix64(std::uint64_t x) {
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// FNV-1a over 16-bit levels: the identity of a state, for cycle detection
// and for the seeds of the restarts.
std::uint64_t hash_levels(std::uint64_t h, const std::uint16_t* levels, std::uint64_t len) {
    for (std::uint64_t j = 0; j < len; ++j) h = (h ^ levels[j]) * 0x100000001B3ull;
    return h;
}
constexpr std::uint64_t kHashBasis = 0xCBF29CE484222325ull;

// Coherence of the bound read-out with the composite at which the answer
// counts as verified: eight times the spread of the coherence of unrelated
// vectors (1 / sqrt(z)), so a wrong answer passes with probability about
// exp(-64), and at most 0.5.
double verified_coherence(std::uint64_t z) {
    if (z == 0) return 0.0;
    return std::min(0.5, 8.0 / std::sqrt(static_cast<double>(z)));
}

// The first run may use this many sweeps before a restart; each later run
// gets half as many again.
constexpr std::uint64_t kFirstRunSweeps = 32;

Status check_factorize_entries(const PhaseHVec& composite, const std::vector<Codebook>& codebooks) {
    if (auto s = check_consistent(composite); !s) return s;
    for (const Codebook& book : codebooks)
        for (const PhaseHVec& e : book) {
            if (auto s = check_consistent(e); !s) return s;
            if (e.dim != composite.dim || e.n != composite.n) return Error::domain(kIncompatibleMessage);
        }
    for (const Codebook& book : codebooks)
        if (book.empty()) return Error::domain(kEmptyCodebookMessage);
    return Ok{};
}

class Factorizer {
public:
    Factorizer(const PhaseHVec& composite, const std::vector<Codebook>& codebooks)
        : composite_(composite), codebooks_(codebooks), resonator_(composite, codebooks),
          bound_(composite.dim), scratch_(composite.dim), bound_phasors_(2 * composite.dim) {
        problem_seed_ = hash_levels(kHashBasis, composite.phases.data(), composite.dim);
        for (const Codebook& book : codebooks) problem_seed_ = (problem_seed_ ^ book.size()) * 0x100000001B3ull;
    }

    Result<std::vector<FactorMatch>> run(std::uint64_t max_iter, InterruptCheck interrupt, FactorizeTrace& trace) {
        trace = {};
        const double threshold = verified_coherence(composite_.dim);
        std::vector<FactorMatch> best = read_out();
        double best_score = bound_coherence(best);
        if (best_score >= threshold) {
            trace.verified = true;
            return best;
        }
        std::vector<std::uint64_t> seen{state_hash()};
        std::uint64_t run_budget = kFirstRunSweeps, run_sweeps = 0;
        while (trace.sweeps < max_iter) {
            if (interrupt()) return Error::interrupted();
            ++trace.sweeps;
            ++run_sweeps;
            resonator_.sweep_once();
            std::vector<FactorMatch> matches = read_out();
            const double score = bound_coherence(matches);
            if (score > best_score) {
                best_score = score;
                best = matches;
            }
            if (score >= threshold) {
                trace.verified = true;
                return matches;
            }
            const std::uint64_t h = state_hash();
            const bool stuck = std::find(seen.begin(), seen.end(), h) != seen.end();
            if (stuck || run_sweeps >= run_budget) {
                ++trace.restarts;
                restart(trace.restarts);
                run_sweeps = 0;
                run_budget += run_budget / 2;
                seen.assign(1, state_hash());
            } else {
                seen.push_back(h);
            }
        }
        return best;
    }

private:
    std::vector<FactorMatch> read_out() {
        std::vector<FactorMatch> out;
        out.reserve(resonator_.factors());
        for (std::size_t f = 0; f < resonator_.factors(); ++f) out.push_back(resonator_.coherent_match(f));
        return out;
    }

    // The coherence with the composite of the chosen entries bound together.
    double bound_coherence(const std::vector<FactorMatch>& matches) {
        const std::uint64_t z = composite_.dim, n = composite_.n;
        if (z == 0) return 1.0;
        std::fill(bound_.begin(), bound_.end(), std::uint16_t{0});
        for (std::size_t f = 0; f < matches.size(); ++f) {
            const PhaseHVec& e = codebooks_[f][matches[f].index];
            for (std::uint64_t j = 0; j < z; ++j)
                bound_[j] = static_cast<std::uint16_t>((std::uint64_t{bound_[j]} + e.phases[j]) % n);
        }
        return coherence_with_composite(bound_.data());
    }

    // sqrt(re^2 + im^2) / z of the inner product of the levels' phasors with
    // the composite's, formed like the kernels' dot products.
    double coherence_with_composite(const std::uint16_t* levels) {
        const std::uint64_t z = composite_.dim;
        const double* c = resonator_.composite_phasors();
        std::vector<double>& p = bound_phasors_;
        resonator_.lattice_phasors(levels, p.data());
        double re = 0.0, im = 0.0;
        for (std::uint64_t j = 0; j < z; ++j) {
            re += (p[2 * j] * c[2 * j]) + (p[2 * j + 1] * c[2 * j + 1]);
            im += (p[2 * j] * (-c[2 * j + 1])) + (p[2 * j + 1] * c[2 * j]);
        }
        return std::min(1.0, std::sqrt((re * re) + (im * im)) / static_cast<double>(z));
    }

    std::uint64_t state_hash() const {
        std::uint64_t h = kHashBasis;
        for (std::size_t f = 0; f < resonator_.factors(); ++f)
            h = hash_levels(h, resonator_.estimate(f).levels(), composite_.dim);
        return h;
    }

    // Every estimate drawn afresh from the lattice: component j of factor f
    // on restart r is mix64(seed + (j + 1) * golden) mod n, the seed being
    // mix64 of the problem's seed, r and f.
    void restart(std::uint64_t r) {
        const std::uint64_t n = composite_.n;
        for (std::size_t f = 0; f < resonator_.factors(); ++f) {
            const std::uint64_t seed = mix64(problem_seed_ ^ (r * kGolden) ^ mix64(f + 1));
            for (std::uint64_t j = 0; j < composite_.dim; ++j)
                scratch_[j] = static_cast<std::uint16_t>(mix64(seed + (j + 1) * kGolden) % n);
            resonator_.assign(f, scratch_.data());
        }
    }

    const PhaseHVec& composite_;
    const std::vector<Codebook>& codebooks_;
    Resonator resonator_;
    std::vector<std::uint16_t> bound_, scratch_;
    std::vector<double> bound_phasors_;
    std::uint64_t problem_seed_ = 0;
};

}  // namespace

std::uint64_t factorize_default_cap(const std::vector<Codebook>& codebooks) {
    constexpr std::uint64_t kLow = 100, kHigh = 10000;
    if (codebooks.empty()) return kLow;
    // The search space, saturated once it exceeds 1000 * kHigh.
    std::uint64_t space = 1;
    for (const Codebook& book : codebooks) {
        const std::uint64_t m = book.size();
        if (m == 0) return kLow;
        space = space > (1000 * kHigh) / m ? 1000 * kHigh : space * m;
    }
    const std::uint64_t cap = (space + 999) / 1000;
    return std::clamp(cap, kLow, kHigh);
}

Result<std::vector<FactorMatch>> factorize_traced(const PhaseHVec& composite, const std::vector<Codebook>& codebooks,
                                                  std::uint64_t max_iter, InterruptCheck interrupt,
                                                  FactorizeTrace& trace) {
    trace = {};
    if (auto s = check_factorize_entries(composite, codebooks); !s) return std::move(s).error();
    if (codebooks.empty()) return std::vector<FactorMatch>{};
    try {
        return Factorizer(composite, codebooks).run(max_iter, interrupt, trace);
    } catch (const std::bad_alloc&) {
        return Error::out_of_memory();
    } catch (const std::length_error&) {
        return Error::out_of_memory();
    }
}

Result<std::vector<FactorMatch>> factorize(const PhaseHVec& composite, const std::vector<Codebook>& codebooks,
                                           std::uint64_t max_iter, InterruptCheck interrupt) {
    FactorizeTrace trace;
    return factorize_traced(composite, codebooks, max_iter, interrupt, trace);
}

}  // namespace velmora
