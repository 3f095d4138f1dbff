"""Shared helpers for the velmora tests.

The module has no constructor from a list of phases, so `make_vec` builds a
vector with chosen phases from the public API alone:

* bind is component-wise addition in Z_n, so every vector obtainable from
  seeded vectors r_s = PhaseHVec.random(dim, n, s) by bind is sum_s c_s * r_s;
* Gauss-Jordan elimination over Z_n (Euclid on each column, so it works for
  composite n too) on the oracle's copies of r_0 .. r_{S-1} yields, for every
  component k, integer coefficients C[k] with sum_s C[k][s] * r_s = e_k;
* a target t is then sum_k t_k * e_k, i.e. coefficients c = sum_k t_k C[k],
  and c_s * r_s is formed by double-and-add with bind (a.bind(a) doubles).

Cost: the elimination is O(dim^2 * S) pure-Python steps per (dim, n) and is
cached; with S ~ dim + 8 it takes milliseconds for dim <= 32 and about a
second at dim 64, so keep constructed vectors short (tests chunk wider
patterns). Each vector then costs about 2 * S * log2(n) native binds. The
result is checked against the target before it is handed out.
"""

import gc
import importlib
import os
import subprocess
import sys
import textwrap

import pytest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import oracle  # noqa: E402
import velmora  # noqa: E402


def _unit_coefficients(dim, n, n_seeds):
    """Rows C[k] (length n_seeds) with sum_s C[k][s] * r_s == e_k, or None."""
    rows = []
    for s in range(n_seeds):
        coef = [0] * n_seeds
        coef[s] = 1
        rows.append([oracle.generate(dim, n, s), coef])

    def axpy(dst, factor, src):
        # dst -= factor * src (mod n), on both the vector and its coefficients
        for part in (0, 1):
            d, v = dst[part], src[part]
            for j in range(len(d)):
                d[j] = (d[j] - factor * v[j]) % n

    pivots = []
    free = list(range(n_seeds))
    for k in range(dim):
        # Euclid over the column until at most one free row is non-zero there.
        while True:
            live = [r for r in free if rows[r][0][k] != 0]
            if len(live) <= 1:
                break
            p = min(live, key=lambda r: rows[r][0][k])
            for r in live:
                if r != p:
                    axpy(rows[r], rows[r][0][k] // rows[p][0][k], rows[p])
        if not live:
            return None
        p = live[0]
        value = rows[p][0][k]
        if _gcd(value, n) != 1:
            return None
        inv = pow(value, -1, n)
        rows[p][0] = [(x * inv) % n for x in rows[p][0]]
        rows[p][1] = [(x * inv) % n for x in rows[p][1]]
        for r in range(n_seeds):
            if r != p and rows[r][0][k] != 0:
                axpy(rows[r], rows[r][0][k], rows[p])
        free.remove(p)
        pivots.append(p)
    return [rows[p][1] for p in pivots]


def _gcd(a, b):
    while b:
        a, b = b, a % b
    return a


class VectorFactory:
    def __init__(self):
        self.cls = velmora.PhaseHVec
        self._bases = {}

    def _basis(self, dim, n):
        key = (dim, n)
        if key not in self._bases:
            n_seeds = dim + 8
            while True:
                coefs = _unit_coefficients(dim, n, n_seeds)
                if coefs is not None:
                    break
                n_seeds += 8
            self._bases[key] = (n_seeds, coefs)
        return self._bases[key]

    def zeros(self, dim, n):
        r = self.cls.random(dim, n, 0)
        return r.unbind(r)

    def scale(self, vec, factor):
        result = vec.unbind(vec)
        power = vec
        while factor:
            if factor & 1:
                result = result.bind(power)
            factor >>= 1
            if factor:
                power = power.bind(power)
        return result

    def __call__(self, phases, n):
        phases = list(phases)
        dim = len(phases)
        assert all(0 <= p < n for p in phases)
        n_seeds, coefs = self._basis(dim, n)
        total = [0] * n_seeds
        for k, t in enumerate(phases):
            if t:
                row = coefs[k]
                for s in range(n_seeds):
                    total[s] = (total[s] + t * row[s]) % n
        acc = self.zeros(dim, n)
        for s, c in enumerate(total):
            if c:
                acc = acc.bind(self.scale(self.cls.random(dim, n, s), c))
        assert acc.phases() == phases, "vector construction went wrong"
        return acc


@pytest.fixture(scope="session")
def make_vec():
    """make_vec(phases, n) -> PhaseHVec with exactly those phases."""
    return VectorFactory()


def run_python(code, timeout=120):
    """Run code in a fresh interpreter that sees the same import path; its stdout."""
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    proc = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], env=env, capture_output=True,
                          text=True, timeout=timeout)
    assert proc.returncode == 0, proc.stdout + proc.stderr
    return proc.stdout


def unavailable(reason):
    """Skip a check that cannot run here; under CI (CI=true) fail it instead,
    so that a green CI run means that every such check ran."""
    if os.environ.get("CI") == "true":
        pytest.fail(reason + "; under CI=true this check must run", pytrace=False)
    pytest.skip(reason, allow_module_level=True)


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


def pytest_collection_modifyitems(config, items):
    if not UNDER_ASAN:
        return
    skip = pytest.mark.skip(reason="a failed allocation aborts under AddressSanitizer")
    for item in items:
        if "allocation_failure" in item.keywords:
            item.add_marker(skip)
