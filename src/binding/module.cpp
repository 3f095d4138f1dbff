// Module initialisation: multi-phase, with one execution step that sets the
// docstring, the class and the function and lists each name in __all__. No
// multiple-interpreters slot: an interpreter with its own lock refuses the
// module with an ImportError, since the class is shared by the process.
#include "binding/errors.hpp"
#include "binding/interface_names.hpp"
#include "binding/operations.hpp"
#include "binding/phase_hvec_type.hpp"

namespace velmora::py {
namespace {

constexpr const char* kModuleDoc =
    "Deterministic, verifiable vector-symbolic (VSA) memory on a quantized-phase substrate.";

// Lists `name` in the module's __all__ (creating it on first use) and sets the attribute.
ExpectedStatus add_to_module(PyObject* module, PyObject* name, PyObject* value) {
    Ref all(PyObject_GetAttrString(module, names::kAll));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return take_pending();
        PyErr_Clear();
        all = Ref(PyList_New(0));
        if (!all) return take_pending();
        if (PyObject_SetAttrString(module, names::kAll, all.get()) < 0) return take_pending();
    }
    if (PyList_Append(all.get(), name) < 0) {
        PyErr_Clear();
        return PyError::panic(names::kAllAppendFailed);
    }
    if (PyObject_SetAttr(module, name, value) < 0) return take_pending();
    return Ok{};
}

ExpectedStatus add_to_module(PyObject* module, const char* name, PyObject* value) {
    VELMORA_TRY(key, checked(PyUnicode_FromString(name)));
    return add_to_module(module, key.get(), value);
}

int exec_module(PyObject* module) {
    return guard([&]() -> ExpectedStatus {
        VELMORA_TRY(doc, checked(PyUnicode_FromString(kModuleDoc)));
        VELMORA_TRY(doc_added, add_to_module(module, names::kModuleDocAttribute, doc.get()));
        VELMORA_TRY(cls, phase_hvec_class());
        VELMORA_TRY(cls_added, add_to_module(module, names::kClass, cls));
        VELMORA_TRY(module_name, checked(PyModule_GetNameObject(module)));
        VELMORA_TRY(function, checked(PyCMethod_New(&resonator_factorize_def, module, module_name.get(), nullptr)));
        VELMORA_TRY(function_name, checked(PyObject_GetAttrString(function.get(), "__name__")));
        (void)doc_added, (void)cls_added;
        return add_to_module(module, function_name.get(), function.get());
    });
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
#ifdef Py_GIL_DISABLED
    // Safe without the lock: vectors are immutable, the class and the
    // internal-error type are created once under a mutex (once_cell.hpp), the
    // kernel choices are function-local constants, and the table cache and
    // its memos are thread-safe (core/phase_tables.hpp). Without this slot
    // importing the module would switch the lock back on for the process.
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "velmora", "", 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace velmora::py

PyMODINIT_FUNC PyInit_velmora(void) { return PyModuleDef_Init(&velmora::py::module_def); }
