#include "binding/operations.hpp"

#include "binding/arguments.hpp"
#include "binding/phase_hvec_type.hpp"
#include "core/phase_resonator.hpp"
#include "core/phase_similarities.hpp"

namespace velmora::py {
namespace {

constexpr CallSignature kRandom{"PhaseHVec", "random", {"dim", "n", "seed"}, 3, 3};
constexpr CallSignature kBind{"PhaseHVec", "bind", {"other"}, 1, 1};
constexpr CallSignature kUnbind{"PhaseHVec", "unbind", {"other"}, 1, 1};
constexpr CallSignature kSimilarity{"PhaseHVec", "similarity", {"other"}, 1, 1};
constexpr CallSignature kBundle{"PhaseHVec", "bundle", {"items"}, 1, 1};
constexpr CallSignature kResonator{nullptr, "resonator_factorize", {"composite", "codebooks", "max_iter"}, 3, 2};

constexpr std::uint64_t kDefaultMaxIter = 50;

template <class T>
Expected<T> core(Result<T>&& result) {
    if (result) return std::move(result).value();
    return PyError::from_core(std::move(result).error());
}

Expected<Ref> new_vector(Result<PhaseHVec>&& result) {
    VELMORA_TRY(value, core(std::move(result)));
    return new_instance(std::move(value));
}

// A failure to build a list, tuple, int or float of a result is an internal
// failure, not an error of the call.
Expected<Ref> built(PyObject* created) {
    if (created != nullptr) return Ref(created);
    PyErr_Clear();
    return PyError::panic("failed to create a result object");
}

// bind, unbind and similarity: one PhaseHVec argument, `other`.
template <class Op>
PyObject* binary(const CallSignature& signature, PyObject* self, PyObject* args, PyObject* kwargs, Op op) {
    return guard([&]() -> Expected<Ref> {
        // The common call, one positional argument: what the binder would
        // bind, without its general path.
        PyObject* given = nullptr;
        if (kwargs == nullptr && PyTuple_Size(args) == 1) given = PyTuple_GetItem(args, 0);
        if (given == nullptr) {
            VELMORA_TRY(slots, bind_arguments(signature, args, kwargs));
            given = slots[0];
        }
        VELMORA_TRY(other, argument(to_phase_hvec(given), "other"));
        return op(vector_of(self), vector_of(other));
    });
}

bool signal_raised(void*) { return PyErr_CheckSignals() != 0; }

Expected<Ref> factor_list(const std::vector<FactorMatch>& matches) {
    VELMORA_TRY(list, built(PyList_New(static_cast<Py_ssize_t>(matches.size()))));
    for (std::size_t k = 0; k < matches.size(); ++k) {
        VELMORA_TRY(index, built(PyLong_FromUnsignedLongLong(matches[k].index)));
        VELMORA_TRY(similarity, built(PyFloat_FromDouble(matches[k].similarity)));
        VELMORA_TRY(pair, built(PyTuple_Pack(2, index.get(), similarity.get())));
        if (PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k), pair.release()) < 0) return built(nullptr);
    }
    return std::move(list);
}

}  // namespace

PyObject* random_method(PyObject*, PyObject* args, PyObject* kwargs) {
    return guard([&]() -> Expected<Ref> {
        VELMORA_TRY(slots, bind_arguments(kRandom, args, kwargs));
        VELMORA_TRY(dim, argument(to_u64(slots[0]), "dim"));
        VELMORA_TRY(n, argument(to_u32(slots[1]), "n"));
        VELMORA_TRY(seed, argument(to_u64(slots[2]), "seed"));
        VELMORA_TRY(valid, core(check_resolution(n)));
        (void)valid;
        return new_vector(generate(dim, n, seed));
    });
}

PyObject* bind_method(PyObject* self, PyObject* args, PyObject* kwargs) {
    return binary(kBind, self, args, kwargs,
                  [](const PhaseHVec& a, const PhaseHVec& b) { return new_vector(bind(a, b)); });
}

PyObject* unbind_method(PyObject* self, PyObject* args, PyObject* kwargs) {
    return binary(kUnbind, self, args, kwargs,
                  [](const PhaseHVec& a, const PhaseHVec& b) { return new_vector(unbind(a, b)); });
}

PyObject* similarity_method(PyObject* self, PyObject* args, PyObject* kwargs) {
    return binary(kSimilarity, self, args, kwargs, [](const PhaseHVec& a, const PhaseHVec& b) -> Expected<Ref> {
        VELMORA_TRY(value, core(similarity(a, b)));
        return built(PyFloat_FromDouble(value));
    });
}

PyObject* bundle_method(PyObject*, PyObject* args, PyObject* kwargs) {
    return guard([&]() -> Expected<Ref> {
        VELMORA_TRY(slots, bind_arguments(kBundle, args, kwargs));
        VELMORA_TRY(items, argument(borrow_vector_list(slots[0]), "items"));
        return new_vector(bundle(std::span<const PhaseHVec* const>(items.values)));
    });
}

PyObject* phases_method(PyObject* self, PyObject*) {
    return guard([&]() -> Expected<Ref> {
        const PhaseHVec& v = vector_of(self);
        VELMORA_TRY(list, built(PyList_New(static_cast<Py_ssize_t>(v.dim))));
        for (std::size_t i = 0; i < v.dim; ++i) {
            VELMORA_TRY(phase, built(PyLong_FromLong(v.phases[i])));
            PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), phase.release());
        }
        return std::move(list);
    });
}

PyObject* resonator_factorize_function(PyObject*, PyObject* args, PyObject* kwargs) {
    return guard([&]() -> Expected<Ref> {
        VELMORA_TRY(slots, bind_arguments(kResonator, args, kwargs));
        VELMORA_TRY(composite, argument(to_phase_hvec(slots[0]), "composite"));
        VELMORA_TRY(codebooks, argument(extract_codebooks(slots[1]), "codebooks"));
        VELMORA_TRY(max_iter, argument(slots[2] != nullptr ? to_u64(slots[2]) : Expected<std::uint64_t>(kDefaultMaxIter),
                                       "max_iter"));
        VELMORA_TRY(matches, core(resonator_factorize(vector_of(composite), codebooks, max_iter,
                                                      InterruptCheck{signal_raised, nullptr})));
        return factor_list(matches);
    });
}

// a.similarities(items): `items` taken as bundle takes them, read in place.
namespace {

constexpr CallSignature kSimilarities{"PhaseHVec", "similarities", {"items"}, 1, 1};

Expected<Ref> float_list(const std::vector<double>& values) {
    VELMORA_TRY(list, built(PyList_New(static_cast<Py_ssize_t>(values.size()))));
    for (std::size_t k = 0; k < values.size(); ++k) {
        VELMORA_TRY(value, built(PyFloat_FromDouble(values[k])));
        if (PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k), value.release()) < 0) return built(nullptr);
    }
    return std::move(list);
}

}  // namespace

PyObject* similarities_method(PyObject* self, PyObject* args, PyObject* kwargs) {
    return guard([&]() -> Expected<Ref> {
        VELMORA_TRY(slots, bind_arguments(kSimilarities, args, kwargs));
        VELMORA_TRY(items, argument(borrow_vector_list(slots[0]), "items"));
        VELMORA_TRY(values, core(similarities(vector_of(self), std::span<const PhaseHVec* const>(items.values))));
        return float_list(values);
    });
}

}  // namespace velmora::py
