// The PhaseHVec class: its process-wide class object, and the conversion of
// vector values to and from instances.
#pragma once

#include "binding/errors.hpp"
#include "core/phase_hvec.hpp"

namespace velmora::py {

// An instance: the object header, then the vector it owns. Instances are
// immutable once created.
struct PhaseHVecObject {
    PyObject_HEAD
    PhaseHVec value;
};

inline const PhaseHVec& vector_of(PyObject* instance) {
    return reinterpret_cast<PhaseHVecObject*>(instance)->value;
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

}  // namespace velmora::py
