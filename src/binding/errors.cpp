#include "binding/errors.hpp"

#include <cstring>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#endif

#include "binding/interface_names.hpp"
#include "binding/once_cell.hpp"

namespace velmora::py {
namespace {

constexpr const char* kPanicTypeDoc =
    "Raised when velmora's native code fails while it is called from Python: a\n"
    "broken internal invariant, such as a failed assertion or an index outside an\n"
    "array, rather than a problem with the arguments.\n"
    "\n"
    "Like SystemExit, it derives from BaseException, not Exception, so that an\n"
    "ordinary `except Exception` handler does not catch it: it will typically\n"
    "propagate all the way through the stack and make the interpreter exit.";

OnceCell panic_type_cell;

// Source paths are reported from the project's root down, wherever the
// tree was built: the build names the root it compiled (VELMORA_SOURCE_ROOT,
// with a trailing slash), and a file under it loses that prefix. Searching
// the path for "src/" instead would stop at the first folder whose name ends
// in "src" above the tree. The separators are compared loosely, since a
// Windows compiler may spell them either way.
const char* short_path(const char* file) {
#ifdef VELMORA_SOURCE_ROOT
    const char* root = VELMORA_SOURCE_ROOT;
    const char* rest = file;
    for (; *root != '\0'; ++root, ++rest) {
        const bool separators = (*root == '/' || *root == '\\') && (*rest == '/' || *rest == '\\');
        if (*root != *rest && !separators) return file;
    }
    return rest;
#else
    return file;
#endif
}

}  // namespace

// PyThread_get_thread_ident is GetCurrentThreadId on Windows, and the
// python3.dll of Windows CPython 3.9 does not export it (3.10's does): calling
// it there would keep the module from loading.
unsigned long thread_ident() noexcept {
#ifdef _WIN32
    return GetCurrentThreadId();
#else
    return PyThread_get_thread_ident();
#endif
}

namespace {

void report_internal_failure(const char* file, unsigned line, const char* message) {
    PySys_WriteStderr("velmora: internal failure in thread %lu at %s:%u:\n", thread_ident(),
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
        return PyError::deferred(PyExc_SystemError, names::kNothingPending);
    PyErr_NormalizeException(&type, &value, &traceback);
    if (value != nullptr && traceback != nullptr) PyException_SetTraceback(value, traceback);
    return PyError::Materialised{Ref(type), Ref(value), Ref(traceback)};
}

// The class a panic is raised as. If the panic type's own creation failed
// internally (a finalizer that fails while it runs, say), raising that
// failure would need this same type again, without end, so the message goes
// out as a SystemError instead. Null with the creation error pending if it
// failed otherwise.
PyObject* panic_class() {
    Expected<PyObject*> type = panic_type();
    if (type) return type.value();
    PyError failure = std::move(type).error();
    if (failure.is_panic()) return PyExc_SystemError;
    std::move(failure).raise();
    return nullptr;
}

// A new exception of class `type` with `message` as its one argument.
Ref exception_object(PyObject* type, Ref message) {
    if (!message) return Ref();
    return Ref(PyObject_CallFunctionObjArgs(type, message.get(), nullptr));
}

Ref text_object(const std::string& text) { return Ref(PyUnicode_FromStringAndSize(text.data(), text.size())); }

// "cannot allocate N phases", or "cannot allocate memory" when the count is
// not known; null (with MemoryError pending) if the text itself cannot be made.
Ref allocation_message(std::uint64_t phases) {
    if (phases == 0) return Ref(PyUnicode_FromString(names::kNoMemoryMessage));
    return Ref(PyUnicode_FromFormat(names::kNoPhasesFormat, static_cast<unsigned long long>(phases)));
}

}  // namespace

Expected<PyObject*> panic_type() {
    return panic_type_cell.get_or_init([]() -> Expected<Ref> {
        PyObject* type = PyErr_NewExceptionWithDoc(names::kPanicType, kPanicTypeDoc, PyExc_BaseException, nullptr);
        if (type == nullptr) return fetch_pending();
        return Ref(type);
    });
}

PyError PyError::deferred(PyObject* type, std::string message) {
    return Deferred{type, std::move(message), Ref()};
}

PyError PyError::caused(PyObject* type, std::string message, PyError cause) {
    Ref cause_object = std::move(cause).instantiate();
    if (!cause_object) PyErr_Clear();  // the cause is context only; the error itself stands
    return Deferred{type, std::move(message), std::move(cause_object)};
}

PyError PyError::panic(std::string message, std::source_location where) {
    report_internal_failure(where.file_name(), where.line(), message.c_str());
    return Panic{std::move(message), Ref()};
}

PyError PyError::from_core(Error&& error) {
    switch (error.kind) {
        case Error::Kind::Domain:
            return deferred(PyExc_ValueError, std::move(error.message));
        case Error::Kind::OutOfMemory:
            return NoMemory{error.phases};
        case Error::Kind::Interrupted:
            return take_pending();
        case Error::Kind::Internal:
            break;
    }
    report_internal_failure(error.file, error.line, error.message.c_str());
    return Panic{std::move(error.message), Ref()};
}

Ref PyError::instantiate() && {
    if (auto* m = std::get_if<Materialised>(&form_)) return std::move(m->value);
    if (auto* m = std::get_if<NoMemory>(&form_)) return exception_object(PyExc_MemoryError, allocation_message(m->phases));
    if (auto* d = std::get_if<Deferred>(&form_)) {
        Ref exception = exception_object(d->type, text_object(d->message));
        if (exception && d->cause) PyException_SetCause(exception.get(), d->cause.release());
        return exception;
    }
    auto& p = std::get<Panic>(form_);
    PyObject* type = panic_class();
    if (type == nullptr) return Ref();
    return exception_object(type, p.resumed ? std::move(p.resumed) : text_object(p.text));
}

PyError PyError::noted(const char* parameter) && {
    if (is_panic()) return std::move(*this);
    auto* m = std::get_if<Materialised>(&form_);
    Ref traceback = m != nullptr ? std::move(m->traceback) : Ref();
    Ref exception = std::move(*this).instantiate();
    if (!exception) return take_pending();
    std::string note = std::string(names::kNotePrefix) + parameter + names::kNoteSuffix;
    add_note(exception.get(), note.c_str());
    Ref type = Ref::borrow(reinterpret_cast<PyObject*>(Py_TYPE(exception.get())));
    return Materialised{std::move(type), std::move(exception), std::move(traceback)};
}

void PyError::raise() && {
    if (auto* d = std::get_if<Deferred>(&form_); d != nullptr && !d->cause) {
        PyErr_SetString(d->type, d->message.c_str());
        return;
    }
    if (auto* m = std::get_if<NoMemory>(&form_)) {
        Ref message = allocation_message(m->phases);
        if (message) PyErr_SetObject(PyExc_MemoryError, message.get());
        return;  // otherwise the failure to make the message left MemoryError pending
    }
    if (auto* m = std::get_if<Materialised>(&form_)) {
        PyErr_Restore(m->type.release(), m->value.release(), m->traceback.release());
        return;
    }
    Ref exception = std::move(*this).instantiate();
    if (!exception) return;  // instantiate left its own failure pending
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception.get())), exception.get());
}

