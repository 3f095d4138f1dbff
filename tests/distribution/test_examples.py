"""The examples run as scripts and reach their documented answers (each also asserts its own results).

Run from any directory: the scripts are located relative to this file and import
the installed velmora.
"""

import csv
import os
import subprocess
import sys

import pytest

from support.checks import ROOT, benchmark, require


def run(script, *args, timeout=120):
    proc = subprocess.run([sys.executable, os.path.join(ROOT, script), *args],
                          capture_output=True, text=True, timeout=timeout)
    assert proc.returncode == 0, proc.stdout + proc.stderr
    return proc.stdout


@pytest.mark.parametrize("script, args, expected", [
    ("examples/quickstart.py", [], "resonator_factorize -> [(7, "),
    ("examples/typed_usage.py", [], "factors [3, 5, 1]"),
    ("examples/knowledge_graph.py", ["--dim", "2048"], "graph: capital of sweden -> stockholm"),
    ("examples/analogy.py", ["--dim", "4096"], "what is the dollar of mexico? peso"),
    ("examples/scene.py", ["--dim", "1024", "--scenes", "2"], "8/8 factorizations right"),
    ("examples/factorize.py", ["--problems", "5", "--dim", "512", "--entries", "8"], "5/5 solved"),
    ("examples/sequences.py", ["--dim", "2048"], "recalled successors: ELMORQUIST"),
])
def test_example_runs(script, args, expected):
    assert expected in run(script, *args)


def test_distributed_batch_matches_in_process():
    require("distributed")
    out = run("examples/distributed_factorize.py", "--workers", "2", "--jobs", "6", "--dim", "256",
              "--entries", "8", "--timeout", "90", timeout=150)
    assert "6/6 answers identical to the in-process ones" in out


def test_capacity_quick_mirror_agrees(tmp_path):
    require("numpy")
    capacity = benchmark("capacity")
    out = str(tmp_path / "cap")
    capacity.main(["--quick", "--problems", "4", "--out", out])
    with open(out + ".csv") as fh:
        rows = list(csv.DictReader(fh))
    assert {r["F"] for r in rows} == {"2", "3"}
    assert all(r["mirror_mismatch"] == "0" for r in rows)  # sweep counts come from a bit-exact mirror
    assert float(rows[0]["accuracy"]) == 1.0 and 4 <= float(rows[0]["sweeps_mean"]) <= 50
