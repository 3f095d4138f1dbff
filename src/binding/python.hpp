// The interpreter's headers, limited to the stable ABI of 3.9, and an owning
// reference wrapper used throughout the binding. A free-threaded interpreter
// has no such ABI: the build compiles against its full API instead (the
// binding uses only calls of the limited one either way).
#pragma once

#if !defined(Py_LIMITED_API) && !defined(Py_GIL_DISABLED)
#define Py_LIMITED_API 0x03090000
#endif
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace velmora::py {

// The calling thread's identifier, the number threading.get_ident() gives.
unsigned long thread_ident() noexcept;

// Owns one strong reference (or none).
class Ref {
public:
    Ref() noexcept = default;
    explicit Ref(PyObject* owned) noexcept : p_(owned) {}
    static Ref borrow(PyObject* p) noexcept {
        Py_XINCREF(p);
        return Ref(p);
    }
    Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    Ref& operator=(Ref&& other) noexcept {
        if (this != &other) {
            PyObject* old = std::exchange(p_, std::exchange(other.p_, nullptr));
            Py_XDECREF(old);
        }
        return *this;
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { Py_XDECREF(p_); }

    PyObject* get() const noexcept { return p_; }
    PyObject* release() noexcept { return std::exchange(p_, nullptr); }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    PyObject* p_ = nullptr;
};

}  // namespace velmora::py
