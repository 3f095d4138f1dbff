// The wrappers that join each Python-visible operation to its core operation:
// bind the arguments, convert them in parameter order, run the core, convert
// the result. Each is entry-guarded.
#pragma once

#include "binding/python.hpp"

namespace velmora::py {

PyObject* random_method(PyObject* unused, PyObject* args, PyObject* kwargs);
PyObject* bind_method(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* unbind_method(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* similarity_method(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* bundle_method(PyObject* unused, PyObject* args, PyObject* kwargs);
PyObject* phases_method(PyObject* self, PyObject* unused);
PyObject* similarities_method(PyObject* self, PyObject* args, PyObject* kwargs);
PyObject* resonator_factorize_function(PyObject* module, PyObject* args, PyObject* kwargs);

}  // namespace velmora::py
