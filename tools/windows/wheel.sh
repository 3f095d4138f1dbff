#!/usr/bin/env bash
# Cross-builds the cp39-abi3-win_amd64 wheel from an unpacked sdist, with
# zig's clang for x86_64-windows-gnu (mingw-w64, libc++ and libunwind linked
# statically, the Universal CRT from the system):
#
#   tools/windows/wheel.sh SRC OUTDIR PYTHON
#
# PYTHON is an interpreter with ziglang, scikit-build-core and abi3audit (the
# build venv of tools/wheels/build.sh). The compiler flags are the ones CMake gives
# every GCC-style build (-ffp-contract=off, the AVX2 and AVX-512 kernels
# through target attributes, LLVM libc's correctly rounded functions with
# their FMA copy), so the module computes what the Linux wheels compute.
#
# Nothing of a Windows CPython is installed to build it:
#   - headers: CPython's Include/ with Windows' PC/pyconfig.h
#     (tools/windows/headers.sh), under Py_LIMITED_API=0x03090000;
#   - python3.dll's import library, made by `zig dlltool` from a .def file
#     of the exports of Windows CPython 3.9's python3.dll (from
#     tools/windows/python.sh): a function the 3.9 stable ABI lacks fails the
#     link instead of the import.
# The result is checked with objdump -p: it may import from python3.dll and
# from system DLLs only (KERNEL32, the api-ms-win-crt-* forwarders of the
# Universal CRT, ...), never from a versioned pythonXY.dll or a C++ runtime;
# and abi3audit --strict checks its imports against the 3.9 stable ABI.
set -euo pipefail
if [ $# -ne 3 ]; then
  echo "usage: $0 SRC OUTDIR PYTHON" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
src=$1 out=$2 python=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-winwheel.XXXXXX")
trap 'rm -rf "$work"' EXIT
include=$("$here/headers.sh")
cp39=$("$here/python.sh" 3.9)

# The .def file: the names of python3.dll's export table (each a forwarder
# to python39.dll), imported by name from python3.dll.
{ printf 'LIBRARY python3.dll\nEXPORTS\n'
  objdump -p "$cp39/python3.dll" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9]*\] //p'
} >"$work/python3.def"
[ "$(wc -l <"$work/python3.def")" -gt 500 ] || { echo "windows wheel: too few exports read off python3.dll" >&2; exit 1; }
"$python" -m ziglang dlltool -m i386:x86-64 -d "$work/python3.def" -l "$work/python3.lib"

toolchain=$("$here/../compilers/zig-toolchain.sh" "$work/zig" x86_64-windows-gnu "$python")
# No interpreter hints from the build machine: its headers' pyconfig.h and
# its module suffix (.abi3.so) are Linux's; an empty SOSABI leaves the
# Windows name velmora.pyd. FindPython still runs an interpreter for the
# CMakeLists' questions and wants its version to be the headers' (3.13), and
# the stable ABI's DLL beside its import library.
cp "$cp39/python3.dll" "$work/python3.dll"
interpreter=$(ls -d "${PYENV_ROOT:-$HOME/.pyenv}"/versions/3.13.*/bin/python3.13 2>/dev/null | sort -V | tail -n 1 || true)
[ -n "$interpreter" ] || { echo "windows wheel: needs CPython 3.13 under ${PYENV_ROOT:-$HOME/.pyenv}" >&2; exit 1; }
if ! _PYTHON_HOST_PLATFORM=win-amd64 nice "$python" -m pip wheel --no-deps --no-build-isolation -w "$work/raw" \
    -C cmake.python-hints=false -C cmake.define.CMAKE_TOOLCHAIN_FILE="$toolchain" \
    -C cmake.define.Python_EXECUTABLE="$interpreter" -C cmake.define.Python_INCLUDE_DIR="$include" \
    -C cmake.define.Python_SABI_LIBRARY="$work/python3.lib" -C cmake.define.Python_SOSABI= \
    -C build-dir="$work/build" "$src" >"$work/build.log" 2>&1; then
  tail -n 60 "$work/build.log"
  exit 1
fi
wheel=$(ls "$work"/raw/velmora-*-cp39-abi3-win_amd64.whl)
mkdir -p "$work/unpacked"
"$python" -m zipfile -e "$wheel" "$work/unpacked"
pyd=$work/unpacked/velmora.pyd
[ -f "$pyd" ] || { echo "windows wheel: no velmora.pyd in $(basename "$wheel")" >&2; exit 1; }
objdump -p "$pyd" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u >"$work/dlls.txt"
echo "velmora.pyd imports from: $(tr '\n' ' ' <"$work/dlls.txt")"
# System DLLs: Windows' own, and the Universal CRT's api-ms-win-crt-* set.
if grep -v -i -E '^(python3\.dll|kernel32\.dll|ntdll\.dll|advapi32\.dll|api-ms-win-[a-z0-9-]+\.dll)$' "$work/dlls.txt"; then
  echo "windows wheel: velmora.pyd needs the DLLs above, which are neither python3.dll nor Windows' own" >&2
  exit 1
fi
grep -qx -i 'python3.dll' "$work/dlls.txt" || { echo "windows wheel: velmora.pyd does not import python3.dll" >&2; exit 1; }
"$python" -m abi3audit --strict --summary "$wheel"
mkdir -p "$out"
cp "$wheel" "$out/"
echo "$out/$(basename "$wheel")"
