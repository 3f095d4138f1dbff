#include "binding/arguments.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "binding/interface_names.hpp"
#include "binding/once_cell.hpp"
#include "binding/phase_hvec_type.hpp"

namespace velmora::py {
namespace {

// A claimed length only sizes the first allocation; a __len__ may lie.
constexpr Py_ssize_t kMaxReservation = 1024;

OnceCell sequence_class_cell;

std::string full_name(const CallSignature& s) {
    std::string name = s.owner != nullptr ? std::string(s.owner) + "." : std::string();
    return name + s.name + "()";
}

PyError binding_error(const CallSignature& s, const std::string& rest) {
    return PyError::deferred(PyExc_TypeError, full_name(s) + rest);
}

PyError too_many_positional(const CallSignature& s, Py_ssize_t given) {
    std::string takes = s.required == s.count
                            ? std::to_string(s.count)
                            : "from " + std::to_string(s.required) + " to " + std::to_string(s.count);
    return binding_error(s, " takes " + takes + " positional arguments but " + std::to_string(given) + " " +
                                (given == 1 ? "was" : "were") + " given");
}

PyError missing_required(const CallSignature& s, const std::vector<const char*>& names) {
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) list += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
        list += std::string("'") + names[i] + "'";
    }
    return binding_error(s, " missing " + std::to_string(names.size()) + " required positional " +
                                (names.size() == 1 ? "argument" : "arguments") + ": " + list);
}

// str(key) may run Python code (a str subclass's __str__), so the message is
// formatted by the interpreter and its failure propagates.
PyError unexpected_keyword(const CallSignature& s, PyObject* key) {
    Ref message(PyUnicode_FromFormat("%s got an unexpected keyword argument '%S'", full_name(s).c_str(), key));
    if (!message) return take_pending();
    Ref exception(PyObject_CallFunctionObjArgs(PyExc_TypeError, message.get(), nullptr));
    if (!exception) return take_pending();
    return PyError::Materialised{Ref::borrow(PyExc_TypeError), std::move(exception), Ref()};
}

// The index of the parameter whose name equals the UTF-8 form of `key`, or
// count if none does (keys that are not str or cannot be encoded match none).
std::size_t parameter_index(const CallSignature& s, PyObject* key) {
    if (!PyUnicode_Check(key)) return s.count;
    Ref utf8(PyUnicode_AsUTF8String(key));
    if (!utf8) {
        PyErr_Clear();
        return s.count;
    }
    char* bytes = nullptr;
    Py_ssize_t length = 0;
    if (PyBytes_AsStringAndSize(utf8.get(), &bytes, &length) < 0) {
        PyErr_Clear();
        return s.count;
    }
    for (std::size_t i = 0; i < s.count; ++i) {
        const char* name = s.parameters[i];
        if (std::strlen(name) == static_cast<std::size_t>(length) && std::memcmp(name, bytes, length) == 0)
            return i;
    }
    return s.count;
}

// The __qualname__ of a type, or a placeholder if it cannot be read.
std::string qualified_name(PyObject* type) {
    return attribute_text(type, "__qualname__", names::kUnreadableTypeName);
}

PyError not_an_instance(PyObject* obj, PyObject* expected) {
    std::string message = "'";
    if (obj == Py_None)
        message.append("None' is not");
    else
        message.append(qualified_name(reinterpret_cast<PyObject*>(Py_TYPE(obj)))).append("' object is not");
    message.append(" an instance of '").append(qualified_name(expected)).append("'");
    return PyError::deferred(PyExc_TypeError, std::move(message));
}

Expected<PyObject*> sequence_class() {
    return sequence_class_cell.get_or_init([]() -> Expected<Ref> {
        Ref abc(PyImport_ImportModule("collections.abc"));
        Ref sequence(abc ? PyObject_GetAttrString(abc.get(), "Sequence") : nullptr);
        if (!sequence) {
            PyErr_Clear();
            return PyError::panic("failed to look up collections.abc.Sequence");
        }
        return sequence;
    });
}

// The steps shared by every sequence argument: refuse str, require the
// sequence protocol, then convert the items in iteration order. The reported
// length is only a hint for the first allocation.
template <class Item, class Convert>
Expected<std::vector<Item>> extract_sequence(PyObject* obj, Convert&& convert_item) {
    if (PyType_GetFlags(Py_TYPE(obj)) & Py_TPFLAGS_UNICODE_SUBCLASS)
        return PyError::deferred(PyExc_TypeError, names::kStrIsNotASequence);
    if (!PySequence_Check(obj)) {
        VELMORA_TRY(sequence, sequence_class());
        return not_an_instance(obj, sequence);
    }
    std::vector<Item> items;
    const Py_ssize_t hint = PyObject_Size(obj);
    if (hint < 0)
        PyErr_Clear();
    else
        items.reserve(static_cast<std::size_t>(std::min(hint, kMaxReservation)));

    Ref iterator(PyObject_GetIter(obj));
    if (!iterator) return take_pending();
    while (Ref item{PyIter_Next(iterator.get())}) {
        VELMORA_TRY(value, convert_item(item.get()));
        items.push_back(std::move(value));
    }
    if (PyErr_Occurred()) return take_pending();
    return items;
}

