#include "binding/operations.hpp"

#include <algorithm>
#include <cmath>

#include "binding/arguments.hpp"
#include "binding/detach.hpp"
#include "binding/interface_names.hpp"
#include "binding/phase_hvec_type.hpp"
#include "core/phase_resonator.hpp"
#include "core/phase_similarities.hpp"

namespace velmora::py {
namespace {

constexpr CallSignature kRandom{names::kClass, "random", {"dim", "n", "seed"}, 3, 3};
constexpr CallSignature kBind{names::kClass, "bind", {"other"}, 1, 1};
constexpr CallSignature kUnbind{names::kClass, "unbind", {"other"}, 1, 1};
constexpr CallSignature kSimilarity{names::kClass, "similarity", {"other"}, 1, 1};
constexpr CallSignature kBundle{names::kClass, "bundle", {"items"}, 1, 1};
constexpr CallSignature kPermute{names::kClass, "permute", {"shifts"}, 1, 0};
constexpr CallSignature kPower{names::kClass, "power", {"exponent"}, 1, 1};
constexpr CallSignature kSimilarities{names::kClass, "similarities", {"items"}, 1, 1};
constexpr CallSignature kResonator{nullptr, "resonator_factorize", {"composite", "codebooks", "max_iter"}, 3, 2};

constexpr CallSignature kFactorize{names::kClass, "factorize", {"codebooks", "max_iter"}, 2, 1};

constexpr std::uint64_t kDefaultMaxIter = 50;

// Each wrapper runs its core operation through `detached` (detach.hpp): on a
// free-threaded interpreter the computation does not hold up a pause that
// stops every thread. The element-wise ones do so only from kDetachFromDim
// phases on; the operations over many vectors always do.

template <class T>
Expected<T> core(Result<T>&& result) {
    if (result) return std::move(result).value();
    return PyError::from_core(std::move(result).error());
}

Expected<Ref> new_vector(Result<PhaseHVec>&& result) {
    VELMORA_TRY(value, core(std::move(result)));
    return new_instance(std::move(value));
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

// A list of `count` items, item k made by `make(k)` (an Expected<Ref>).
template <class Make>
Expected<Ref> new_list(std::size_t count, Make&& make) {
    VELMORA_TRY(list, result_object(PyList_New(static_cast<Py_ssize_t>(count))));
    for (std::size_t k = 0; k < count; ++k) {
        VELMORA_TRY(item, make(k));
        if (PyList_SetItem(list.get(), static_cast<Py_ssize_t>(k), item.release()) < 0) return result_object(nullptr);
    }
    return std::move(list);
}

// [(index, similarity), ...], one pair per factor.
Expected<Ref> factor_list(const std::vector<FactorMatch>& matches) {
    return new_list(matches.size(), [&](std::size_t k) -> Expected<Ref> {
        VELMORA_TRY(index, result_object(PyLong_FromUnsignedLongLong(matches[k].index)));
        VELMORA_TRY(similarity, result_object(PyFloat_FromDouble(matches[k].similarity)));
        return result_object(PyTuple_Pack(2, index.get(), similarity.get()));
    });
}

PyObject* random_method(PyObject*, PyObject* args, PyObject* kwargs) {
    return guard([&]() -> Expected<Ref> {
        VELMORA_TRY(slots, bind_arguments(kRandom, args, kwargs));
        VELMORA_TRY(dim, argument(to_u64(slots[0]), "dim"));
        VELMORA_TRY(n, argument(to_u32(slots[1]), "n"));
        VELMORA_TRY(seed, argument(to_u64(slots[2]), "seed"));
        VELMORA_TRY(valid, core(check_resolution(n)));
        (void)valid;
        return new_vector(detached([&] { return generate(dim, n, seed); }, dim >= kDetachFromDim));
    });
}

PyObject* bind_method(PyObject* self, PyObject* args, PyObject* kwargs) {
    return binary(kBind, self, args, kwargs, [](const PhaseHVec& a, const PhaseHVec& b) {
        return new_vector(detached([&] { return bind(a, b); }, a.dim >= kDetachFromDim));
    });
}

PyObject* unbind_method(PyObject* self, PyObject* args, PyObject* kwargs) {
    return binary(kUnbind, self, args, kwargs, [](const PhaseHVec& a, const PhaseHVec& b) {
        return new_vector(detached([&] { return unbind(a, b); }, a.dim >= kDetachFromDim));
    });
}

PyObject* similarity_method(PyObject* self, PyObject* args, PyObject* kwargs) {
    return binary(kSimilarity, self, args, kwargs, [](const PhaseHVec& a, const PhaseHVec& b) -> Expected<Ref> {
        VELMORA_TRY(value, core(detached([&] { return similarity(a, b); }, a.dim >= kDetachFromDim)));
        return result_object(PyFloat_FromDouble(value));
    });
}

// The keyword-only `weights` of bundle, taken out of `kwargs` so that the
// binder sees exactly the one-parameter call it always has and its messages
// stay as they are. Null `weights` when absent (or None).
struct BundleKeywords {
    Ref rest;                    // kwargs without "weights"; null if none remain
    PyObject* weights = nullptr;  // borrowed from the caller's kwargs
};

Expected<BundleKeywords> split_weights(PyObject* kwargs) {
    if (kwargs == nullptr) return BundleKeywords{};
    VELMORA_TRY(key, checked(PyUnicode_FromString("weights")));
    PyObject* weights = PyDict_GetItemWithError(kwargs, key.get());
    if (weights == nullptr) {
        if (PyErr_Occurred()) return take_pending();
        return BundleKeywords{Ref::borrow(kwargs), nullptr};
    }
    VELMORA_TRY(rest, checked(PyDict_Copy(kwargs)));
    if (PyDict_DelItem(rest.get(), key.get()) < 0) return take_pending();
    return BundleKeywords{PyDict_Size(rest.get()) > 0 ? std::move(rest) : Ref(),
                          weights == Py_None ? nullptr : weights};
}

// The weights as the core takes them, with the refusals the core cannot make
// itself (a negative or overflowing Python int never reaches 64 bits).
Expected<std::vector<std::uint64_t>> bundle_weights(PyObject* given, std::size_t items) {
    VELMORA_TRY(clamped, argument(extract_clamped_ints(given), "weights"));
    if (clamped.size() != items) return PyError::deferred(PyExc_ValueError, kWeightsLengthMessage);
    std::vector<std::uint64_t> weights;
    weights.reserve(clamped.size());
    std::uint64_t total = 0;
    for (std::int64_t w : clamped)
        if (w < 0) return PyError::deferred(PyExc_ValueError, "weights must be non-negative");
    for (std::int64_t w : clamped) {
        const auto weight = static_cast<std::uint64_t>(w);
        if (weight > kMaxBundleWeight - total) return PyError::deferred(PyExc_OverflowError, kWeightsOverflowMessage);
        total += weight;
        weights.push_back(weight);
    }
    return weights;
}

PyObject* bundle_method(PyObject*, PyObject* args, PyObject* kwargs) {
    return guard([&]() -> Expected<Ref> {
        VELMORA_TRY(keywords, split_weights(kwargs));
        VELMORA_TRY(slots, bind_arguments(kBundle, args, keywords.rest.get()));
        VELMORA_TRY(items, argument(borrow_vector_list(slots[0]), "items"));
        const std::span<const PhaseHVec* const> values(items.values);
        if (keywords.weights == nullptr) return new_vector(detached([&] { return bundle(values); }));
        VELMORA_TRY(weights, bundle_weights(keywords.weights, values.size()));
        return new_vector(detached([&] { return bundle(values, std::span<const std::uint64_t>(weights)); }));
    });
}

// An exponent with __index__, or a real one whose binary64 value is
// integral, takes the exact integer path: the binary64 product of a large
// integral x would round (and from 2^63 saturate) where (k e) mod n does not.
PyObject* power_method(PyObject* self, PyObject* args, PyObject* kwargs) {
    return guard([&]() -> Expected<Ref> {
        VELMORA_TRY(slots, bind_arguments(kPower, args, kwargs));
        const PhaseHVec& v = vector_of(self);
        PyObject* given = slots[0];
        Ref integral;
        if (!PyIndex_Check(given)) {
            const double x = PyFloat_AsDouble(given);
            if (x == -1.0 && PyErr_Occurred()) return take_pending().noted("exponent");
            if (!std::isfinite(x)) return PyError::deferred(PyExc_ValueError, "exponent must be finite");
            if (std::floor(x) != x)
                return new_vector(detached([&] { return power_real(v, x); }, v.dim >= kDetachFromDim));
            VELMORA_TRY(whole, checked(PyLong_FromDouble(x)));
            integral = std::move(whole);
            given = integral.get();
        }
        VELMORA_TRY(e, argument(to_residue(given, v.n), "exponent"));
        const auto exponent = static_cast<std::uint32_t>(e);
        return new_vector(detached([&] { return power_int(v, exponent); }, v.dim >= kDetachFromDim));
    });
}

PyObject* permute_method(PyObject* self, PyObject* args, PyObject* kwargs) {
    return guard([&]() -> Expected<Ref> {
        VELMORA_TRY(slots, bind_arguments(kPermute, args, kwargs));
        const PhaseHVec& v = vector_of(self);
        // dim 0 has no rotation to pick, but the argument is still converted
        // so that a wrong type is refused alike at every dimension.
        std::uint64_t shift = 1 % std::max<std::uint64_t>(v.dim, 1);
        if (slots[0] != nullptr) {
            VELMORA_TRY(reduced, argument(to_residue(slots[0], std::max<std::uint64_t>(v.dim, 1)), "shifts"));
            shift = reduced;
        }
        return new_vector(detached([&] { return permute(v, shift); }, v.dim >= kDetachFromDim));
    });
}

PyObject* phases_method(PyObject* self, PyObject*) {
    return guard([&]() -> Expected<Ref> {
        const PhaseHVec& v = vector_of(self);
        return new_list(v.dim, [&](std::size_t i) { return result_object(PyLong_FromLong(v.phases[i])); });
    });
}

// a.similarities(items): `items` taken as bundle takes them, read in place.
PyObject* similarities_method(PyObject* self, PyObject* args, PyObject* kwargs) {
    return guard([&]() -> Expected<Ref> {
        VELMORA_TRY(slots, bind_arguments(kSimilarities, args, kwargs));
        VELMORA_TRY(items, argument(borrow_vector_list(slots[0]), "items"));
        const PhaseHVec& a = vector_of(self);
        const std::span<const PhaseHVec* const> vectors(items.values);
        VELMORA_TRY(values, core(detached([&] { return similarities(a, vectors); })));
        return new_list(values.size(), [&](std::size_t k) { return result_object(PyFloat_FromDouble(values[k])); });
    });
}

PyObject* resonator_factorize_function(PyObject*, PyObject* args, PyObject* kwargs) {
    return guard([&]() -> Expected<Ref> {
        VELMORA_TRY(slots, bind_arguments(kResonator, args, kwargs));
        VELMORA_TRY(composite, argument(to_phase_hvec(slots[0]), "composite"));
        VELMORA_TRY(codebooks, argument(extract_codebooks(slots[1]), "codebooks"));
        VELMORA_TRY(max_iter, argument(slots[2] != nullptr ? to_u64(slots[2]) : Expected<std::uint64_t>(kDefaultMaxIter),
                                       "max_iter"));
        const PhaseHVec& c = vector_of(composite);
        VELMORA_TRY(matches, core(detached([&](InterruptCheck stop) {
            return resonator_factorize(c, codebooks, max_iter, stop);
        })));
        return factor_list(matches);
    });
}

// c.factorize(codebooks, max_iter=None): the arguments taken as
// resonator_factorize takes them; None picks the cap from the problem size.
PyObject* factorize_method(PyObject* self, PyObject* args, PyObject* kwargs) {
    return guard([&]() -> Expected<Ref> {
        VELMORA_TRY(slots, bind_arguments(kFactorize, args, kwargs));
        VELMORA_TRY(codebooks, argument(extract_codebooks(slots[0]), "codebooks"));
        const bool capped = slots[1] != nullptr && slots[1] != Py_None;
        VELMORA_TRY(max_iter, argument(capped ? to_u64(slots[1]) : Expected<std::uint64_t>(factorize_default_cap(codebooks)),
                                       "max_iter"));
        const PhaseHVec& c = vector_of(self);
        VELMORA_TRY(matches, core(detached([&](InterruptCheck stop) {
            return factorize(c, codebooks, max_iter, stop);
        })));
        return factor_list(matches);
    });
}

template <class Method>
PyCFunction as_cfunction(Method method) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(method));
}

}  // namespace

