"""benchmarks/capacity.py measures sweeps with a NumPy mirror of the resonator; the mirror must be exact.

Checked against the scalar reference (tests/resonator_oracle.py), which counts sweeps
independently, and against the module itself.
"""

import importlib.util
import os

import pytest

np = pytest.importorskip("numpy")

import resonator_oracle as oracle  # noqa: E402
from velmora import PhaseHVec, resonator_factorize  # noqa: E402

_spec = importlib.util.spec_from_file_location(
    "capacity", os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "benchmarks", "capacity.py"))
capacity = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(capacity)


@pytest.mark.parametrize("dim, n, seed", [(6, 65536, 42), (40, 2, 7), (33, 16, 2**64 - 1), (17, 1000, (5 << 32) | 3)])
def test_generate_matches_module(dim, n, seed):
    assert capacity.generate(dim, n, seed).tolist() == PhaseHVec.random(dim, n, seed).phases()


@pytest.mark.parametrize("t", [0.5, -0.5, 1.5, -2.5, 0.49999999999999994, -0.49999999999999994, 3.0, 7.25])
def test_round_half_away_matches_reference(t):
    assert capacity._round_half_away(np.array([t]))[0] == oracle.round_half_away(t)


# (F, M, Z, n, max_iter): converged and unconverged runs, a 2-level lattice, short budgets
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
    right, factors_right, sweeps, converged, agrees = capacity.run_problem(2, 8, 256, 16, problem=1)
    assert (right, factors_right, converged, agrees) == (True, 2, True, True) and sweeps >= 4


@pytest.mark.parametrize("weights", ["outer", "ols"])
def test_textbook_reference_solves_small_problems(weights):
    assert all(capacity.textbook_bipolar(p, 4, z=512, weights=weights)[0] for p in range(3))