std::string attribute_text(PyObject* obj, const char* name, const char* fallback) {
    Ref value(PyObject_GetAttrString(obj, name));
    if (value && PyUnicode_Check(value.get())) {
        Ref utf8(PyUnicode_AsUTF8String(value.get()));
        char* bytes = nullptr;
        Py_ssize_t length = 0;
        if (utf8 && PyBytes_AsStringAndSize(utf8.get(), &bytes, &length) == 0) return std::string(bytes, length);
    }
    PyErr_Clear();
    return fallback;
}

PyError take_pending() {
    PyError pending = fetch_pending();
    auto* m = std::get_if<PyError::Materialised>(&pending.form_);
    if (m == nullptr) return pending;
    // If the type cannot be created, nothing can have raised it.
    Expected<PyObject*> panic = panic_type();
    if (!panic || m->type.get() != panic.value()) return pending;

    // A PanicException raised by Python code that we called: show where it
    // came from, then carry on as our own internal failure.
    PySys_WriteStderr("velmora: resuming an internal failure raised from Python code.\n");
    PySys_WriteStderr("Python stack trace below:\n");
    PyErr_Display(m->type.get(), m->value.get(), m->traceback.get());
    Ref text(PyObject_Str(m->value.get()));
    if (!text) {
        PyErr_Clear();
        text = Ref(PyUnicode_FromString(names::kUnwrappedPanic));
        if (!text) return take_pending();
    }
    return PyError::Panic{std::string(), std::move(text)};
}

}  // namespace velmora::py