Expected<PhaseHVec> copy_vector(PyObject* item) {
    VELMORA_TRY(instance, to_phase_hvec(item));
    return PhaseHVec(vector_of(instance));
}

}  // namespace

Expected<ArgumentSlots> bind_arguments(const CallSignature& s, PyObject* args, PyObject* kwargs) {
    ArgumentSlots slots{};
    const Py_ssize_t given = PyTuple_Size(args);
    if (given < 0) return take_pending();
    const std::size_t positional = std::min(static_cast<std::size_t>(given), s.count);
    for (std::size_t i = 0; i < positional; ++i) slots[i] = PyTuple_GetItem(args, static_cast<Py_ssize_t>(i));
    if (static_cast<std::size_t>(given) > s.count) return too_many_positional(s, given);

    if (kwargs != nullptr) {
        Py_ssize_t position = 0;
        PyObject *key = nullptr, *value = nullptr;
        while (PyDict_Next(kwargs, &position, &key, &value)) {
            const std::size_t i = parameter_index(s, key);
            if (i == s.count) return unexpected_keyword(s, key);
            if (slots[i] != nullptr)
                return binding_error(s, std::string(" got multiple values for argument '") + s.parameters[i] + "'");
            slots[i] = value;
        }
    }

    if (static_cast<std::size_t>(given) < s.required) {
        std::vector<const char*> missing;
        for (std::size_t i = 0; i < s.required; ++i)
            if (slots[i] == nullptr) missing.push_back(s.parameters[i]);
        if (!missing.empty()) return missing_required(s, missing);
    }
    return slots;
}

Expected<std::uint64_t> to_u64(PyObject* obj) {
    Ref index;
    if (!PyLong_Check(obj)) {
        index = Ref(PyNumber_Index(obj));
        if (!index) return take_pending();
        obj = index.get();
    }
    const unsigned long long value = PyLong_AsUnsignedLongLong(obj);
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return take_pending();
    return static_cast<std::uint64_t>(value);
}

Expected<std::uint64_t> to_residue(PyObject* obj, std::uint64_t modulus) {
    VELMORA_TRY(index, checked(PyNumber_Index(obj)));
    VELMORA_TRY(divisor, checked(PyLong_FromUnsignedLongLong(modulus)));
    // Python's remainder takes the divisor's sign, so the result lies in [0, modulus).
    VELMORA_TRY(rest, checked(PyNumber_Remainder(index.get(), divisor.get())));
    return to_u64(rest.get());
}

Expected<std::vector<std::int64_t>> extract_clamped_ints(PyObject* obj) {
    return extract_sequence<std::int64_t>(obj, [](PyObject* item) -> Expected<std::int64_t> {
        VELMORA_TRY(index, checked(PyNumber_Index(item)));
        int overflow = 0;
        const long long value = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
        if (value == -1 && PyErr_Occurred()) return take_pending();
        if (overflow > 0) return std::numeric_limits<std::int64_t>::max();
        if (overflow < 0) return std::numeric_limits<std::int64_t>::min();
        return static_cast<std::int64_t>(value);
    });
}

Expected<std::uint32_t> to_u32(PyObject* obj) {
    VELMORA_TRY(value, to_u64(obj));
    if (value > 0xFFFFFFFFull)
        return PyError::deferred(PyExc_OverflowError, names::kOutOfRange32);
    return static_cast<std::uint32_t>(value);
}

Expected<PyObject*> to_phase_hvec(PyObject* obj) {
    VELMORA_TRY(cls, phase_hvec_class_for_operation());
    if (Py_TYPE(obj) == reinterpret_cast<PyTypeObject*>(cls) ||
        PyType_IsSubtype(Py_TYPE(obj), reinterpret_cast<PyTypeObject*>(cls)))
        return obj;
    return not_an_instance(obj, cls);
}

Expected<VectorList> borrow_vector_list(PyObject* obj) {
    VELMORA_TRY(owners, extract_sequence<Ref>(obj, [](PyObject* item) -> Expected<Ref> {
        VELMORA_TRY(instance, to_phase_hvec(item));
        return Ref::borrow(instance);
    }));
    VectorList list{std::move(owners), {}};
    list.values.reserve(list.owners.size());
    for (const Ref& owner : list.owners) list.values.push_back(&vector_of(owner.get()));
    return list;
}

Expected<std::vector<PhaseHVec>> extract_vector_list(PyObject* obj) {
    return extract_sequence<PhaseHVec>(obj, copy_vector);
}

Expected<std::vector<std::vector<PhaseHVec>>> extract_codebooks(PyObject* obj) {
    return extract_sequence<std::vector<PhaseHVec>>(obj, extract_vector_list);
}

}  // namespace velmora::py
