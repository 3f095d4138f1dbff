// Leaving the interpreter while the core computes.
//
// On a free-threaded interpreter every attached thread has to reach a safe
// point before a stop-the-world pause (a garbage collection started by
// another thread, a thread starting up) can begin. A thread that stays
// attached through a long computation holds that pause, and with it every
// other thread, until the call returns. So a wrapper runs the core operation
// itself detached: `detached(work)` leaves the interpreter, runs `work()` and
// attaches again, however `work` ends.
//
// What `work` may touch while detached: values the call owns (copies, the
// core's own tables) and vectors that the call holds a reference to, read in
// place (the receiver, an argument, the items of a borrowed list). Instances
// never change after creation, so another thread cannot alter them under the
// computation. Nothing in it may call the interpreter: argument conversion
// happens before, and the result object, and any exception object made from
// a core error (PyError::from_core), after, both attached. `work` therefore
// returns a core Result, converted by the caller once attached again.
//
// A `work` that takes an InterruptCheck gets one that runs the interpreter's
// pending signal handlers between sweeps; each poll attaches for its
// duration, since the handlers are Python code.
//
// With a GIL the lock is held through every call, as always: `detached(work)`
// is then `work()` with the plain signal check, and compiles to nothing more.
//
// Usage, one line per wrapper:
//     core(detached([&] { return similarities(a, items); }))
//     core(detached([&](InterruptCheck stop) { return resonator_factorize(c, books, k, stop); }))
//     new_vector(detached([&] { return bind(a, b); }, a.dim >= kDetachFromDim))
#pragma once

#include <concepts>
#include <cstdint>
#include <utility>

#include "binding/python.hpp"
#include "core/phase_resonator.hpp"

namespace velmora::py {

class DetachedScope {
public:
#ifdef Py_GIL_DISABLED
    explicit DetachedScope(bool leave = true) noexcept : state_(leave ? PyEval_SaveThread() : nullptr) {}
    ~DetachedScope() {
        if (state_ != nullptr) PyEval_RestoreThread(state_);
    }
#else
    explicit DetachedScope(bool = true) noexcept {}
#endif
    DetachedScope(const DetachedScope&) = delete;
    DetachedScope& operator=(const DetachedScope&) = delete;

    // Polls the interpreter's signal handlers; true if one raised (its
    // exception is then pending on this thread).
    InterruptCheck interrupt_check() noexcept { return {&poll_signals, this}; }

private:
    static bool poll_signals(void* scope) {
#ifdef Py_GIL_DISABLED
        auto* self = static_cast<DetachedScope*>(scope);
        if (self->state_ == nullptr) return PyErr_CheckSignals() != 0;
        PyEval_RestoreThread(self->state_);
        const bool raised = PyErr_CheckSignals() != 0;
        self->state_ = PyEval_SaveThread();
        return raised;
#else
        (void)scope;
        return PyErr_CheckSignals() != 0;
#endif
    }

#ifdef Py_GIL_DISABLED
    PyThreadState* state_;  // null while attached
#endif
};

// Runs `work()` (or `work(interrupt_check)`) detached from a free-threaded
// interpreter; see above.
template <class Work>
decltype(auto) detached(Work&& work, bool leave = true) {
    DetachedScope scope(leave);
    if constexpr (std::invocable<Work&, InterruptCheck>)
        return std::forward<Work>(work)(scope.interrupt_check());
    else
        return std::forward<Work>(work)();
}

// Element-wise operations on vectors this long or longer detach; below it the
// computation is over in about a microsecond, too short for a pause to notice,
// while leaving and re-entering the interpreter would add a tenth to a small
// call.
inline constexpr std::uint64_t kDetachFromDim = 16384;

}  // namespace velmora::py
