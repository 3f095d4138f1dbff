#!/usr/bin/env bash
# Runs the test suite against the win_amd64 wheel in Windows CPython 3.9 and
# 3.13 (the embeddable interpreters of tools/windows/python.sh) under Wine:
#
#   tools/windows/test.sh WHEEL [PYTEST ARGS...]   (default: the whole suite)
#
# Each interpreter gets a fresh copy of itself with the wheel and its [test]
# dependencies unpacked into the site-packages folder its ._pth lists:
# win_amd64 or pure-Python wheels, downloaded once per interpreter version
# and requirement set into ${XDG_CACHE_HOME:-~/.cache}/velmora/windows/ by
# pip running under the Linux CPython of the same minor version (from
# $PYENV_ROOT/versions), so that python_version markers resolve as they do on
# Windows. Markers on the platform still resolve as on Linux, which drops
# the Windows-only dependencies of pytest and click; colorama is added by
# name for them. Exits non-zero if either run fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
here=$root/tools/windows
source "$root/tools/lib/debian_root.sh"
source "$root/tools/lib/build.sh"
wheel_argument "$@"
shift
wine_find || { echo "windows tests: needs wine64" >&2; exit 1; }
wine_env
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-wintest.XXXXXX")
trap 'rm -rf "$work"' EXIT
export PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_INPUT=1
cache=${XDG_CACHE_HOME:-$HOME/.cache}/velmora/windows
pyenv_root=${PYENV_ROOT:-$HOME/.pyenv}
extras=$("${PYTHON:-python3}" - "$wheel" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as whl:
    meta = next(n for n in whl.namelist() if n.endswith(".dist-info/METADATA"))
    lines = whl.read(meta).decode().splitlines()
print(" ".join(sorted(l.split(": ", 1)[1].split(";")[0].replace(" ", "") for l in lines
                      if l.startswith("Requires-Dist:") and "extra == \"test\"" in l)))
PY
)
# numpy 2.2 and later call ucrtbase's crealf, which Wine 8 does not have
# (the interpreter dies importing numpy); the last release before it.
extras="$extras numpy<2.2"
summary=()
for minor in 3.9 3.13; do
  start=$SECONDS
  embed=$("$here/python.sh" "$minor")
  linux=$(ls -d "$pyenv_root"/versions/"$minor".*/bin/python 2>/dev/null | sort -V | tail -n 1 || true)
  [ -n "$linux" ] || { echo "windows tests: needs CPython $minor under $pyenv_root" >&2; exit 1; }
  key=$(echo "$extras colorama" | sha256sum | cut -c1-12)
  wheels=$cache/wheels-cp${minor/./}-$key
  if [ ! -f "$wheels/.complete" ]; then
    echo "== test dependencies for Windows CPython $minor: $extras colorama"
    rm -rf "$wheels"
    # shellcheck disable=SC2086
    timeout 900 "$linux" -m pip download -q --only-binary=:all: --platform win_amd64 --implementation cp \
      --python-version "$minor" -d "$wheels" $extras colorama >"$work/download-$minor.log" 2>&1 ||
      { cat "$work/download-$minor.log"; exit 1; }
    touch "$wheels/.complete"
  fi
  python=$work/cp$minor
  cp -r "$embed" "$python"
  # 3.13's platform module asks WMI for the Windows version through _wmi,
  # which calls propsys's VariantToString, missing from Wine 8 (the process
  # dies); without _wmi it reads sys.getwindowsversion() instead.
  rm -f "$python/_wmi.pyd"
  # A ._pth file makes the interpreter ignore PYTHONPATH, through which the
  # tests' child interpreters would find tests/support: listed there instead
  # (Wine's Z: drive is the Unix root).
  printf 'Z:%s\n' "$(echo "$root/tests" | tr / '\\')" >>"$(ls "$python"/python*._pth)"
  # shellcheck disable=SC2086
  "$linux" -m pip install -q --no-index --find-links "$wheels" --only-binary=:all: --platform win_amd64 \
    --implementation cp --python-version "$minor" --target "$python/site-packages" "$wheel" $extras colorama \
    >"$work/install-$minor.log" 2>&1 || { cat "$work/install-$minor.log"; exit 1; }
  version=$(PYTHONUNBUFFERED=1 "$wine" "$python/python.exe" -c 'import platform; print(platform.python_version())' \
    </dev/null 2>&1 | tr -d '\r')
  echo "== Windows CPython $version (Wine) with $(basename "$wheel")"
  log=$work/pytest-$minor.log
  # Through a pipe: Windows CPython under Wine cannot set up its standard
  # streams on a regular file.
  (cd "$root" && PYTHONUNBUFFERED=1 "$wine" "$python/python.exe" -m pytest -q -p no:cacheprovider "$@" </dev/null) 2>&1 |
    tr -d '\r' | tee "$log"
  status=${PIPESTATUS[0]}
  summary+=("Windows CPython $version: $(grep -E '^=* ?[0-9]+ (passed|failed)' "$log" | tail -n 1 | tr -d '=' | xargs) ($((SECONDS - start)) s)")
  [ "$status" = 0 ] || { printf '%s\n' "${summary[@]}"; echo "windows tests: FAILED under CPython $version" >&2; exit 1; }
done
printf '%s\n' "${summary[@]}"
