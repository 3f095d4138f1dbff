"""benchmarks/capacity.py measures sweeps with a NumPy mirror of the resonator (benchmarks/capacity_mirror.py);
the mirror must be exact.

Checked against the scalar reference (tests/support/oracle.py), which counts sweeps
independently, and against the module itself.
"""

import os
import subprocess
import sys

import pytest

from support.checks import ROOT, benchmark, require

np = require("numpy")

from support import oracle  # noqa: E402
from velmora import PhaseHVec, resonator_factorize  # noqa: E402

capacity = benchmark("capacity_mirror")


@pytest.mark.parametrize("dim, n, seed", [(6, 65536, 42), (40, 2, 7), (33, 16, 2**64 - 1), (17, 1000, (5 << 32) | 3)])
def test_generate_matches_module(dim, n, seed):
    assert capacity.generate(dim, n, seed).tolist() == PhaseHVec.random(dim, n, seed).phases()


@pytest.mark.parametrize("t", [0.5, -0.5, 1.5, -2.5, 0.49999999999999994, -0.49999999999999994, 3.0, 7.25])
def test_round_half_away_matches_reference(t):
    assert capacity._round_half_away(np.array([t]))[0] == oracle.round_half_away(t)


# (F, M, Z, n, max_iter): converged and unconverged runs, a 2-level lattice, short budgets
@pytest.mark.skipif(sys.platform == "win32", reason="the mirror takes the C runtime's math.cos/sin/atan2, whose "
                    "last bits on Windows differ from the correctly rounded ones of the reference")
@pytest.mark.parametrize("f, m, z, n, max_iter", [
    (2, 4, 24, 16, 50), (3, 6, 32, 4, 50), (3, 9, 16, 2, 50), (2, 5, 12, 256, 2), (3, 12, 16, 8, 7), (2, 3, 8, 16, 0),
])
def test_mirror_sweeps_and_results_equal_scalar_reference(f, m, z, n, max_iter):
    for problem in range(3):
        truth = [capacity.truth_index(problem, k, m) for k in range(f)]
        books = [np.stack([capacity.generate(z, n, capacity.entry_seed(problem, k, i)) for i in range(m)])
                 for k in range(f)]
        composite = sum(books[k][truth[k]] for k in range(f)) % n
        mirrored = capacity.mirror_resonator(composite, books, n, max_iter)
        reference = oracle.resonator(composite.tolist(), n, [[(e.tolist(), n) for e in b] for b in books], max_iter)
        assert mirrored == reference  # results bit for bit, sweep count, converged flag


def test_run_problem_uses_the_module_and_agrees_with_it():
    right, factors_right, sweeps, converged, agrees = benchmark("capacity").run_problem(2, 8, 256, 16, problem=1)
    assert (right, factors_right, converged, agrees) == (True, 2, True, True) and sweeps >= 4


@pytest.mark.parametrize("weights", ["outer", "ols"])
def test_textbook_reference_solves_small_problems(weights):
    assert all(capacity.textbook_bipolar(*capacity.bipolar_books(p, 4, z=512), 50, weights)[0] for p in range(3))


def velmora_problem(problem, m, z, f):
    books01, truth = capacity.bipolar_books(problem, m, z, f)
    books = [[PhaseHVec.random(z, 2, capacity.entry_seed(problem, k, i)) for i in range(m)] for k in range(f)]
    composite = books[0][truth[0]]
    for k in range(1, f):
        composite = composite.bind(books[k][truth[k]])
    return books01, sum(books01[k][truth[k]] for k in range(f)) % 2, books, composite


# sizes where runs converge, fail, cycle to the budget, and cancel to exact ties
@pytest.mark.parametrize("m, z, f, max_iter", [(8, 64, 3, 50), (40, 300, 3, 50), (40, 300, 3, 7), (24, 32, 2, 50),
                                               (6, 16, 4, 0), (79, 1500, 3, 120)])
def test_bipolar_copy_equals_module_bit_for_bit(m, z, f, max_iter):
    for problem in range(3):
        books01, comp01, books, composite = velmora_problem(problem, m, z, f)
        found = resonator_factorize(composite, books, max_iter)
        assert capacity.bipolar_velmora(comp01, books01, max_iter)[0] == found


def test_bipolar_copy_sweeps_equal_mirror():
    books01, comp01, _, _ = velmora_problem(2, 30, 200, 3)
    assert capacity.bipolar_velmora(comp01, books01)[:3] == capacity.mirror_resonator(comp01, books01, 2)


def test_all_switches_make_the_published_network():
    for problem in range(4):
        books01, truth = capacity.bipolar_books(problem, 40, 400)
        comp01 = sum(b[t] for b, t in zip(books01, truth)) % 2
        res = capacity.bipolar_velmora(comp01, books01, capacity.published_cap(40), readout="abs",
                                       stop="fixed_point", tie="plus")
        assert ([i for i, _ in res[0]] == truth, res[1]) == capacity.textbook_bipolar(books01, truth)[:2]


def test_codebook_check_example_redraws_the_close_pair():
    script = os.path.join(ROOT, "examples", "codebook_check.py")
    out = subprocess.run([sys.executable, script, "--n", "16"], capture_output=True, text=True, check=True).stdout
    assert "seeds 67 and 192: |similarity| 0.201" in out and "replacing 1 seed(s) [(192, 1000000000)]" in out
