"""Threads sharing vectors and codebooks get the single-threaded results.

Six resolutions against a cache of four tables per kind keep the threads
evicting, rebuilding and lazily refilling the same memos while others read
them. On a free-threaded interpreter the calls really overlap."""

import random
import sys
import sysconfig
import threading

import pytest

from support.checks import run_python
from velmora import PhaseHVec as P
from velmora import resonator_factorize

RESOLUTIONS = (5, 64, 1000, 4099, 30011, 65536)
THREADS = 8


def workload(n):
    """name -> zero-argument call, each over vectors shared by every thread."""
    a, b, c = (P.random(384, n, s) for s in (1, 2, 3))
    short = [P.random(16, n, s) for s in (4, 5, 6)]  # few phasors: the bundle memo at large n
    books = [[P.random(256, n, 10 * f + e) for e in range(5)] for f in range(2)]
    composite = books[0][3].bind(books[1][1])
    return {
        "random": lambda: P.random(200, n, 7),
        "bind": lambda: a.bind(b),
        "unbind": lambda: a.unbind(c),
        "similarity": lambda: a.similarity(b),
        "similarity_short": lambda: short[0].similarity(short[2]),
        "similarities": lambda: a.similarities([b, c, a] * 4),
        "bundle": lambda: P.bundle([a, b, c]),
        "bundle_short": lambda: P.bundle(short),
        "phases": lambda: c.phases(),
        "resonator_factorize": lambda: resonator_factorize(composite, books, max_iter=8),
    }


def comparable(result):
    if isinstance(result, P):
        return ("vector", result.dim, result.n, tuple(result.phases()))
    if isinstance(result, float):
        return result.hex()
    if isinstance(result, list) and result and isinstance(result[0], float):
        return [v.hex() for v in result]
    if isinstance(result, list) and result and isinstance(result[0], tuple):
        return [(i, s.hex()) for i, s in result]
    return result


@pytest.mark.thread_unsafe(reason="starts eight threads of its own; several copies at once only multiply them")
def test_threads_sharing_vectors_get_single_threaded_results():
    calls = [((n, name), call) for n in RESOLUTIONS for name, call in workload(n).items()]
    expected = {key: comparable(call()) for key, call in calls}
    start = threading.Barrier(THREADS)
    wrong, failures = [], []

    def worker(seed):
        try:
            order = calls * 3
            random.Random(seed).shuffle(order)
            start.wait()
            for key, call in order:
                got = comparable(call())
                if got != expected[key]:
                    wrong.append((seed, key))
        except BaseException as exc:  # reported below, not lost in the thread
            failures.append((seed, repr(exc)))

    threads = [threading.Thread(target=worker, args=(seed,)) for seed in range(THREADS)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert failures == []
    assert wrong == []


def test_import_leaves_the_lock_as_the_interpreter_has_it():
    # A free-threaded interpreter keeps the GIL off only if every extension
    # it imports declares that it does not need it.
    free_threaded = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))
    out = run_python("""
        import sys, velmora
        print(getattr(sys, "_is_gil_enabled", lambda: True)())
    """)
    assert out.strip() == str(not free_threaded), sys.version


@pytest.mark.skipif(sys.version_info < (3, 13), reason="the interpreters module arrived in 3.13")
def test_interpreter_with_its_own_lock_refuses_the_import():
    # Declaring the GIL unused must not declare per-interpreter state.
    out = run_python("""
        import _interpreters
        print(_interpreters.run_string(_interpreters.create(), "import velmora").formatted)
    """)
    assert out.strip() == "ImportError: module velmora does not support loading in subinterpreters"
