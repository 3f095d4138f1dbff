#!/usr/bin/env bash
# Runs the test suite against an x86_64 wheel under the oldest and the newest
# CPython the abi3 wheel promises (3.9 and 3.13, from $PYENV_ROOT/versions),
# each in a fresh venv:
#
#   tools/wheels/test-x86_64.sh WHEEL [PYTEST ARGS...]   (default: the whole suite)
#
# A missing interpreter fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tools/lib/debian_root.sh"
wheel_argument "$@"
shift
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-x86_64.XXXXXX")
trap 'rm -rf "$work"' EXIT
export PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_INPUT=1
pyenv_root=${PYENV_ROOT:-$HOME/.pyenv}
summary=()
for minor in 3.9 3.13; do
  interpreter=$(ls -d "$pyenv_root"/versions/"$minor".*/bin/python 2>/dev/null | sort -V | tail -n 1 || true)
  if [ -z "$interpreter" ]; then
    echo "CPython $minor is not installed under $pyenv_root" >&2
    exit 1
  fi
  version=$("$interpreter" -c 'import platform; print(platform.python_version())')
  echo "== CPython $version with $(basename "$wheel")"
  "$interpreter" -m venv "$work/venv-$minor"
  "$work/venv-$minor/bin/python" -m pip install -q "$wheel[test]" >"$work/pip-$minor.log" 2>&1 ||
    { cat "$work/pip-$minor.log"; exit 1; }
  log=$work/pytest-$minor.log
  (cd "$root" && "$work/venv-$minor/bin/python" -m pytest -q -p no:cacheprovider "$@") 2>&1 | tee "$log"
  summary+=("CPython $version: $(grep -E '^=* ?[0-9]+ (passed|failed)' "$log" | tail -n 1 | tr -d '=' | xargs)")
done
printf '%s\n' "${summary[@]}"
