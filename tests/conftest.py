"""Shared helpers for the velmora tests; the oracle, the vector builder and
the test libraries are in support/."""

import gc
import importlib
import os
import subprocess
import sys
import textwrap

import pytest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import velmora  # noqa: E402
from support import vectors  # noqa: E402


@pytest.fixture(scope="session")
def make_vec():
    """make_vec(phases, n) -> PhaseHVec with exactly those phases."""
    return vectors.make_vec


def run_python(code, timeout=120):
    """Run code in a fresh interpreter that sees the same import path; its stdout."""
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    proc = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], env=env, capture_output=True,
                          text=True, timeout=timeout)
    assert proc.returncode == 0, proc.stdout + proc.stderr
    return proc.stdout


# Memory checks read the process's pages from /proc/self/statm and cap its
# address space with setrlimit(RLIMIT_AS); Windows has neither.
posix_memory = pytest.mark.skipif(sys.platform == "win32",
                                  reason="reads /proc/self/statm and sets RLIMIT_AS, which Windows lacks")


def unavailable(reason):
    """Skip a check that cannot run here; under CI (CI=true) fail it instead,
    so that a green CI run means that every such check ran."""
    if os.environ.get("CI") == "true":
        pytest.fail(reason + "; under CI=true this check must run", pytrace=False)
    pytest.skip(reason, allow_module_level=True)


def benchmark(name):
    """Import benchmarks/<name>.py, which may import its siblings by name."""
    folder = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "benchmarks")
    if folder not in sys.path:
        sys.path.append(folder)
    return importlib.import_module(name)


def require(module):
    """Import an optional test dependency, or report the check as unavailable."""
    try:
        return importlib.import_module(module)
    except ImportError:
        unavailable("needs %s (pip install '.[test]')" % module)


# Argument binding: every callable, its exact TypeError messages.

P = velmora.PhaseHVec
A = P.random(8, 16, 1)
B = P.random(8, 16, 2)
BOOKS = [[P.random(64, 16, s) for s in (1, 2, 3)], [P.random(64, 16, s) for s in (11, 12, 13)]]
COMPOSITE = BOOKS[0][2].bind(BOOKS[1][0])

# name -> (callable, valid positional arguments)
CALLABLES = {
    "random": (P.random, (8, 16, 1)),
    "bind": (A.bind, (B,)),
    "unbind": (A.unbind, (B,)),
    "similarity": (A.similarity, (B,)),
    "bundle": (P.bundle, ([A],)),
    "similarities": (A.similarities, ([B],)),
    "resonator": (velmora.resonator_factorize, (COMPOSITE, BOOKS, 0)),
}


def call(name, *args, **kwargs):
    return CALLABLES[name][0](*args, **kwargs)


def _other_binding_errors(op):
    name = "PhaseHVec.%s()" % op
    return [
        (op, (), {}, name + " missing 1 required positional argument: 'other'"),
        (op, (B, B), {}, name + " takes 1 positional arguments but 2 were given"),
        (op, (B, B), {"colour": 1}, name + " takes 1 positional arguments but 2 were given"),
        (op, (B,), {"other": B}, name + " got multiple values for argument 'other'"),
        (op, (B,), {"colour": 1}, name + " got an unexpected keyword argument 'colour'"),
        (op, (), {"Other": B}, name + " got an unexpected keyword argument 'Other'"),
    ]


