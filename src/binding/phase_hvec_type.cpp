#include "binding/phase_hvec_type.hpp"

#include <cstdio>
#include <new>
#include <string>
#include <utility>

#include "binding/interface_names.hpp"
#include "binding/once_cell.hpp"

namespace velmora::py {
namespace {

constexpr const char* kClassDoc =
    "A quantized-phase hypervector: `dim` phases in `Z_N`. Binding is phase-add mod N\n"
    "(not self-inverse), bundling is a deterministic integer fold, similarity is the\n"
    "mean cosine of phase differences.";

OnceCell class_cell;

// How instances are allocated: the class's allocator (inherited from
// object), which is what object's constructor would call after checking its
// arguments. Set once, before the class object is published.
allocfunc class_alloc = nullptr;
// And how they are released: the class's tp_free, read once with the allocator.
freefunc class_free = nullptr;

PyObject* get_dim(PyObject* self, void*) {
    return guard([&]() { return result_object(PyLong_FromUnsignedLongLong(vector_of(self).dim)); });
}

PyObject* get_n(PyObject* self, void*) {
    return guard([&]() { return result_object(PyLong_FromUnsignedLongLong(vector_of(self).n)); });
}

PyGetSetDef properties[] = {
    {"dim", get_dim, nullptr, nullptr, nullptr},
    {"n", get_n, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* repr(PyObject* self) {
    return guard([&]() {
        const PhaseHVec& v = vector_of(self);
        char text[64];
        std::snprintf(text, sizeof text, "PhaseHVec(dim=%llu, n=%lu)", static_cast<unsigned long long>(v.dim),
                      static_cast<unsigned long>(v.n));
        return result_object(PyUnicode_FromString(text));
    });
}

PyObject* refuse_new(PyTypeObject* type, PyObject*, PyObject*) {
    return guard([&]() -> Expected<Ref> {
        PyObject* cls = reinterpret_cast<PyObject*>(type);
        return PyError::deferred(PyExc_TypeError, "cannot create '" +
                                                      attribute_text(cls, "__module__", names::kUnknownName) + "." +
                                                      attribute_text(cls, "__qualname__", names::kUnknownName) +
                                                      "' instances");
    });
}

void dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    auto* instance = reinterpret_cast<PhaseHVecObject*>(self);
    if (instance->constructed) instance->value().~PhaseHVec();
    auto free_instance = class_free != nullptr ? class_free : reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    if (free_instance == nullptr) {
        // Cannot happen for a heap type; report rather than leak silently.
        PyErr_Clear();
        PyError::panic("PhaseHVec has no tp_free slot").raise();
        PyErr_WriteUnraisable(self);
    } else {
        free_instance(self);
    }
    Py_DECREF(type);
}

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>(kClassDoc)},
    {Py_tp_repr, reinterpret_cast<void*>(repr)},
    {Py_tp_methods, phase_hvec_methods},
    {Py_tp_getset, properties},
    {Py_tp_base, &PyBaseObject_Type},
    {Py_tp_new, reinterpret_cast<void*>(refuse_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {0, nullptr},
};

PyType_Spec spec = {
    names::kClassTypeName,
    static_cast<int>(sizeof(PhaseHVecObject)),
    0,
    Py_TPFLAGS_DEFAULT,
    slots,
};

Expected<Ref> create_class() {
    Ref cls(PyType_FromSpec(&spec));
    if (!cls) return take_pending();
    // New instances come straight from the class's allocator: object.__new__
    // would only add argument checks that no internal call needs.
    class_alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(reinterpret_cast<PyTypeObject*>(cls.get()), Py_tp_alloc));
    if (class_alloc == nullptr) return take_pending();
    class_free = reinterpret_cast<freefunc>(PyType_GetSlot(reinterpret_cast<PyTypeObject*>(cls.get()), Py_tp_free));
    if (class_free == nullptr) return take_pending();
    return cls;
}

}  // namespace

const PhaseHVec& no_vector() noexcept {
    // Built on first use and never destroyed, so it stays readable however
    // late in the life of the process an instance is read.
    alignas(PhaseHVec) static unsigned char storage[sizeof(PhaseHVec)];
    static const PhaseHVec* const empty = ::new (static_cast<void*>(storage)) PhaseHVec{PhaseArray(), 0, 0};
    return *empty;
}

Expected<PyObject*> phase_hvec_class() {
    return class_cell.get_or_init([]() -> Expected<Ref> {
        Expected<Ref> made = create_class();
        if (made) return made;
        return PyError::caused(PyExc_RuntimeError, names::kClassInitFailed,
                               std::move(made).error());
    });
}

Expected<PyObject*> phase_hvec_class_for_operation() {
    if (PyObject* cls = class_cell.peek()) return cls;
    Expected<PyObject*> cls = phase_hvec_class();
    if (cls) return cls;
    std::move(cls).error().raise();
    PyErr_WriteUnraisable(nullptr);
    return PyError::panic(names::kClassCreateFailed);
}

Expected<Ref> new_instance(PhaseHVec&& value) {
    VELMORA_TRY(cls, phase_hvec_class_for_operation());
    PyTypeObject* type = reinterpret_cast<PyTypeObject*>(cls);
    Ref instance(class_alloc(type, 0));
    if (!instance) return take_pending();
    auto* object = reinterpret_cast<PhaseHVecObject*>(instance.get());
    ::new (static_cast<void*>(object->storage)) PhaseHVec(std::move(value));
    object->constructed = true;
    return instance;
}

}  // namespace velmora::py
