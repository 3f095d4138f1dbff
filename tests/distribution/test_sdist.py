"""The source distribution holds every file the build reads: the build
description, every source file it names, everything those include (the
vendored LLVM libc among them), and the package metadata's files. Built
with the build backend's own sdist hook from the checkout these tests sit
in; without the checkout or the backend the check skips, but fails under CI.
The licences (the project's and the vendored LLVM libc's) travel in both the
sdist and the installed wheel's metadata."""

import os
import re
import subprocess
import sys
import tarfile
from importlib import metadata

import pytest

from support.checks import ROOT, require, unavailable
INCLUDE_DIRS = ["src", "third_party/llvm-libc"]
LICENCES = ["LICENSE", "third_party/llvm-libc/LICENSE.TXT"]


def _read(relative):
    with open(os.path.join(ROOT, relative), encoding="utf-8", errors="replace") as f:
        return f.read()


def _include_closure(start):
    """Every file of the tree reached through #include "..." from `start`,
    whatever the preprocessor conditions around each include."""
    seen, todo = set(), list(start)
    while todo:
        path = todo.pop()
        if path in seen:
            continue
        seen.add(path)
        for name in re.findall(r'^\s*#\s*include\s*"([^"]+)"', _read(path), re.M):
            for base in [os.path.dirname(path)] + INCLUDE_DIRS:
                candidate = os.path.normpath(os.path.join(base, name)).replace(os.sep, "/")
                if os.path.isfile(os.path.join(ROOT, candidate)):
                    todo.append(candidate)
                    break
    return seen


@pytest.fixture(scope="module")
def sdist_names(tmp_path_factory):
    if not os.path.isfile(os.path.join(ROOT, "CMakeLists.txt")):
        unavailable("needs the source checkout next to the tests")
    require("scikit_build_core")
    out = str(tmp_path_factory.mktemp("sdist"))
    proc = subprocess.run([sys.executable, "-c", "import sys; from scikit_build_core.build import build_sdist; "
                           "print(build_sdist(sys.argv[1]))", out], cwd=ROOT, capture_output=True, text=True,
                          timeout=300)
    assert proc.returncode == 0, proc.stderr
    with tarfile.open(os.path.join(out, proc.stdout.split()[-1])) as tar:
        return {name.split("/", 1)[1] for name in tar.getnames() if "/" in name}


def _needed(group):
    cmake = _read("CMakeLists.txt")
    named = set(re.findall(r"(?:(?<![\w/}])|(?<=\$\{CMAKE_CURRENT_SOURCE_DIR\}/))(?:src|tests|stubs)/[\w/.-]+\.(?:cpp|hpp|map|pyi)\b", cmake))
    if group == "build description":
        return {"CMakeLists.txt", "pyproject.toml", "README.md"} | named
    if group == "included sources":
        return _include_closure(sorted(p for p in named if p.endswith(".cpp")))
    vendored = os.path.join(ROOT, "third_party", "llvm-libc")
    return {os.path.relpath(os.path.join(d, f), ROOT).replace(os.sep, "/")
            for d, _, files in os.walk(vendored) for f in files}


@pytest.mark.parametrize("group", ["build description", "included sources", "vendored LLVM libc"])
def test_sdist_holds_what_the_build_reads(sdist_names, group):
    needed = _needed(group)
    assert needed, group
    assert sorted(needed - sdist_names) == []


def test_sdist_holds_the_licences(sdist_names):
    assert sorted(set(LICENCES) - sdist_names) == []


def test_installed_wheel_carries_the_licences():
    try:
        dist = metadata.distribution("velmora")
    except metadata.PackageNotFoundError:
        unavailable("needs velmora installed from a wheel")
    assert dist.metadata["License-Expression"] == "MIT"
    assert sorted(dist.metadata.get_all("License-File")) == sorted(LICENCES)
    shipped = {str(f).split(".dist-info/licenses/", 1)[1] for f in dist.files if ".dist-info/licenses/" in str(f)}
    assert shipped == set(LICENCES)
    for name in LICENCES:
        text = dist.locate_file(f"velmora-{dist.version}.dist-info/licenses/{name}").read_text(encoding="utf-8")
        assert text == _read(name)
