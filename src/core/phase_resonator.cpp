#include "core/phase_resonator.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <new>
#include <stdexcept>

#include "core/kernels_resonator.hpp"
#include "core/phase_tables.hpp"

namespace velmora {
namespace {

// Unit phasors of a phase vector: re_j = cos(theta_j), im_j = sin(theta_j)
// with theta_j = (p_j * 2pi) / m.
struct PhasorVec {
    std::vector<double> re;
    std::vector<double> im;
};

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
            if (e.dim < z) return Error::internal(index_out_of_bounds(e.dim, e.dim));
    for (const Codebook& book : codebooks)
        for (const PhaseHVec& e : book)
            if (e.dim > z) return Error::internal(index_out_of_bounds(z, z));
    return Ok{};
}

// Memory: entries are read in place as phases plus a table per resolution,
// so the codebooks cost no doubles at all where a resolution's table (16
// bytes per level) is no larger than the two doubles per component its
// entries would otherwise take; an entry at a rarer resolution gets a
// private table of exactly those two doubles per component. The composite,
// the estimates and the four scratch arrays are the two doubles per
// component that the plain method uses.
class Resonator {
public:
    Resonator(const PhaseHVec& composite, const std::vector<Codebook>& codebooks)
        : z_(composite.dim), n_(composite.n), kernels_(resonator_kernels()) {
        const std::size_t factors = codebooks.size();
        if (n_ <= (factors + 1) * z_) lattice_ = phasor_table(n_);
        composite_ = phasors_of(composite);
        build_entries(codebooks);
        u_ = PhasorVec{std::vector<double>(z_), std::vector<double>(z_)};
        x_.assign(z_, 0.0);
        y_.assign(z_, 0.0);
        weights_.assign(kBlock, 1.0);
        estimates_.reserve(factors);
        for (const std::vector<EntryPhasors>& book : books_) {
            clear_accumulators();
            for (std::size_t start = 0; start < book.size(); start += kBlock) {
                // A unit weight is exact: x + (re * 1.0) is x + re.
                const std::size_t count = std::min(kBlock, book.size() - start);
                kernels_.superpose(book.data() + start, count, weights_.data(), x_.data(), y_.data(), z_);
            }
            PhasorVec& estimate =
                estimates_.emplace_back(PhasorVec{std::vector<double>(z_), std::vector<double>(z_)});
            quantize_phasor(estimate);
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
    // Entries scored together and then superposed while their phases are
    // still in cache.
    static constexpr std::size_t kBlock = 4 * kResonatorLanes;

    PhasorVec phasors_of(const PhaseHVec& v) const {
        PhasorVec out{std::vector<double>(v.dim), std::vector<double>(v.dim)};
        if (lattice_ && v.n == n_) {
            const double* t = lattice_->data();
            for (std::size_t j = 0; j < v.dim; ++j) {
                out.re[j] = t[2 * std::size_t{v.phases[j]}];
                out.im[j] = t[2 * std::size_t{v.phases[j]} + 1];
            }
            return out;
        }
        const double m = static_cast<double>(v.n);
        for (std::size_t j = 0; j < v.dim; ++j) {
            const double theta = (static_cast<double>(v.phases[j]) * kFullTurn) / m;
            out.re[j] = std::cos(theta);
            out.im[j] = std::sin(theta);
        }
        return out;
    }

    void build_entries(const std::vector<Codebook>& codebooks) {
        // Components per resolution decide between a shared table and
        // private phasors.
        std::map<std::uint32_t, std::uint64_t> components;
        for (const Codebook& book : codebooks)
            for (const PhaseHVec& e : book) components[e.n] += z_;
        std::map<std::uint32_t, const double*> shared;
        for (const auto& [m, count] : components)
            if (m <= count) shared[m] = held_.emplace_back(phasor_table(m))->data();

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
        for (const Codebook& book : codebooks) {
            std::vector<EntryPhasors>& views = books_.emplace_back();
            views.reserve(book.size());
            for (const PhaseHVec& e : book) {
                if (auto it = shared.find(e.n); it != shared.end()) {
                    views.push_back({e.phases.data(), it->second});
                    continue;
                }
                std::vector<double>& own = private_.emplace_back(2 * z_);
                const double m = static_cast<double>(e.n);
                for (std::size_t j = 0; j < z_; ++j) {
                    const double theta = (static_cast<double>(e.phases[j]) * kFullTurn) / m;
                    own[2 * j] = std::cos(theta);
                    own[2 * j + 1] = std::sin(theta);
                }
                views.push_back({identity_.data(), own.data()});
            }
        }
    }

    void clear_accumulators() {
        std::fill(x_.begin(), x_.end(), 0.0);
        std::fill(y_.begin(), y_.end(), 0.0);
    }

    // Snaps each (x_j, y_j) to the nearest of the n lattice directions and
    // stores that direction's phasor.
    void quantize_phasor(PhasorVec& out) const {
        const double big_n = static_cast<double>(n_);
        const double* t = lattice_ ? lattice_->data() : nullptr;
        for (std::size_t j = 0; j < z_; ++j) {
            const std::uint32_t q = angle_to_level(std::atan2(y_[j], x_[j]), n_);
            if (t != nullptr) {
                out.re[j] = t[2 * std::size_t{q}];
                out.im[j] = t[2 * std::size_t{q} + 1];
            } else {
                const double theta = (static_cast<double>(q) * kFullTurn) / big_n;
                out.re[j] = std::cos(theta);
                out.im[j] = std::sin(theta);
            }
        }
    }

    FactorMatch best_match(std::size_t f) {
        const std::vector<EntryPhasors>& book = books_[f];
        if (book.empty()) return {0, 0.0};
        const PhasorVec& estimate = estimates_[f];
        const double divisor = z_ > 0 ? static_cast<double>(z_) : 1.0;
        FactorMatch best{0, 0.0};
        for (std::size_t start = 0; start < book.size(); start += kBlock) {
            const std::size_t count = std::min(kBlock, book.size() - start);
            kernels_.score(book.data() + start, count, estimate.re.data(), estimate.im.data(), z_,
                           weights_.data());
            for (std::size_t l = 0; l < count; ++l) {
                const double s = weights_[l] / divisor;
                if (start + l == 0 || !(best.similarity > s)) best = {start + l, s};  // ties go to the later entry
            }
        }
        return best;
    }

    void update_factor(std::size_t f) {
        u_.re = composite_.re;
        u_.im = composite_.im;
        for (std::size_t g = 0; g < estimates_.size(); ++g) {
            if (g == f) continue;
            const PhasorVec& est = estimates_[g];
            for (std::size_t j = 0; j < z_; ++j) {
                const double r = u_.re[j], i = u_.im[j];
                const double c = est.re[j], s = est.im[j];
                u_.re[j] = (c * r) + (s * i);
                u_.im[j] = (i * c) - (r * s);
            }
        }
        clear_accumulators();
        const std::vector<EntryPhasors>& book = books_[f];
        for (std::size_t start = 0; start < book.size(); start += kBlock) {
            const std::size_t count = std::min(kBlock, book.size() - start);
            kernels_.score(book.data() + start, count, u_.re.data(), u_.im.data(), z_, weights_.data());
            kernels_.superpose(book.data() + start, count, weights_.data(), x_.data(), y_.data(), z_);
        }
        quantize_phasor(estimates_[f]);
    }

    std::uint64_t z_;
    std::uint32_t n_;
    const ResonatorKernels& kernels_;
    SharedTable<double> lattice_;  // the composite's resolution, when it is small enough to pay
    std::vector<SharedTable<double>> held_;
    std::vector<std::vector<double>> private_;
    std::vector<std::uint16_t> identity_;
    PhasorVec composite_;
    std::vector<std::vector<EntryPhasors>> books_;
    std::vector<PhasorVec> estimates_;
    PhasorVec u_;
    std::vector<double> x_, y_;
    std::vector<double> weights_;
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
