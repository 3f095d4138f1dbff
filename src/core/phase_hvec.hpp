// The phase vector value and the operations on it.
//
// A `PhaseHVec` holds `dim` phases, each an integer k in [0, n) standing for
// the angle 2*pi*k/n, with 2 <= n <= 65536. Values are plain data: the
// functions below never modify their operands and always return a new value
// or an `Error`.
//
// Determinism contract
//   * generate, bind and unbind are exact integer arithmetic.
//   * similarity and bundle use double precision in one fixed order of
//     operations (sums strictly in index order, no fused multiply-add), and
//     their cos, sin and atan2 are correctly rounded (math/correctly_rounded.hpp),
//     so they too give the same bits on every machine.
//
// Errors
//   * Domain errors carry the fixed user-facing message (incompatible
//     operands, a resolution outside 2..=65536, an empty bundle).
//   * Internal errors report broken invariants: "capacity overflow", the
//     bundle's dimension/resolution assertions, and any vector whose fields
//     disagree with each other (a phase >= n, `dim` != the array length).
//     The core checks these rather than reading out of bounds.
//   * OutOfMemory when an allocation fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "core/math/lattice.hpp"
#include "core/result.hpp"

namespace velmora {

// An allocator that leaves new elements uninitialised, so that a phase array
// about to be overwritten in full is not zero-filled first.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() noexcept = default;
    template <class U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}

    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

using PhaseArray = std::vector<std::uint16_t, UninitializedAllocator<std::uint16_t>>;

inline constexpr std::uint32_t kMinResolution = 2;
inline constexpr std::uint32_t kMaxResolution = 65536;
// Arrays of 2^62 or more 16-bit entries would exceed the largest allocation size.
inline constexpr std::uint64_t kMaxDim = (std::uint64_t{1} << 62) - 1;

inline constexpr const char* kIncompatibleMessage =
    "phase vectors differ in dimension or resolution";
inline constexpr const char* kResolutionMessage = "n (phase resolution) must be in 2..=65536";
inline constexpr const char* kEmptyBundleMessage = "cannot bundle an empty list";

struct PhaseHVec {
    PhaseArray phases;
    std::uint64_t dim = 0;
    std::uint32_t n = kMinResolution;
};

// The entries a recall or a factorisation reads, in order.
using Codebook = std::vector<PhaseHVec>;

// Internal error unless `dim` matches the array and n lies in 2..=65536.
Status check_shape(const PhaseHVec& v);
// As check_shape, and every phase is below n.
Status check_consistent(const PhaseHVec& v);

// Domain error unless both have equal dim and equal n.
Status check_compatible(const PhaseHVec& a, const PhaseHVec& b);

// (a + b) mod n, element-wise.
Result<PhaseHVec> bind(const PhaseHVec& a, const PhaseHVec& b);
// (a - b) mod n, element-wise, in [0, n).
Result<PhaseHVec> unbind(const PhaseHVec& a, const PhaseHVec& b);
// Mean over components of cos((a_i - b_i) * 2pi / n), summed in index order;
// exactly 1.0 when dim is 0.
Result<double> similarity(const PhaseHVec& a, const PhaseHVec& b);

// Domain error unless 2 <= n <= 65536 (n as given by the caller, narrowed to 32 bits).
Status check_resolution(std::uint32_t n);
// dim phases from a counter-based mix of `seed` and each index, reduced mod n.
// n must already have passed check_resolution; dim >= 2^62 is an internal
// "capacity overflow".
Result<PhaseHVec> generate(std::uint64_t dim, std::uint32_t n, std::uint64_t seed);

// Superposition: per component, the lattice point nearest to the direction of
// the exact integer sum of the items' table phasors. Empty input is a domain
// error; items whose dim or n differ from the first item's are internal
// assertion failures, checked item by item (dim before n).
// The items are read in place, through pointers (the caller keeps them alive).
Result<PhaseHVec> bundle(std::span<const PhaseHVec* const> items);
Result<PhaseHVec> bundle(std::span<const PhaseHVec> items);
// As bundle of the items with item k repeated weights[k] times, at the cost
// of one pass per item: each table phasor is multiplied by its weight.
// Zero weights drop their items; all zero is the empty-bundle domain error.
// A length mismatch or a total weight above kMaxBundleWeight (whose sums
// would leave 64 bits) are domain errors with the messages below.
inline constexpr std::uint64_t kMaxBundleWeight = std::uint64_t{1} << 48;
inline constexpr const char* kWeightsLengthMessage = "weights must have one entry per item";
inline constexpr const char* kWeightsOverflowMessage =
    "weights too large: the total weight overflows the exact integer sums";
Result<PhaseHVec> bundle(std::span<const PhaseHVec* const> items, std::span<const std::uint64_t> weights);

// (k * e) mod n per phase k, for an exponent already reduced below n.
Result<PhaseHVec> power_int(const PhaseHVec& v, std::uint32_t e);
// Per phase k, its signed value in (-n/2, n/2] times x in binary64, rounded
// with halves away from zero, saturated to 64 bits, reduced mod n; x finite.
Result<PhaseHVec> power_real(const PhaseHVec& v, double x);

// Cyclic rotation: component i lands at (i + shift) mod dim. `shift` must
// already be reduced below dim (any value for dim 0).
Result<PhaseHVec> permute(const PhaseHVec& v, std::uint64_t shift);

}  // namespace velmora
