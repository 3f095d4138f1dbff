// The wrappers that join each Python-visible operation to its core operation:
// bind the arguments, convert them in parameter order, run the core, convert
// the result. Each is entry-guarded. They are reached through the class's
// method table (declared in phase_hvec_type.hpp) and the module function's
// record below, both defined beside them in operations.cpp.
#pragma once

#include "binding/python.hpp"

namespace velmora::py {

// The record of the module-level function resonator_factorize.
extern PyMethodDef resonator_factorize_def;

}  // namespace velmora::py
