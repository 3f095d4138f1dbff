"""Checks and helpers the tests share: child interpreters, skips that fail
under CI, exact exception checks, reference-count stability."""

import gc
import importlib
import os
import subprocess
import sys
import textwrap

import pytest

import velmora

# The source tree, two levels above tests/support/.
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


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
    folder = os.path.join(ROOT, "benchmarks")
    if folder not in sys.path:
        sys.path.append(folder)
    return importlib.import_module(name)


def require(module):
    """Import an optional test dependency, or report the check as unavailable."""
    try:
        return importlib.import_module(module)
    except ImportError:
        unavailable("needs %s (pip install '.[test]')" % module)


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


def check_refused(call, exc_type, name, message=None):
    """call() raises exactly exc_type, with `message` if given, noted as a failure of parameter `name`."""
    with pytest.raises(exc_type) as info:
        call()
    assert type(info.value) is exc_type
    if message is not None:
        assert str(info.value) == message
    check_note(info.value, name)


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
