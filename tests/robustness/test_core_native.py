"""The C++ core on inconsistent vectors (only reachable from C++) and on
failures whose messages cannot be allocated: the native tests' core
regressions (tests/native/core_regressions.cpp), built through the project's
CMake (-DVELMORA_NATIVE_TESTS=ON, target velmora_core_regressions) with the
sanitizers when the compiler has them. Without CMake or a compiler the checks
skip, but fail under CI."""

import os
import shutil
import subprocess
import sys

import pytest
from support.checks import unavailable

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir))
CXX = os.environ.get("CXX", "g++")


def cmake_build(build_dir, env, *options):
    """Configures and builds velmora_core_regressions; the failed step's output, or None."""
    steps = [["cmake", "-S", ROOT, "-B", build_dir, "-DVELMORA_PYTHON_MODULE=OFF", "-DVELMORA_NATIVE_TESTS=ON",
              "-DCMAKE_BUILD_TYPE=Debug", "-DCMAKE_CXX_COMPILER=" + CXX, *options],
             ["cmake", "--build", build_dir, "--target", "velmora_core_regressions", "-j", "2"]]
    for step in steps:
        proc = subprocess.run(step, capture_output=True, text=True, env=env)
        if proc.returncode != 0:
            return proc.stdout + proc.stderr
    return None


@pytest.fixture(scope="module")
def core_program(tmp_path_factory):
    if shutil.which(CXX) is None or shutil.which("cmake") is None:
        unavailable("no C++ compiler (%s) or no cmake" % CXX)
    build = tmp_path_factory.mktemp("core")
    env = dict(os.environ)
    env.pop("LD_PRELOAD", None)
    if cmake_build(str(build / "sanitized"), env, "-DVELMORA_SANITIZE=ON") is None:
        return str(build / "sanitized" / "velmora_core_regressions"), env
    failure = cmake_build(str(build / "plain"), env)
    assert failure is None, failure
    return str(build / "plain" / "velmora_core_regressions"), env


@pytest.mark.parametrize("case", ["bind phase>=n", "unbind phase>=n", "similarity phase>=n", "similarities phase>=n",
                                  "bundle lying dim", "bundle short array", "shape message", "phase message",
                                  "domain message", "capacity message", "bundle assertion", "entries message"])
def test_core_failures_are_error_values(core_program, case):
    exe, env = core_program
    env = dict(env, ASAN_OPTIONS="allocator_may_return_null=0:detect_leaks=1")
    proc = subprocess.run([exe], capture_output=True, text=True, env=env, timeout=60)
    lines = dict(line.split(": ", 1) for line in proc.stdout.splitlines() if ": " in line)
    assert lines.get(case) == "ok", proc.stdout + proc.stderr


@pytest.mark.parametrize("ci, outcome", [("true", "1 error"), ("", "skipped")])
def test_missing_compiler_fails_only_under_ci(ci, outcome):
    # No plugins in the child: some start programs of their own (git), which
    # would inherit a sanitizer runtime preloaded into this run.
    env = dict(os.environ, CXX=os.path.join(ROOT, "no-such-compiler"), CI=ci, PYTEST_DISABLE_PLUGIN_AUTOLOAD="1")
    proc = subprocess.run([sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider", __file__, "-k",
                           "shape"], capture_output=True, text=True, env=env, cwd=ROOT, timeout=120)
    assert outcome in proc.stdout, proc.stdout + proc.stderr