// The class's methods, in the order of the class's namespace. A new method
// is a wrapper above (its CallSignature at the top of this file) and one row
// here; the class object picks the table up as it is.
PyMethodDef phase_hvec_methods[] = {
    {"random", as_cfunction(random_method), METH_VARARGS | METH_KEYWORDS | METH_STATIC,
     "random(dim, n, seed)\n--\n\nA random phase vector of `dim` dimensions at resolution `n` (phase levels,\n"
     "2..=65536), deterministic in `seed`."},
    {"bind", as_cfunction(bind_method), METH_VARARGS | METH_KEYWORDS,
     "bind($self, other)\n--\n\nBind two vectors (phase-add mod N). Non-self-inverse; inverse is `unbind`."},
    {"unbind", as_cfunction(unbind_method), METH_VARARGS | METH_KEYWORDS,
     "unbind($self, other)\n--\n\nUnbind (phase-sub mod N). `a.bind(b).unbind(b) == a`."},
    {"similarity", as_cfunction(similarity_method), METH_VARARGS | METH_KEYWORDS,
     "similarity($self, other)\n--\n\nSimilarity: mean cosine of phase differences, in [-1, 1]."},
    {"bundle", as_cfunction(bundle_method), METH_VARARGS | METH_KEYWORDS | METH_STATIC,
     // The text callers and stored introspection rely on stays as it was;
     // the keyword-only `weights` is documented in the stubs and the API
     // reference.
     "bundle(items)\n--\n\nDeterministic superposition (bundle) of a list of phase vectors."},
    {"phases", as_cfunction(phases_method), METH_NOARGS,
     "phases($self)\n--\n\nThe raw phase indices as a list of ints in [0, n)."},
    {"similarities", as_cfunction(similarities_method), METH_VARARGS | METH_KEYWORDS,
     "similarities($self, items)\n--\n\nSimilarities to many vectors at once: a list of floats whose element k is exactly\n"
     "`self.similarity(items[k])`."},
    {"factorize", as_cfunction(factorize_method), METH_VARARGS | METH_KEYWORDS,
     "factorize($self, codebooks, max_iter=None)\n--\n\n"
     "Factor this composite into one entry per codebook: a list of `(index, similarity)`,\n"
     "`similarity` the entry's coherence (|mean unit phasor of the phase differences|, in\n"
     "[0, 1]) with its final estimate. Stops once the chosen entries bound together explain\n"
     "the composite; restarts from seeded estimates when a run settles or cycles unverified.\n"
     "`max_iter` caps the sweeps in all; None means 0.001 x the product of the codebook\n"
     "sizes, clamped to 100..=10000."},
    {"permute", as_cfunction(permute_method), METH_VARARGS | METH_KEYWORDS,
     "permute($self, shifts=1)\n--\n\nCyclic rotation of the components, as numpy.roll of the phases: component i\n"
     "lands at (i + shifts) mod dim. `shifts` is any int; `v.permute(k).permute(-k)` has the phases of `v`."},
    {"power", as_cfunction(power_method), METH_VARARGS | METH_KEYWORDS,
     "power($self, exponent)\n--\n\nPhase-wise power. An int e gives (k * e) mod n exactly, for any size and sign;\n"
     "a real x rounds (signed k) * x to the nearest lattice point (halves away from zero).\n"
     "For ints, `v.power(a).bind(v.power(b))` has the phases of `v.power(a + b)`."},
    {nullptr, nullptr, 0, nullptr},
};

PyMethodDef resonator_factorize_def = {
    "resonator_factorize",
    as_cfunction(resonator_factorize_function),
    METH_VARARGS | METH_KEYWORDS,
    "resonator_factorize(composite, codebooks, max_iter=50)\n--\n\n"
    "Factor a composite `bind(f0, f1, ...)` into one codebook index per factor via the\n"
    "deterministic resonator. Returns `(index, similarity)` for each factor.",
};

}  // namespace velmora::py
