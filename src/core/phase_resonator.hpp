// Deterministic resonator factorisation.
//
// Given a composite vector that is (approximately) the binding of one entry
// from each of F codebooks, the resonator keeps one estimate per factor and
// sweeps over the factors: unbind the other estimates from the composite,
// weight every entry of the factor's codebook by its raw dot product with the
// remainder, superpose the codebook with those weights and snap the result to
// the composite's phase lattice. It stops once the best-matching indices have
// been the same for four sweeps in a row, or after `max_iter` sweeps.
//
// All work is on unit phasors in double precision with a fixed order of
// operations and no fused multiply-add, with correctly rounded cos, sin and
// atan2 (math/correctly_rounded.hpp), so results are the same on every machine.
//
// The composite's dim (Z) and n govern the computation; every entry's phasors
// use the entry's own n. Entries must have exactly Z phases: a shorter or
// longer entry is an internal error "index out of bounds: ..." naming the
// access that would first fail (short entries while forming the initial
// estimates, then long entries when first scored). Empty codebooks and an
// empty list of codebooks are fine.
#pragma once

#include <cstdint>
#include <vector>

#include "core/phase_hvec.hpp"

namespace velmora {

struct FactorMatch {
    std::uint64_t index;
    double similarity;
};

// Polled between sweeps; returning true abandons the call with
// Error::Kind::Interrupted.
struct InterruptCheck {
    bool (*poll)(void* context) = nullptr;
    void* context = nullptr;
    bool operator()() const { return poll != nullptr && poll(context); }
};


Result<std::vector<FactorMatch>> resonator_factorize(const PhaseHVec& composite,
                                                     const std::vector<Codebook>& codebooks,
                                                     std::uint64_t max_iter,
                                                     InterruptCheck interrupt = {});

// The number of sweeps a call ran and whether it stopped by convergence, for
// callers that want to observe the stopping rule.
struct ResonatorTrace {
    std::uint64_t sweeps = 0;
    bool converged = false;
};

Result<std::vector<FactorMatch>> resonator_factorize_traced(const PhaseHVec& composite,
                                                            const std::vector<Codebook>& codebooks,
                                                            std::uint64_t max_iter,
                                                            InterruptCheck interrupt,
                                                            ResonatorTrace& trace);

// Factorisation that keeps going past the reference resonator's stopping
// rule. The same sweep (sequential updates, estimates snapped to the
// lattice); after every sweep each factor reads out the entry of highest
// coherence with its estimate (|mean unit phasor of the phase differences|,
// so an estimate that carries a constant offset still names its entry), and
// the call stops as soon as those entries, bound together, explain the
// composite: their coherence with it is at least kVerifiedCoherence(z). A run
// that reaches a fixed point, revisits a state or outlives its sweep budget
// restarts from estimates drawn from a seed derived from the composite, until
// `max_iter` sweeps have run in all. Without a verified answer the result is
// the read-out whose bound entries had the highest coherence with the
// composite. Every entry must have the composite's dim and n, and no
// codebook may be empty.
inline constexpr const char* kEmptyCodebookMessage = "cannot factorize with an empty codebook";

// The sweep cap used when the caller gives none: 0.001 times the size of the
// search space (the product of the codebook sizes), at least 100 and at most
// 10000.
std::uint64_t factorize_default_cap(const std::vector<Codebook>& codebooks);

Result<std::vector<FactorMatch>> factorize(const PhaseHVec& composite, const std::vector<Codebook>& codebooks,
                                           std::uint64_t max_iter, InterruptCheck interrupt = {});

// The sweeps factorize ran, its restarts and whether it stopped verified.
struct FactorizeTrace {
    std::uint64_t sweeps = 0;
    std::uint64_t restarts = 0;
    bool verified = false;
};

Result<std::vector<FactorMatch>> factorize_traced(const PhaseHVec& composite, const std::vector<Codebook>& codebooks,
                                                  std::uint64_t max_iter, InterruptCheck interrupt,
                                                  FactorizeTrace& trace);

}  // namespace velmora
