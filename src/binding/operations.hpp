// The wrappers that join each Python-visible operation to its core operation:
// bind the arguments, convert them in parameter order, run the core, convert
// the result. Each is entry-guarded. They are reached through the tables
// below, which sit beside them in operations.cpp.
#pragma once

#include "binding/python.hpp"

namespace velmora::py {

// The methods of the PhaseHVec class, ending with the empty entry; the
// class object installs this table.
extern PyMethodDef phase_hvec_methods[];

// The record of the module-level function resonator_factorize.
extern PyMethodDef resonator_factorize_def;

}  // namespace velmora::py
