#include "core/phase_resonator.hpp"

#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>

namespace velmora {
namespace {

// Unit phasors of a phase vector: re_j = cos(theta_j), im_j = sin(theta_j)
// with theta_j = (p_j * 2pi) / m.
struct PhasorVec {
    std::vector<double> re;
    std::vector<double> im;
};

PhasorVec phasors_of(const PhaseHVec& v) {
    PhasorVec out{std::vector<double>(v.dim), std::vector<double>(v.dim)};
    const double m = static_cast<double>(v.n);
    for (std::size_t j = 0; j < v.dim; ++j) {
        const double theta = (static_cast<double>(v.phases[j]) * kFullTurn) / m;
        out.re[j] = std::cos(theta);
        out.im[j] = std::sin(theta);
    }
    return out;
}

// Snaps each (x_j, y_j) to the nearest of the n lattice directions and stores
// that direction's phasor in `out`.
void quantize_phasor(const std::vector<double>& x, const std::vector<double>& y, std::uint32_t n,
                     PhasorVec& out) {
    const double big_n = static_cast<double>(n);
    for (std::size_t j = 0; j < x.size(); ++j) {
        const std::uint32_t q = angle_to_level(std::atan2(y[j], x[j]), n);
        const double theta = (static_cast<double>(q) * kFullTurn) / big_n;
        out.re[j] = std::cos(theta);
        out.im[j] = std::sin(theta);
    }
}

double dot(const PhasorVec& e, const std::vector<double>& re, const std::vector<double>& im) {
    double sum = 0.0;
    for (std::size_t j = 0; j < e.re.size(); ++j) sum += (e.re[j] * re[j]) + (e.im[j] * im[j]);
    return sum;
}

FactorMatch best_match(const std::vector<PhasorVec>& book, const PhasorVec& estimate, std::uint64_t z) {
    if (book.empty()) return {0, 0.0};
    const double divisor = z > 0 ? static_cast<double>(z) : 1.0;
    FactorMatch best{0, dot(book[0], estimate.re, estimate.im) / divisor};
    for (std::size_t i = 1; i < book.size(); ++i) {
        const double s = dot(book[i], estimate.re, estimate.im) / divisor;
        if (!(best.similarity > s)) best = {i, s};  // ties go to the later entry
    }
    return best;
}

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

class Resonator {
public:
    Resonator(const PhaseHVec& composite, const std::vector<Codebook>& codebooks)
        : z_(composite.dim),
          n_(composite.n),
          composite_(phasors_of(composite)),
          u_{std::vector<double>(z_), std::vector<double>(z_)},
          x_(z_),
          y_(z_) {
        books_.reserve(codebooks.size());
        for (const Codebook& book : codebooks) {
            std::vector<PhasorVec>& table = books_.emplace_back();
            table.reserve(book.size());
            for (const PhaseHVec& e : book) table.push_back(phasors_of(e));
        }
        estimates_.reserve(books_.size());
        for (const std::vector<PhasorVec>& book : books_) {
            clear_accumulators();
            for (const PhasorVec& e : book)
                for (std::size_t j = 0; j < z_; ++j) {
                    x_[j] = x_[j] + e.re[j];
                    y_[j] = y_[j] + e.im[j];
                }
            PhasorVec& estimate =
                estimates_.emplace_back(PhasorVec{std::vector<double>(z_), std::vector<double>(z_)});
            quantize_phasor(x_, y_, n_, estimate);
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
            for (std::size_t f = 0; f < books_.size(); ++f)
                current[f] = best_match(books_[f], estimates_[f], z_).index;
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

    std::vector<FactorMatch> results() const {
        std::vector<FactorMatch> out;
        out.reserve(books_.size());
        for (std::size_t f = 0; f < books_.size(); ++f) out.push_back(best_match(books_[f], estimates_[f], z_));
        return out;
    }

private:
    void clear_accumulators() {
        std::fill(x_.begin(), x_.end(), 0.0);
        std::fill(y_.begin(), y_.end(), 0.0);
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
        for (const PhasorVec& e : books_[f]) {
            const double w = dot(e, u_.re, u_.im);
            for (std::size_t j = 0; j < z_; ++j) {
                x_[j] = x_[j] + (e.re[j] * w);
                y_[j] = y_[j] + (e.im[j] * w);
            }
        }
        quantize_phasor(x_, y_, n_, estimates_[f]);
    }

    std::uint64_t z_;
    std::uint32_t n_;
    PhasorVec composite_;
    std::vector<std::vector<PhasorVec>> books_;
    std::vector<PhasorVec> estimates_;
    PhasorVec u_;
    std::vector<double> x_, y_;
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
