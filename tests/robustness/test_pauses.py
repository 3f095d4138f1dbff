"""Long calls and the interpreter's pauses: on a free-threaded interpreter a
call detaches while it computes, so a collection started on another thread
(which must stop every attached thread) does not wait for it; signal handlers
still run between sweeps, attached."""

import signal
import sys
import sysconfig

import pytest

from support.checks import benchmark, run_python

FREE_THREADED = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))
pauses = benchmark("pauses")


@pytest.mark.skipif(not FREE_THREADED, reason="under a GIL every call holds the lock until it returns, "
                                             "so a collection on another thread waits for it by design")
@pytest.mark.thread_unsafe(reason="times a collection, which stops every thread, against one call")
@pytest.mark.parametrize("index", range(len(pauses.LONG_CALLS)),
                         ids=[name.split(" (")[0] for name, _ in pauses.LONG_CALLS])
def test_a_collection_does_not_wait_for_a_long_call(index):
    # In a fresh interpreter, so that the collection's own work is that of a
    # small heap, not of whatever the suite has left alive so far.
    took, collected = map(float, run_python("""
        import pauses
        print(*pauses.collection_during(pauses.LONG_CALLS[%d][1](), delay=0.05))
    """ % index).split())
    # A call attached throughout would hold the collection for the rest of
    # itself, nine tenths of its time; detached, it is a few milliseconds.
    assert collected < took / 4, "gc.collect() took %.3f s beside a call of %.3f s" % (collected, took)


@pytest.mark.skipif(sys.platform == "win32" or not hasattr(signal, "setitimer"), reason="needs POSIX timers")
def test_signal_handlers_run_python_code_between_sweeps():
    # The handler allocates, collects and calls velmora: Python code that
    # could only run attached. Its third run raises, which ends the call.
    out = run_python("""
        import gc, signal, velmora
        P = velmora.PhaseHVec
        runs = []
        def handler(signum, frame):
            runs.append(P.random(64, 16, len(runs)).similarity(P.random(64, 16, 99)))
            gc.collect()
            if len(runs) == 3:
                signal.setitimer(signal.ITIMER_REAL, 0)
                raise LookupError("stop")
        signal.signal(signal.SIGALRM, handler)
        # n = 4, three books of 32: the indices cycle and never settle.
        composite = P.random(16, 4, 3)
        books = [[P.random(16, 4, 3000 + 100 * f + i + 1) for i in range(32)] for f in range(3)]
        signal.setitimer(signal.ITIMER_REAL, 0.02, 0.02)
        try:
            velmora.resonator_factorize(composite, books, max_iter=10 ** 9)
        except LookupError as exc:
            print(exc, len(runs))
    """)
    assert out.split() == ["stop", "3"]