# (callable name, args, kwargs, message)
BINDING_ERRORS = [
    ("random", (), {}, "PhaseHVec.random() missing 3 required positional arguments: 'dim', 'n', and 'seed'"),
    ("random", (8,), {}, "PhaseHVec.random() missing 2 required positional arguments: 'n' and 'seed'"),
    ("random", (8, 4), {}, "PhaseHVec.random() missing 1 required positional argument: 'seed'"),
    ("random", (8,), {"seed": 1}, "PhaseHVec.random() missing 1 required positional argument: 'n'"),
    ("random", (), {"n": 4}, "PhaseHVec.random() missing 2 required positional arguments: 'dim' and 'seed'"),
    ("random", (), {"seed": 1}, "PhaseHVec.random() missing 2 required positional arguments: 'dim' and 'n'"),
    ("random", ("x",), {}, "PhaseHVec.random() missing 2 required positional arguments: 'n' and 'seed'"),
    *_other_binding_errors("bind"),
    *_other_binding_errors("unbind"),
    *_other_binding_errors("similarity"),
    ("bundle", (), {}, "PhaseHVec.bundle() missing 1 required positional argument: 'items'"),
    ("similarities", (), {}, "PhaseHVec.similarities() missing 1 required positional argument: 'items'"),
    ("similarities", ([B], [B]), {}, "PhaseHVec.similarities() takes 1 positional arguments but 2 were given"),
    ("similarities", ([B],), {"items": [B]}, "PhaseHVec.similarities() got multiple values for argument 'items'"),
    ("similarities", ([B],), {"other": B}, "PhaseHVec.similarities() got an unexpected keyword argument 'other'"),
    ("resonator", (), {}, "resonator_factorize() missing 2 required positional arguments: 'composite' and 'codebooks'"),
    ("resonator", (), {"max_iter": 3}, "resonator_factorize() missing 2 required positional arguments: 'composite' and 'codebooks'"),
    ("resonator", (COMPOSITE,), {}, "resonator_factorize() missing 1 required positional argument: 'codebooks'"),
    ("resonator", (1,), {}, "resonator_factorize() missing 1 required positional argument: 'codebooks'"),
    ("resonator", (), {"codebooks": []}, "resonator_factorize() missing 1 required positional argument: 'composite'"),
    ("resonator", (5,), {"max_iter": -1}, "resonator_factorize() missing 1 required positional argument: 'codebooks'"),
    # surplus positionals are reported before any keyword is looked at
    ("random", (8, 4, 1, 2), {}, "PhaseHVec.random() takes 3 positional arguments but 4 were given"),
    ("random", (8, 4, 1, 2), {"bogus": 3}, "PhaseHVec.random() takes 3 positional arguments but 4 were given"),
    ("random", (8, 4, 1, 2, 3), {"bogus": 3}, "PhaseHVec.random() takes 3 positional arguments but 5 were given"),
    ("unbind", (B, B), {"other": B}, "PhaseHVec.unbind() takes 1 positional arguments but 2 were given"),
    ("similarity", (1, 2, 3), {}, "PhaseHVec.similarity() takes 1 positional arguments but 3 were given"),
    ("bundle", ([], []), {}, "PhaseHVec.bundle() takes 1 positional arguments but 2 were given"),
    ("bundle", ([A], [A]), {"x": 1}, "PhaseHVec.bundle() takes 1 positional arguments but 2 were given"),
    ("resonator", (COMPOSITE, BOOKS, 50, 1), {}, "resonator_factorize() takes from 2 to 3 positional arguments but 4 were given"),
    ("resonator", (1, 2, 3, 4), {}, "resonator_factorize() takes from 2 to 3 positional arguments but 4 were given"),
    ("resonator", (1, 2, 3, 4, 5), {"composite": 1}, "resonator_factorize() takes from 2 to 3 positional arguments but 5 were given"),
    # multiple values
    ("random", (8,), {"dim": 8, "n": 4, "seed": 1}, "PhaseHVec.random() got multiple values for argument 'dim'"),
    ("random", (8, 4, 1), {"dim": 3}, "PhaseHVec.random() got multiple values for argument 'dim'"),
    ("random", (8, 4, 1), {"seed": 1}, "PhaseHVec.random() got multiple values for argument 'seed'"),
    ("bundle", ([A],), {"items": [A]}, "PhaseHVec.bundle() got multiple values for argument 'items'"),
    ("bundle", ([],), {"items": []}, "PhaseHVec.bundle() got multiple values for argument 'items'"),
    ("resonator", (COMPOSITE, BOOKS, 3), {"max_iter": 3}, "resonator_factorize() got multiple values for argument 'max_iter'"),
    ("resonator", (1, 2), {"composite": 1}, "resonator_factorize() got multiple values for argument 'composite'"),
    # unexpected keywords (exact, case-sensitive match)
    ("random", (8, 4, 1), {"Seed": 3}, "PhaseHVec.random() got an unexpected keyword argument 'Seed'"),
    ("random", (8, 4, 1), {"seed ": 1}, "PhaseHVec.random() got an unexpected keyword argument 'seed '"),
    ("random", (8, 4, 1), {"\udc80": 1}, "PhaseHVec.random() got an unexpected keyword argument '\udc80'"),
    ("bind", (B,), {"oth\udc80er": 1}, "PhaseHVec.bind() got an unexpected keyword argument 'oth\udc80er'"),
    ("bundle", ([A],), {"item": 1}, "PhaseHVec.bundle() got an unexpected keyword argument 'item'"),
    ("bundle", (), {"item": []}, "PhaseHVec.bundle() got an unexpected keyword argument 'item'"),
    ("resonator", (COMPOSITE, BOOKS), {"maxiter": 1}, "resonator_factorize() got an unexpected keyword argument 'maxiter'"),
    ("resonator", (1, 2), {"max_iters": 1}, "resonator_factorize() got an unexpected keyword argument 'max_iters'"),
    # the first failing keyword (dict order) ends binding
    ("random", (8, 4), {"zzz": 1, "dim": 2}, "PhaseHVec.random() got an unexpected keyword argument 'zzz'"),
    ("random", (8, 4), {"dim": 2, "zzz": 1}, "PhaseHVec.random() got multiple values for argument 'dim'"),
    ("random", (), {"n": 4, "n2": 1}, "PhaseHVec.random() got an unexpected keyword argument 'n2'"),
    ("resonator", (), {"codebooks": [], "composite": A, "other": 1}, "resonator_factorize() got an unexpected keyword argument 'other'"),
    # binding happens before any conversion
    ("random", ("x", -1, None), {"bogus": 1}, "PhaseHVec.random() got an unexpected keyword argument 'bogus'"),
    ("bind", (None,), {"other": 5}, "PhaseHVec.bind() got multiple values for argument 'other'"),
]


