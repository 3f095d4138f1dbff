#!/usr/bin/env bash
# The Windows wheel computes what the Linux wheel computes, bit for bit:
# tools/windows/seeded_results.py (generation, bind, similarity,
# similarities, bundle, the resonator) run by Linux CPython 3.13 with the
# Linux x86_64 wheel, and by Windows CPython 3.9 and 3.13 under Wine with the
# win_amd64 wheel; the outputs must be identical line for line.
#
#   tools/windows/compare.sh WIN_WHEEL LINUX_WHEEL
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
here=$root/tools/windows
source "$root/tools/lib/build.sh"
if [ $# -ne 2 ]; then
  echo "usage: $0 WIN_WHEEL LINUX_WHEEL" >&2
  exit 2
fi
win_wheel=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
linux_wheel=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
wine_find || { echo "windows compare: needs wine64" >&2; exit 1; }
wine_env
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-wincompare.XXXXXX")
trap 'rm -rf "$work"' EXIT
script=$here/seeded_results.py
linux=$(ls -d "${PYENV_ROOT:-$HOME/.pyenv}"/versions/3.13.*/bin/python 2>/dev/null | sort -V | tail -n 1 || true)
[ -n "$linux" ] || { echo "windows compare: needs CPython 3.13 under ${PYENV_ROOT:-$HOME/.pyenv}" >&2; exit 1; }
# A wheel is a zip to unpack into a folder on the path: nothing else is needed.
"$linux" -m zipfile -e "$linux_wheel" "$work/linux-site"
PYTHONPATH=$work/linux-site "$linux" -s "$script" >"$work/linux.txt" 2>&1 ||
  { cat "$work/linux.txt"; exit 1; }
status=0
for minor in 3.9 3.13; do
  python=$work/cp$minor
  cp -r "$("$here/python.sh" "$minor")" "$python"
  "$linux" -m zipfile -e "$win_wheel" "$python/site-packages"
  # Through a pipe: Windows CPython under Wine cannot set up its standard
  # streams on a regular file. Unix paths resolve through Wine's Z: drive.
  if ! PYTHONUNBUFFERED=1 "$wine" "$python/python.exe" "$script" </dev/null 2>&1 | tr -d '\r' >"$work/win-$minor.txt"; then
    tail -n 20 "$work/win-$minor.txt"
    echo "windows compare: FAILED: the script failed under Windows CPython $minor"
    status=1
  elif diff -u "$work/linux.txt" "$work/win-$minor.txt" >"$work/diff-$minor.txt"; then
    echo "windows compare: Windows CPython $minor: $(wc -l <"$work/linux.txt") seeded results identical to Linux's"
  else
    head -n 40 "$work/diff-$minor.txt"
    echo "windows compare: FAILED: Windows CPython $minor differs from Linux (diff above)"
    status=1
  fi
done
exit $status
