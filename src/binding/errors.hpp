// Errors on the interpreter side of the module, and the one place where they
// become Python exceptions.
//
// A `PyError` is one of four forms: deferred (an exception class and its
// message, made into an exception object only when raised), materialised (an
// exception object fetched from the interpreter), an internal failure (raised
// as the panic exception of interface_names.hpp), or out of memory. Every
// wrapper returns `Expected<Ref>`; the entry guard raises the error, so
// nothing in between sets the interpreter's pending exception.
#pragma once

#include <cstdint>
#include <new>
#include <source_location>
#include <string>
#include <type_traits>
#include <variant>

#include "binding/python.hpp"
#include "core/result.hpp"

namespace velmora::py {

class PyError {
public:
    // A built-in exception class (borrowed: the built-in classes live as long
    // as the interpreter) and its message; `cause`, when set, becomes the new
    // exception's __cause__.
    struct Deferred {
        PyObject* type;
        std::string message;
        Ref cause;
    };
    // An exception object taken from the interpreter, with its traceback.
    struct Materialised {
        Ref type, value, traceback;
    };
    // An internal failure, raised as the panic exception. Its message is
    // `text`, or the str object `resumed` when the failure came back from
    // Python code.
    struct Panic {
        std::string text;
        Ref resumed;
    };
    // MemoryError saying what could not be allocated: `phases` phases, or
    // memory in general when 0. If even the message cannot be made, the
    // interpreter's own preallocated MemoryError goes out instead.
    struct NoMemory {
        std::uint64_t phases = 0;
    };

    using Form = std::variant<Deferred, Materialised, Panic, NoMemory>;

    template <class F>
        requires std::is_constructible_v<Form, F&&>
    PyError(F&& form) : form_(std::forward<F>(form)) {}

    static PyError deferred(PyObject* type, std::string message);
    // The same, with `cause` becoming the new exception's __cause__.
    static PyError caused(PyObject* type, std::string message, PyError cause);
    // An internal failure: writes the failure report to stderr now.
    static PyError panic(std::string message,
                         std::source_location where = std::source_location::current());
    // Core errors: domain -> ValueError, internal -> PanicException,
    // out of memory -> MemoryError, interrupted -> the pending exception.
    static PyError from_core(Error&& error);

    bool is_panic() const noexcept { return std::holds_alternative<Panic>(form_); }

    // Argument failures keep their exception and gain the note
    // "while processing '<parameter>'" where the interpreter supports notes.
    PyError noted(const char* parameter) &&;

    // Sets this error as the interpreter's pending exception.
    void raise() &&;

private:
    // Returns the exception object, creating it if deferred; null with an
    // exception pending if that fails.
    Ref instantiate() &&;

    Form form_;

    friend PyError take_pending();
};

template <class T>
using Expected = Result<T, PyError>;
using ExpectedStatus = StatusOf<PyError>;

// The interpreter's pending exception as an error. A PanicException raised by
// Python code that the module called back is reported and resumed as an
// internal failure; if nothing is pending, SystemError.
PyError take_pending();

// The exception class for internal failures, created once per process.
Expected<PyObject*> panic_type();

// str() of the attribute `name` of `obj` as UTF-8, or `fallback` if it is
// missing or not a str; any error on the way is cleared.
std::string attribute_text(PyObject* obj, const char* name, const char* fallback);

// Runs a wrapper body and converts its outcome for the interpreter: for a
// body returning Expected<Ref>, the result object or null; for one returning
// ExpectedStatus (slots that report failure as -1), 0 or -1. On failure the
// error is raised. C++ exceptions never cross this line.
template <class Body, class Outcome = std::invoke_result_t<Body&>,
          class Return = std::conditional_t<std::is_same_v<Outcome, ExpectedStatus>, int, PyObject*>>
Return guard(Body&& body) noexcept {
    constexpr bool status = std::is_same_v<Return, int>;
    try {
        Outcome result = body();
        if (result) {
            if constexpr (status)
                return 0;
            else
                return result.value().release();
        }
        std::move(result).error().raise();
    } catch (const std::bad_alloc&) {
        PyError(PyError::NoMemory{}).raise();
    } catch (const std::exception& e) {
        PyError::panic(std::string("unexpected C++ exception: ") + e.what()).raise();
    } catch (...) {
        PyError::panic("unexpected C++ exception").raise();
    }
    if constexpr (status)
        return -1;
    else
        return nullptr;
}

// Returns `obj` wrapped, or the pending error if `obj` is null.
inline Expected<Ref> checked(PyObject* obj) {
    if (obj == nullptr) return take_pending();
    return Ref(obj);
}

// Returns `created` wrapped. A failure to build a result's int, float, str,
// list or tuple is an internal failure, not an error of the call.
inline Expected<Ref> result_object(PyObject* created) {
    if (created != nullptr) return Ref(created);
    PyErr_Clear();
    return PyError::panic("failed to create a result object");
}

}  // namespace velmora::py

// Unwraps an Expected into `name`, or returns its error from the enclosing
// function.
#define VELMORA_TRY(name, expr)                                   \
    auto name##_result = (expr);                                  \
    if (!name##_result) return std::move(name##_result).error();  \
    auto&& name = std::move(name##_result).value()
