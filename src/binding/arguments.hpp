// Binding positional and keyword arguments to parameters, and converting the
// bound objects to the values the core works on.
//
// Each callable describes its parameters once, in a static CallSignature. The
// binder fills an ArgumentSlots array of borrowed references following the
// interpreter's own rules and messages for plain positional-or-keyword
// parameters; it allocates nothing on success.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "binding/errors.hpp"
#include "core/phase_hvec.hpp"

namespace velmora::py {

inline constexpr std::size_t kMaxParameters = 3;

struct CallSignature {
    const char* owner;  // "PhaseHVec" for methods, nullptr for module functions
    const char* name;
    std::array<const char*, kMaxParameters> parameters;  // unused entries are nullptr
    std::size_t count;
    std::size_t required;
};

// Borrowed references; nullptr where an optional parameter was not given.
using ArgumentSlots = std::array<PyObject*, kMaxParameters>;

Expected<ArgumentSlots> bind_arguments(const CallSignature& signature, PyObject* args, PyObject* kwargs);

// Python int (or anything with __index__) -> unsigned 64-bit.
Expected<std::uint64_t> to_u64(PyObject* obj);
// As to_u64, then OverflowError "out of range integral type conversion
// attempted" from 2^32 on.
Expected<std::uint32_t> to_u32(PyObject* obj);

// Python int (or anything with __index__) of any size and sign, reduced
// exactly into [0, modulus); modulus must be at least 1.
Expected<std::uint64_t> to_residue(PyObject* obj, std::uint64_t modulus);

// A sequence (not a str) of ints (or __index__ objects), each clamped to the
// signed 64-bit range: sign and size are the caller's to judge.
Expected<std::vector<std::int64_t>> extract_clamped_ints(PyObject* obj);

// The object itself if it is a PhaseHVec; otherwise the TypeError
// "'<type>' object is not an instance of 'PhaseHVec'".
Expected<PyObject*> to_phase_hvec(PyObject* obj);

// A sequence (not a str) of PhaseHVec in iteration order, read in place: the
// list holds a reference to every item (a sequence may hand out new objects),
// so the values stay valid while the list lives. Refusals as for
// extract_vector_list.
struct VectorList {
    std::vector<Ref> owners;
    std::vector<const PhaseHVec*> values;
};
Expected<VectorList> borrow_vector_list(PyObject* obj);
// A sequence (not a str) of PhaseHVec, copied in iteration order.
Expected<std::vector<PhaseHVec>> extract_vector_list(PyObject* obj);
// A sequence (not a str) of such sequences.
Expected<std::vector<std::vector<PhaseHVec>>> extract_codebooks(PyObject* obj);

// Attaches the note for `parameter` to a failed conversion.
template <class T>
Expected<T> argument(Expected<T>&& converted, const char* parameter) {
    if (converted) return std::move(converted);
    return std::move(converted).error().noted(parameter);
}

}  // namespace velmora::py