def check_binding_error(func, args, kwargs, message):
    """func(*args, **kwargs) raises exactly TypeError(message), without note, cause or context."""
    with pytest.raises(TypeError) as ei:
        func(*args, **kwargs)
    assert type(ei.value) is TypeError
    assert str(ei.value) == message and ei.value.args == (message,)
    assert not hasattr(ei.value, "__notes__")
    assert ei.value.__cause__ is None and ei.value.__context__ is None


def check_note(exc, name):
    """A conversion failure for parameter `name`: its note on 3.11+, no notes before."""
    if sys.version_info >= (3, 11):
        assert getattr(exc, "__notes__", None) == ["while processing '%s'" % name]
    else:
        assert not hasattr(exc, "__notes__")


def check_panic(exc, message):
    """The internal-error exception, exactly, carrying `message`."""
    t = type(exc)
    assert t.__name__ == t.__qualname__ == "PanicException"
    assert t.__module__ == "ovra_runtime"
    assert t.__bases__ == (BaseException,)
    assert not isinstance(exc, Exception)
    assert exc.args == (message,)
    assert str(exc) == message


def panic_type():
    """The internal-error exception class, provoked through a capacity overflow."""
    with pytest.raises(BaseException) as ei:
        velmora.PhaseHVec.random(2 ** 62, 16, 1)
    return type(ei.value)


def raised(func, *args, **kwargs):
    """The type of the exception that func(*args, **kwargs) raises, or None.
    No traceback is kept, so nothing keeps the arguments alive."""
    try:
        func(*args, **kwargs)
    except BaseException as exc:  # noqa: BLE001 - PanicException is a BaseException
        return type(exc)
    return None


class LyingSeq:
    """A sequence whose length is wrong or fails: the length is only a hint
    (possibly absurd), iteration is what counts."""

    def __init__(self, items, length):
        self.items = items
        self.length = length

    def __len__(self):
        if isinstance(self.length, BaseException):
            raise self.length
        return self.length

    def __getitem__(self, i):
        return self.items[i]


def assert_refcounts_stable(watched, exercise, rounds=50):
    """Run exercise() once (one-time caches fill), then `rounds` more times:
    no object in `watched` may gain or lose a reference."""
    exercise()
    gc.collect()
    before = [sys.getrefcount(o) for o in watched]
    for _ in range(rounds):
        exercise()
    gc.collect()
    assert [sys.getrefcount(o) for o in watched] == before


# Under AddressSanitizer (tools/sanitize.sh) a failed `operator new` aborts the
# process instead of throwing, so the paths that turn an allocation failure
# into MemoryError cannot run there; a lowered RLIMIT_AS also breaks ASan's
# shadow memory. Tests marked `allocation_failure` are skipped in that run.
UNDER_ASAN = "libasan" in os.environ.get("LD_PRELOAD", "")


def pytest_configure(config):
    config.addinivalue_line("markers", "allocation_failure: provokes failed allocations (skipped under ASan)")
    config.addinivalue_line("markers", "oracle: checks a test oracle against worked examples, not the module")
    # pytest-run-parallel's marker, known without the plugin too: such a test
    # runs on one thread when the suite runs several threads per test.
    config.addinivalue_line("markers", "thread_unsafe(reason): not safe to run on several threads at once")


def pytest_collection_modifyitems(config, items):
    if not UNDER_ASAN:
        return
    skip = pytest.mark.skip(reason="a failed allocation aborts under AddressSanitizer")
    for item in items:
        if "allocation_failure" in item.keywords:
            item.add_marker(skip)
