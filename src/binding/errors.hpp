// Errors on the interpreter side of the module, and the one place where they
// become Python exceptions.
//
// A `PyError` is either deferred (an exception class and its message, made
// into an exception object only when raised), materialised (an exception
// object fetched from the interpreter), or an internal failure, raised as
// `ovra_runtime.PanicException`. Every wrapper returns `Expected<Ref>`; the
// entry guard raises the error, so nothing in between sets the interpreter's
// pending exception.
#pragma once

#include <new>
#include <source_location>
#include <string>

#include "binding/python.hpp"
#include "core/result.hpp"

namespace velmora::py {

class PyError {
public:
    // `type` is a built-in exception class (borrowed, immortal for our purposes).
    static PyError deferred(PyObject* type, std::string message);
    // The same, with `cause` becoming the new exception's __cause__.
    static PyError caused(PyObject* type, std::string message, PyError cause);
    static PyError no_memory();
    // An internal failure: writes the failure report to stderr now.
    static PyError panic(std::string message,
                         std::source_location where = std::source_location::current());
    static PyError panic_from_object(Ref message);
    static PyError materialised(Ref type, Ref value, Ref traceback);
    // Core errors: domain -> ValueError, internal -> PanicException,
    // out of memory -> MemoryError, interrupted -> the pending exception.
    static PyError from_core(Error&& error);

    bool is_panic() const noexcept { return form_ == Form::Panic; }

    // Argument failures keep their exception and gain the note
    // "while processing '<parameter>'" where the interpreter supports notes.
    PyError noted(const char* parameter) &&;

    // Sets this error as the interpreter's pending exception.
    void raise() &&;

    PyError(PyError&&) noexcept = default;
    PyError& operator=(PyError&&) noexcept = default;

private:
    enum class Form { Deferred, Materialised, Panic, NoMemory };
    PyError(Form form) : form_(form) {}
    // Returns the exception object, creating it if deferred; null with an
    // exception pending if that fails.
    Ref instantiate() &&;

    Form form_;
    PyObject* type_ = nullptr;  // borrowed built-in class for Deferred
    std::string message_;
    Ref message_object_;         // Panic resumed from Python: str() of the original
    Ref value_, traceback_, materialised_type_;
    Ref cause_;                  // materialised exception object for caused()

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

// Runs a wrapper body and converts its outcome for the interpreter: the result
// object, or null with the error raised. C++ exceptions never cross this line.
template <class Body>
PyObject* guard(Body&& body) noexcept {
    try {
        Expected<Ref> result = body();
        if (result) return result.value().release();
        std::move(result).error().raise();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        PyError::panic(std::string("unexpected C++ exception: ") + e.what()).raise();
    } catch (...) {
        PyError::panic("unexpected C++ exception").raise();
    }
    return nullptr;
}

// The same for slots that report failure as -1.
template <class Body>
int guard_status(Body&& body) noexcept {
    try {
        ExpectedStatus result = body();
        if (result) return 0;
        std::move(result).error().raise();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        PyError::panic(std::string("unexpected C++ exception: ") + e.what()).raise();
    } catch (...) {
        PyError::panic("unexpected C++ exception").raise();
    }
    return -1;
}

// Returns `obj` wrapped, or the pending error if `obj` is null.
inline Expected<Ref> checked(PyObject* obj) {
    if (obj == nullptr) return take_pending();
    return Ref(obj);
}

}  // namespace velmora::py

// Unwraps an Expected into `name`, or returns its error from the enclosing
// function.
#define VELMORA_TRY(name, expr)                                   \
    auto name##_result = (expr);                                  \
    if (!name##_result) return std::move(name##_result).error();  \
    auto&& name = std::move(name##_result).value()
