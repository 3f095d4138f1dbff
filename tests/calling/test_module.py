"""Module initialisation, the PhaseHVec class object and instance lifetime."""

import gc
import inspect
import os
import sys
import types
import weakref

import pytest

import velmora
from support.checks import UNDER_ASAN, posix_memory, run_python

P = velmora.PhaseHVec

MODULE_DOC = "Deterministic, verifiable vector-symbolic (VSA) memory on a quantized-phase substrate."
CLASS_DOC = (
    "A quantized-phase hypervector: `dim` phases in `Z_N`. Binding is phase-add mod N\n"
    "(not self-inverse), bundling is a deterministic integer fold, similarity is the\n"
    "mean cosine of phase differences."
)

# name -> (text signature, docstring proper)
SIGNATURES = {
    "random": (
        "(dim, n, seed)",
        "A random phase vector of `dim` dimensions at resolution `n` (phase levels,\n"
        "2..=65536), deterministic in `seed`.",
    ),
    "bind": (
        "($self, other)",
        "Bind two vectors (phase-add mod N). Non-self-inverse; inverse is `unbind`.",
    ),
    "unbind": ("($self, other)", "Unbind (phase-sub mod N). `a.bind(b).unbind(b) == a`."),
    "similarity": (
        "($self, other)",
        "Similarity: mean cosine of phase differences, in [-1, 1].",
    ),
    "bundle": (
        "(items)",
        "Deterministic superposition (bundle) of a list of phase vectors.",
    ),
    "phases": ("($self)", "The raw phase indices as a list of ints in [0, n)."),
    "similarities": (
        "($self, items)",
        "Similarities to many vectors at once: a list of floats whose element k is exactly\n"
        "`self.similarity(items[k])`.",
    ),
}
RESONATOR_SIGNATURE = (
    "(composite, codebooks, max_iter=50)",
    "Factor a composite `bind(f0, f1, ...)` into one codebook index per factor via the\n"
    "deterministic resonator. Returns `(index, similarity)` for each factor.",
)
STATIC = {"random", "bundle"}

Py_TPFLAGS_BASETYPE = 1 << 10
Py_TPFLAGS_HAVE_GC = 1 << 14


# ---------------------------------------------------------------- module


def test_module_doc_and_all():
    assert velmora.__doc__ == MODULE_DOC and len(MODULE_DOC) == 86
    assert type(velmora.__all__) is list
    assert velmora.__all__ == ["__doc__", "PhaseHVec", "resonator_factorize"]
    # Nothing else public: in particular the internal-error type is not exported.
    assert {k for k in vars(velmora) if not k.startswith("__")} == {"PhaseHVec", "resonator_factorize"}


def test_resonator_function_object():
    f = velmora.resonator_factorize
    assert type(f) is types.BuiltinFunctionType
    assert f.__module__ == "velmora"
    assert f.__self__ is velmora
    assert f.__name__ == f.__qualname__ == "resonator_factorize"
    assert (f.__text_signature__, f.__doc__) == RESONATOR_SIGNATURE
    assert str(inspect.signature(f)) == "(composite, codebooks, max_iter=50)"


def test_class_identity():
    assert type(P) is type
    assert P.__module__ == "builtins"
    assert P.__name__ == P.__qualname__ == "PhaseHVec"
    assert P.__bases__ == (object,)
    assert P.__doc__ == CLASS_DOC and len(CLASS_DOC) == 194
    assert P.__text_signature__ is None


@pytest.mark.parametrize("name", sorted(SIGNATURES))
def test_method_docstrings(name):
    sig, doc = SIGNATURES[name]
    for obj in (getattr(P, name), getattr(P.random(2, 4, 0), name)):
        assert obj.__text_signature__ == sig
        assert obj.__doc__ == doc
    raw = P.__dict__[name]
    if name in STATIC:
        assert isinstance(raw, staticmethod)
    else:
        assert type(raw) is types.MethodDescriptorType
        bound = inspect.signature(getattr(P.random(2, 4, 0), name))
        assert str(bound) == sig.replace("$self", "").replace("(, ", "(")


