// The PhaseHVec class: its process-wide class object, and the conversion of
// vector values to and from instances.
#pragma once

#include <new>

#include "binding/errors.hpp"
#include "core/phase_hvec.hpp"

namespace velmora::py {

// An instance: the object header, then the vector it owns, built in place by
// new_instance. The class keeps the default type flags, so Python code can
// replace __new__ and allocate an instance through object.__new__; such an
// instance is all zero bytes and its vector was never built. `constructed`
// is therefore read first: zero means "no vector", which reads as no phases
// at n = 0 (a resolution the core refuses) and is never destroyed.
struct PhaseHVecObject {
    PyObject_HEAD
    alignas(PhaseHVec) unsigned char storage[sizeof(PhaseHVec)];
    bool constructed;

    PhaseHVec& value() noexcept { return *std::launder(reinterpret_cast<PhaseHVec*>(storage)); }
};

// What an instance without a vector reads as: no phases, n = 0.
const PhaseHVec& no_vector() noexcept;

inline const PhaseHVec& vector_of(PyObject* instance) {
    auto* self = reinterpret_cast<PhaseHVecObject*>(instance);
    return self->constructed ? self->value() : no_vector();
}

// The class object, created on first use. A creation failure is a
// RuntimeError "An error occurred while initializing class PhaseHVec" caused
// by the underlying error; nothing is stored, so a later call tries again.
Expected<PyObject*> phase_hvec_class();

// The class object for an operation that needs it (an instance check, a new
// result). A creation failure here is reported as unraisable and becomes an
// internal failure.
Expected<PyObject*> phase_hvec_class_for_operation();

// Moves a finished vector into a new instance.
Expected<Ref> new_instance(PhaseHVec&& value);

// The methods the class installs, ending with the empty entry: defined
// beside the wrappers they call (operations.cpp).
extern PyMethodDef phase_hvec_methods[];

}  // namespace velmora::py
