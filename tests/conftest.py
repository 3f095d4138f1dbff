"""Fixtures and hooks for the velmora tests. The helpers that test modules
import are in support/ (checks, arguments, the oracles); putting tests/ on
sys.path here makes `support` importable from every subfolder."""

import os
import sys

import pytest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from support.checks import UNDER_ASAN  # noqa: E402
from support import vectors  # noqa: E402


@pytest.fixture(scope="session")
def make_vec():
    """make_vec(phases, n) -> PhaseHVec with exactly those phases."""
    return vectors.make_vec


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