def test_class_dict_layout():
    names = ["random", "bind", "unbind", "similarity", "bundle", "phases", "similarities", "factorize", "permute", "power", "dim", "n"]
    public = [k for k in P.__dict__ if not k.startswith("__")]
    assert public == names
    for prop in ("dim", "n"):
        d = P.__dict__[prop]
        assert type(d) is types.GetSetDescriptorType
        assert d.__doc__ is None


@pytest.mark.parametrize(
    "make",
    [
        lambda: P(),
        lambda: P(1, 2, 3),
        lambda: P(dim=8, n=4, seed=1),
        lambda: P.__new__(P),
    ],
    ids=["no-args", "positional", "keywords", "dunder-new"],
)
def test_constructor_refused(make):
    with pytest.raises(TypeError) as ei:
        make()
    assert str(ei.value) == "cannot create 'builtins.PhaseHVec' instances"
    assert not hasattr(ei.value, "__notes__")


def test_no_uninitialised_instances_via_object_new():
    with pytest.raises(TypeError):
        object.__new__(P)


def test_instance_allocated_around_the_constructor_holds_no_vector():
    # The class keeps the default flags, so __new__ can be replaced and reach
    # object.__new__, whose instance is zero-filled: it reads as no phases at
    # n = 0, every core operation refuses it, and it is released cleanly.
    out = run_python(
        """
        import gc, velmora
        P = velmora.PhaseHVec
        P.__new__ = lambda cls, *args: object.__new__(cls)
        z = P()
        print(repr(z), z.dim, z.n, z.phases())
        good = P.random(0, 16, 1)
        for call in (lambda: z.bind(z), lambda: z.unbind(z), lambda: z.similarity(z), lambda: P.bundle([z]),
                     lambda: velmora.resonator_factorize(z, []), lambda: velmora.resonator_factorize(good, [[z]])):
            try:
                call()
            except BaseException as e:
                print(type(e).__name__, e.args[0])
        del z
        gc.collect()
        print("released")
        """
    )
    refused = "PanicException phase vector resolution 0 outside 2..=65536"
    assert out.splitlines() == ["PhaseHVec(dim=0, n=0) 0 0 []"] + [refused] * 6 + ["released"]


def test_type_flags_and_instance_shape():
    assert not P.__flags__ & Py_TPFLAGS_BASETYPE
    assert not P.__flags__ & Py_TPFLAGS_HAVE_GC
    with pytest.raises(TypeError, match="not an acceptable base type"):
        type("Sub", (P,), {})
    v = P.random(4, 16, 1)
    assert not gc.is_tracked(v)
    assert not hasattr(v, "__dict__")
    with pytest.raises(AttributeError):
        v.colour = 1
    with pytest.raises(TypeError):
        weakref.ref(v)


@pytest.mark.parametrize("attr, value", [("dim", 5), ("n", 16)])
def test_properties_read_only(attr, value):
    v = P.random(5, 16, 3)
    before = v.phases()
    assert type(getattr(v, attr)) is int and getattr(v, attr) == value
    for mutate in (lambda: setattr(v, attr, 7), lambda: delattr(v, attr)):
        with pytest.raises(AttributeError):
            mutate()
        assert getattr(v, attr) == value
    assert v.phases() == before


@pytest.mark.parametrize(
    "call, match",
    [
        (lambda v: v.phases(1), r"takes no arguments \(1 given\)"),
        (lambda v: v.phases(1, 2), r"takes no arguments \(2 given\)"),
        (lambda v: v.phases(x=1), r"takes no keyword arguments"),
    ],
)
def test_phases_rejects_arguments(call, match):
    with pytest.raises(TypeError, match=match) as ei:
        call(P.random(4, 16, 1))
    assert not hasattr(ei.value, "__notes__")


def test_static_methods_do_not_receive_instance():
    v = P.random(3, 7, 9)
    assert v.random(8, 16, 1).phases() == P.random(8, 16, 1).phases() == [7, 15, 8, 14, 11, 7, 8, 15]
    assert v.bundle([v]).phases() == v.phases()


