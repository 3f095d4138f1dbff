// A process-wide object created once, on first need, and kept for the life of
// the process.
//
// A thread that finds the cell empty gives up the interpreter lock before it
// waits for the cell's mutex and takes the lock back only once it holds the
// mutex. No thread ever blocks on the mutex while holding the interpreter
// lock, so two threads cannot deadlock, even when the initialiser itself runs
// Python code that lets other threads in.
//
// The same holds on a free-threaded interpreter, where there is no lock to
// serialise callers: the cell's value is published with a release store
// after the object is complete (and whatever the initialiser set beside it),
// and read with an acquire load, so a thread that sees the object sees it
// whole; the mutex lets one thread create it. Giving up the lock there
// detaches the thread from the interpreter, so a thread waiting for the
// mutex never holds up a collection that has to stop every thread.
#pragma once

#include <atomic>
#include <mutex>
#include <type_traits>

#include "binding/python.hpp"
#include "core/result.hpp"

namespace velmora::py {

class OnceCell {
public:
    PyObject* peek() const noexcept { return value_.load(std::memory_order_acquire); }

    // `init` returns Result<Ref, E>, for an error type E with a static
    // panic(message); its object is stored on success. The returned pointer
    // is borrowed from the cell.
    template <class Init, class Error = typename std::invoke_result_t<Init&>::error_type>
    Result<PyObject*, Error> get_or_init(Init&& init) {
        if (PyObject* p = peek()) return p;
        // The initialiser may run Python code (an import) that needs this
        // very cell again on the same thread: waiting for the mutex would
        // then never end, so that is an internal failure instead.
        const unsigned long me = thread_ident();
        if (initialising_.load(std::memory_order_acquire) == me)
            return Error::panic("process-wide object needed again while it was being created");
        PyThreadState* state = PyEval_SaveThread();
        std::unique_lock<std::mutex> guard(mutex_);
        PyEval_RestoreThread(state);
        if (PyObject* p = peek()) return p;
        struct Marker {  // cleared however init() ends, a C++ exception included
            std::atomic<unsigned long>& cell;
            ~Marker() { cell.store(0, std::memory_order_release); }
        } marker{initialising_};
        initialising_.store(me, std::memory_order_release);
        Result<Ref, Error> made = init();
        if (!made) return std::move(made).error();
        PyObject* p = made.value().release();
        value_.store(p, std::memory_order_release);
        return p;
    }

private:
    std::atomic<PyObject*> value_{nullptr};
    std::atomic<unsigned long> initialising_{0};  // thread running init, or 0
    std::mutex mutex_;
};

}  // namespace velmora::py
