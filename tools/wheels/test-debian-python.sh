#!/usr/bin/env bash
# Runs the whole test suite against an x86_64 wheel in CPython versions newer
# than any this Debian ships: Debian unstable's own binary packages of them.
#
#   tools/wheels/test-debian-python.sh WHEEL VERSION... [-- PYTEST ARGS...]
#   e.g. tools/wheels/test-debian-python.sh dist/velmora-*.whl 3.14 3.15
#
# The interpreters and every library they need (unstable's glibc included)
# are downloaded by a private apt configuration (the host's package state is
# not touched) and unpacked into a private root,
# $VELMORA_DEBIAN_PYTHONS (default ~/.cache/velmora/debian-unstable-pythons),
# kept for the next run. Each interpreter is re-pointed with patchelf at the
# unpacked loader and, through its RPATH, at the unpacked libraries, so it
# runs on this host with its own C library, and so do the programs the tests
# start from sys.executable. The interpreter installs the wheel and the test
# extra itself (pip run from its wheel) into a private site directory on its
# path.
#
# Without patchelf it installs it when run as root; a tool that cannot be
# had fails the run under CI=true and skips it, saying so, otherwise.
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 WHEEL VERSION... [-- PYTEST ARGS...]" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tools/lib/debian_root.sh"
wheel=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift
versions=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do versions+=("$1"); shift; done
[ "${1:-}" = -- ] && shift
case "$(basename "$wheel")" in
  *-abi3-*x86_64*.whl) ;;
  *) echo "not an abi3 x86_64 wheel: $wheel" >&2; exit 2 ;;
esac
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-debian-python.XXXXXX")
trap 'rm -rf "$work"' EXIT
export PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_INPUT=1
t0=$SECONDS

if ! command -v patchelf >/dev/null && [ "$(id -u)" = 0 ]; then
  echo "== installing patchelf (bounded to 10 minutes)"
  export DEBIAN_FRONTEND=noninteractive
  timeout 600 sh -c 'apt-get update -qq && apt-get install -y -qq --no-install-recommends patchelf' \
    >"$work/apt.log" 2>&1 || { echo "apt-get failed:"; tail -5 "$work/apt.log"; }
fi
if ! command -v patchelf >/dev/null || ! command -v apt-get >/dev/null; then
  if [ "${CI:-}" = true ]; then
    echo "test-debian-python: FAILED: needs patchelf and apt-get"
    exit 1
  fi
  echo "test-debian-python: SKIPPED: needs patchelf and apt-get"
  exit 0
fi

# The interpreters, and the C++ runtime that the wheel (built by the host's
# g++) expects from the system.
packages=()
for v in "${versions[@]}"; do packages+=("python$v"); done
packages+=(libstdc++6)
sysroot=${VELMORA_DEBIAN_PYTHONS:-${XDG_CACHE_HOME:-$HOME/.cache}/velmora/debian-unstable-pythons}
if ! debian_root_current "$sysroot" "${packages[@]}"; then
  debian_root_fetch "$work/apt" "$sysroot" sid amd64 "${packages[@]}" || exit 1
  libdir=$sysroot/usr/lib/x86_64-linux-gnu
  for v in "${versions[@]}"; do
    # DT_RPATH rather than DT_RUNPATH: it also serves the libraries that
    # extension modules load (libssl, libffi, libstdc++), which would
    # otherwise come from the host.
    patchelf --set-interpreter "$libdir/ld-linux-x86-64.so.2" --force-rpath --set-rpath "$libdir" \
      "$sysroot/usr/bin/python$v"
  done
  "${PYTHON:-python3}" -m pip download -q --no-deps -d "$sysroot/pip" pip >"$work/pip.log" 2>&1 ||
    { cat "$work/pip.log"; exit 1; }
  debian_root_stamp "$sysroot" "${packages[@]}"
fi
pip_wheel=$(ls "$sysroot"/pip/pip-*.whl | head -n 1)

summary=()
status=0
for v in "${versions[@]}"; do
  python=$sysroot/usr/bin/python$v
  about=$("$python" -c 'import platform, sys; print(platform.python_version(), "glibc", platform.libc_ver()[1], "GIL" if getattr(sys, "_is_gil_enabled", lambda: True)() else "free-threaded")')
  echo "== Debian unstable CPython $about: $(basename "$wheel") and the test extra"
  site=$work/site-$v
  "$python" "$pip_wheel/pip" install -q --no-compile --target "$site" --only-binary=:all: "$wheel[test]" \
    >"$work/pip-$v.log" 2>&1 || { cat "$work/pip-$v.log"; exit 1; }
  log=$work/pytest-$v.log
  # From tests/, so that nothing in the clone shadows the installed module.
  (cd "$root/tests" && PYTHONPATH=$site "$python" -m pytest -q -p no:cacheprovider "$@") 2>&1 | tee "$log" ||
    status=1
  summary+=("CPython $about: $(grep -E '^[0-9]+ (passed|failed)|^=+ .*(passed|failed)' "$log" | tail -n 1 | tr -d '=' | xargs)")
done
echo "== Debian unstable CPythons ($((SECONDS - t0)) s)"
printf '%s\n' "${summary[@]}"
exit $status