@pytest.mark.parametrize(
    "args, text",
    [((1024, 16, 7), "PhaseHVec(dim=1024, n=16)"), ((0, 65536, 1), "PhaseHVec(dim=0, n=65536)"),
     ((3, 2, 0), "PhaseHVec(dim=3, n=2)")],
)
def test_text_form(args, text):
    v = P.random(*args)
    assert repr(v) == str(v) == text


def test_identity_equality():
    a = P.random(4, 16, 1)
    b = P.random(4, 16, 1)
    assert a == a and a != b and a.phases() == b.phases()


# --------------------------------------------------------- re-import


def test_reimport_builds_new_module_sharing_the_class():
    out = run_python(
        """
        import sys
        import velmora as m1
        cls = m1.PhaseHVec
        f1 = m1.resonator_factorize
        del sys.modules["velmora"]
        import velmora as m2
        assert m2 is not m1
        assert m2.PhaseHVec is cls
        assert m2.__all__ == m1.__all__ and m2.__all__ is not m1.__all__
        assert m2.__doc__ == m1.__doc__
        f2 = m2.resonator_factorize
        assert f2 is not f1 and f2.__self__ is m2 and f1.__self__ is m1
        assert f2.__module__ == "velmora"
        # The old module's objects keep working.
        assert m1.PhaseHVec.random(4, 16, 1).phases() == [7, 15, 8, 14]
        import velmora as m3
        assert m3 is m2
        print("ok")
        """
    )
    assert out.strip() == "ok"


# -------------------------------------------------------- lifetime


def test_type_refcount_stable_across_instance_churn():
    a = P.random(16, 16, 1)

    def churn(rounds):
        for i in range(rounds):
            a.bind(a).unbind(a)
            P.random(16, 16, i)
            try:
                a.bind(P.random(15, 16, i))
            except ValueError:
                pass
        gc.collect()

    # Warm up and collect first: instances freed from earlier tests' garbage
    # drop their reference to the type, and newer interpreters keep and later
    # drop references of their own (inline caches).
    churn(50)
    before = sys.getrefcount(P)
    churn(500)
    assert sys.getrefcount(P) == before


@posix_memory
def test_memory_stable_when_vectors_are_dropped():
    if not os.path.exists("/proc/self/statm"):
        pytest.skip("needs /proc/self/statm")
    if UNDER_ASAN:
        pytest.skip("ASan's quarantine keeps freed memory resident (its leak checker covers this)")
    out = run_python(
        """
        import gc, os, sys, velmora
        P = velmora.PhaseHVec
        PAGE = os.sysconf("SC_PAGE_SIZE")
        rf = velmora.resonator_factorize
        bundle = P.bundle

        def rss():
            with open("/proc/self/statm") as f:
                return int(f.read().split()[1]) * PAGE

        a = P.random(4096, 16, 1)
        b = P.random(4096, 16, 2)
        s1, s2 = P.random(32, 8, 1), P.random(32, 8, 2)

        def churn(k):
            for i in range(k):
                c = a.bind(b)
                d = c.unbind(b)
                a.similarity(d)
                P.random(4096, 65536, i)
                P.random(0, 16, i)
                s1.phases()
                repr(c)
                for bad in (lambda: P.random(4096, 1, i), lambda: a.bind(P.random(4095, 16, i))):
                    try:
                        bad()
                    except ValueError:
                        pass
                try:
                    P.random(2 ** 62, 16, i)
                except BaseException:
                    pass
                bundle([a, b, c])
                try:
                    bundle([a, P.random(4095, 16, i)])
                except BaseException:
                    pass
                rf(s1, [[s1, s2], [s2]], 2)

        churn(300)
        gc.collect()
        blocks0, rss0 = sys.getallocatedblocks(), rss()
        churn(3000)
        gc.collect()
        print(sys.getallocatedblocks() - blocks0, rss() - rss0)
        """
    )
    blocks, rss_growth = map(int, out.split())
    # A leak of one object or one 8 KiB phase array per iteration would
    # show as >= 3000 blocks or >= 24 MiB.
    assert blocks < 500, blocks
    assert rss_growth < 8 * 1024 * 1024, rss_growth
