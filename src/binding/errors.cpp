#include "binding/errors.hpp"

#include <cstring>

#include "binding/once_cell.hpp"

namespace velmora::py {
namespace {

constexpr const char* kPanicTypeName = "ovra_runtime.PanicException";
constexpr const char* kPanicTypeDoc =
    "Raised when velmora's native code fails while it is called from Python: a\n"
    "broken internal invariant, such as a failed assertion or an index outside an\n"
    "array, rather than a problem with the arguments.\n"
    "\n"
    "Like SystemExit, it derives from BaseException, not Exception, so that an\n"
    "ordinary `except Exception` handler does not catch it: it will typically\n"
    "propagate all the way through the stack and make the interpreter exit.";

OnceCell panic_type_cell;

// Source paths are reported from the project's src/ directory down.
const char* short_path(const char* file) {
    const char* src = std::strstr(file, "src/");
    return src != nullptr ? src : file;
}

void report_internal_failure(const char* file, unsigned line, const char* message) {
    PySys_WriteStderr("velmora: internal failure in thread %lu at %s:%u:\n", PyThread_get_thread_ident(),
                      short_path(file), line);
    PySys_WriteStderr("  %s\n", message);
}

void add_note(PyObject* exception, const char* text) {
    PyObject* r = PyObject_CallMethod(exception, "add_note", "s", text);
    if (r == nullptr)
        PyErr_Clear();  // no notes before 3.11: the exception goes out without one
    else
        Py_DECREF(r);
}

// The pending exception, normalised, without the PanicException check of
// take_pending (which needs the very type whose creation may be failing).
PyError fetch_pending() {
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (type == nullptr)
        return PyError::deferred(PyExc_SystemError, "attempted to fetch exception but none was set");
    PyErr_NormalizeException(&type, &value, &traceback);
    if (value != nullptr && traceback != nullptr) PyException_SetTraceback(value, traceback);
    return PyError::materialised(Ref(type), Ref(value), Ref(traceback));
}

}  // namespace

Expected<PyObject*> panic_type() {
    return panic_type_cell.get_or_init([]() -> Expected<Ref> {
        PyObject* type = PyErr_NewExceptionWithDoc(kPanicTypeName, kPanicTypeDoc, PyExc_BaseException, nullptr);
        if (type == nullptr) return fetch_pending();
        return Ref(type);
    });
}

PyError PyError::deferred(PyObject* type, std::string message) {
    PyError e(Form::Deferred);
    e.type_ = type;
    e.message_ = std::move(message);
    return e;
}

PyError PyError::caused(PyObject* type, std::string message, PyError cause) {
    PyError e = deferred(type, std::move(message));
    e.cause_ = std::move(cause).instantiate();
    if (!e.cause_) PyErr_Clear();  // the cause is context only; the error itself stands
    return e;
}

PyError PyError::no_memory() { return PyError(Form::NoMemory); }

PyError PyError::panic(std::string message, std::source_location where) {
    report_internal_failure(where.file_name(), where.line(), message.c_str());
    PyError e(Form::Panic);
    e.message_ = std::move(message);
    return e;
}

PyError PyError::panic_from_object(Ref message) {
    PyError e(Form::Panic);
    e.message_object_ = std::move(message);
    return e;
}

PyError PyError::materialised(Ref type, Ref value, Ref traceback) {
    PyError e(Form::Materialised);
    e.materialised_type_ = std::move(type);
    e.value_ = std::move(value);
    e.traceback_ = std::move(traceback);
    return e;
}

PyError PyError::from_core(Error&& error) {
    switch (error.kind) {
        case Error::Kind::Domain:
            return deferred(PyExc_ValueError, std::move(error.message));
        case Error::Kind::OutOfMemory:
            return no_memory();
        case Error::Kind::Interrupted:
            return take_pending();
        case Error::Kind::Internal:
            break;
    }
    report_internal_failure(error.file, error.line, error.message.c_str());
    PyError e(Form::Panic);
    e.message_ = std::move(error.message);
    return e;
}

Ref PyError::instantiate() && {
    switch (form_) {
        case Form::Materialised:
            return std::move(value_);
        case Form::NoMemory:
            return Ref(PyObject_CallObject(PyExc_MemoryError, nullptr));
        case Form::Deferred:
        case Form::Panic: {
            PyObject* type = type_;
            if (form_ == Form::Panic) {
                Expected<PyObject*> t = panic_type();
                if (t) {
                    type = t.value();
                } else {
                    PyError failure = std::move(t).error();
                    if (!failure.is_panic()) {
                        std::move(failure).raise();
                        return Ref();
                    }
                    // The type's own creation failed internally (a finalizer
                    // that fails while it runs, say). Raising that failure
                    // would need this same type again, without end, so the
                    // message goes out as a SystemError instead.
                    type = PyExc_SystemError;
                }
            }
            Ref message = message_object_ ? std::move(message_object_)
                                          : Ref(PyUnicode_FromStringAndSize(message_.data(), message_.size()));
            if (!message) return Ref();
            Ref exception(PyObject_CallFunctionObjArgs(type, message.get(), nullptr));
            if (exception && cause_) PyException_SetCause(exception.get(), cause_.release());
            return exception;
        }
    }
    return Ref();
}

PyError PyError::noted(const char* parameter) && {
    if (form_ == Form::Panic) return std::move(*this);
    Ref traceback = std::move(traceback_);
    Ref exception = std::move(*this).instantiate();
    if (!exception) return take_pending();
    std::string note = std::string("while processing '") + parameter + "'";
    add_note(exception.get(), note.c_str());
    Ref type = Ref::borrow(reinterpret_cast<PyObject*>(Py_TYPE(exception.get())));
    return materialised(std::move(type), std::move(exception), std::move(traceback));
}

void PyError::raise() && {
    switch (form_) {
        case Form::Deferred:
            if (!cause_) {
                PyErr_SetString(type_, message_.c_str());
                return;
            }
            break;
        case Form::NoMemory:
            PyErr_NoMemory();
            return;
        case Form::Materialised:
            PyErr_Restore(materialised_type_.release(), value_.release(), traceback_.release());
            return;
        case Form::Panic:
            break;
    }
    Ref exception = std::move(*this).instantiate();
    if (!exception) return;  // instantiate left its own failure pending
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception.get())), exception.get());
}

PyError take_pending() {
    PyError pending = fetch_pending();
    if (pending.form_ != PyError::Form::Materialised) return pending;
    // If the type cannot be created, nothing can have raised it.
    Expected<PyObject*> panic = panic_type();
    if (!panic || pending.materialised_type_.get() != panic.value()) return pending;

    // A PanicException raised by Python code that we called: show where it
    // came from, then carry on as our own internal failure.
    PySys_WriteStderr("velmora: resuming an internal failure raised from Python code.\n");
    PySys_WriteStderr("Python stack trace below:\n");
    PyErr_Display(pending.materialised_type_.get(), pending.value_.get(), pending.traceback_.get());
    Ref text(PyObject_Str(pending.value_.get()));
    if (!text) {
        PyErr_Clear();
        text = Ref(PyUnicode_FromString("Unwrapped panic from Python code"));
        if (!text) return take_pending();
    }
    return PyError::panic_from_object(std::move(text));
}

}  // namespace velmora::py
