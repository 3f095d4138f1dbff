#!/usr/bin/env bash
# Runs the test suite against an aarch64 wheel in a real arm64 CPython,
# emulated by qemu-user:
#
#   tools/wheels/test-aarch64.sh WHEEL [PYTEST ARGS...]   (default: the whole suite)
#
# The interpreter is Debian's arm64 python3.11 and its libraries, unpacked
# into a sysroot (a private apt configuration downloads them: the host's
# package state is not touched) that qemu-aarch64 -L serves as the root for
# the emulated program's file lookups. The sysroot is kept in
# $VELMORA_AARCH64_SYSROOT (default ~/.cache/velmora/aarch64-bookworm) for
# the next run. The wheel and the test extra's aarch64 wheels are installed
# for that interpreter (pip --platform/--python-version into a private
# site directory on its path). A small host script stands in for the
# interpreter, so that the tests that start `sys.executable` again
# (examples, warm runs, dask workers) start it under qemu too.
#
# Without qemu-aarch64 it installs qemu-user when run as root; if it is still
# missing the run fails under CI=true and is skipped, saying so, otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tools/lib/debian_root.sh"
wheel_argument "$@"
shift
case "$(basename "$wheel")" in
  *-cp39-abi3-*aarch64*.whl) ;;
  *) echo "not a cp39-abi3 aarch64 wheel: $wheel" >&2; exit 2 ;;
esac
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-aarch64.XXXXXX")
trap 'rm -rf "$work"' EXIT
export PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_INPUT=1
host_python=${PYTHON:-python3}
t0=$SECONDS

if ! command -v qemu-aarch64 >/dev/null && [ "$(id -u)" = 0 ]; then
  echo "== installing qemu-user (bounded to 10 minutes)"
  export DEBIAN_FRONTEND=noninteractive
  timeout 600 sh -c 'apt-get update -qq && apt-get install -y -qq --no-install-recommends qemu-user' \
    >"$work/apt.log" 2>&1 || { echo "apt-get failed:"; tail -5 "$work/apt.log"; }
fi
if ! command -v qemu-aarch64 >/dev/null || ! command -v apt-get >/dev/null; then
  if [ "${CI:-}" = true ]; then
    echo "test-aarch64: FAILED: needs qemu-aarch64 (Debian's qemu-user) and apt-get"
    exit 1
  fi
  echo "test-aarch64: SKIPPED: needs qemu-aarch64 (Debian's qemu-user) and apt-get"
  exit 0
fi

# Debian 12's arm64 interpreter, its standard library's shared libraries, and
# the C++ runtime that numpy's wheels expect from the system.
packages=(python3.11 libstdc++6)
sysroot=${VELMORA_AARCH64_SYSROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/velmora/aarch64-bookworm}
if ! debian_root_current "$sysroot" "${packages[@]}"; then
  debian_root_fetch "$work/apt" "$sysroot" bookworm arm64 "${packages[@]}" || exit 1
  debian_root_stamp "$sysroot" "${packages[@]}"
fi

# The interpreter as the tests see it: sys.executable is this script.
python=$work/bin/python3
mkdir -p "$work/bin"
cat >"$python" <<EOF
#!/bin/sh
exec qemu-aarch64 -L "$sysroot" -0 "$python" "$sysroot/usr/bin/python3.11" "\$@"
EOF
chmod +x "$python"
version=$("$python" -c 'import platform, sys; print(platform.python_version(), platform.machine())')
echo "== emulated CPython: $version"
case "$version" in *aarch64) ;; *) echo "the emulated interpreter is not aarch64: $version" >&2; exit 1 ;; esac
pyver=$("$python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')

echo "== installing $(basename "$wheel") and the test extra for arm64 CPython $pyver"
site=$work/site
"$host_python" -m pip install -q --no-compile --target "$site" --only-binary=:all: --implementation cp \
  --python-version "$pyver" --abi "cp${pyver/./}" --abi abi3 --abi none \
  --platform manylinux_2_17_aarch64 --platform manylinux2014_aarch64 --platform manylinux_2_28_aarch64 \
  --platform linux_aarch64 --platform any "$wheel[test]" >"$work/pip.log" 2>&1 || { cat "$work/pip.log"; exit 1; }
export PYTHONPATH=$site
"$python" -c 'import velmora, numpy; print("velmora from", velmora.__file__)'

# qemu-user accepts setrlimit(RLIMIT_AS) from the emulated program but does
# not apply it (it would bound the emulator's own mappings), so the test that
# exhausts memory under a lowered limit never sees an allocation fail. It runs
# natively in the x86_64 suites.
unenforced=tests/robustness/test_hardening.py::test_memory_exhaustion_raises_and_recovers
echo "== pytest under qemu-aarch64 ${*:-(whole suite)}; not run here: $unenforced (RLIMIT_AS not enforced by qemu-user)"
status=0
(cd "$root" && "$python" -m pytest -q -p no:cacheprovider --deselect "$unenforced" "$@") || status=$?
echo "test-aarch64: pytest exited $status after $((SECONDS - t0)) s in all"
exit $status
