#!/usr/bin/env bash
# Prints a directory holding CPython's headers as a Windows build sees them:
# Include/ of Debian 13's python3.13 source package with PC/pyconfig.h (the
# configuration the Windows installers are built with) in place of the one
# configure writes on Unix. An abi3 module compiled against it with
# Py_LIMITED_API=0x03090000 loads in every Windows CPython from 3.9 on.
#
#   include=$(tools/windows/headers.sh)        (progress goes to stderr)
#
# Cached under ${XDG_CACHE_HOME:-~/.cache}/velmora/windows/, one directory per
# source version; once one is there nothing is fetched. The source comes
# through a private apt configuration (tools/lib/debian_root.sh), checked
# against the signed Sources index; only the upstream tarball is read.
set -euo pipefail
source "$(cd "$(dirname "$0")/../lib" && pwd)/debian_root.sh"
cache=${XDG_CACHE_HOME:-$HOME/.cache}/velmora/windows
cached=$(ls -d "$cache"/cpython-headers-*/include 2>/dev/null | sort -V | tail -n 1 || true)
if [ -n "$cached" ] && [ -f "$cached/pyconfig.h" ] && [ -f "$cached/Python.h" ]; then
  echo "$cached"
  exit 0
fi
needs_tools "windows headers" apt-get tar || exit 1
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-winheaders.XXXXXX")
trap 'rm -rf "$work"' EXIT
t0=$SECONDS
echo "== Windows CPython headers: Debian 13's python3.13 source package" >&2
debian_trixie_source "$work" python3.13 || exit 1
version=$(basename "$(ls "$work"/src/python3.13_*.dsc)" .dsc)
orig=$(ls "$work"/src/python3.13_*.orig.tar.* | grep -v "\.asc$")
top=$(tar -tf "$orig" | awk -F/ 'NR == 1 { print $1 }')
tar -xf "$orig" -C "$work/src" "$top/Include" "$top/PC/pyconfig.h.in"
dest=$cache/cpython-headers-${version#python3.13_}
rm -rf "$dest"
mkdir -p "$dest"
cp -r "$work/src/$top/Include" "$dest/include"
# pyconfig.h.in is the PC/pyconfig.h of a GIL build: a free-threaded build
# uncomments its Py_GIL_DISABLED line.
cp "$work/src/$top/PC/pyconfig.h.in" "$dest/include/pyconfig.h"
echo "windows headers: $version, unpacked in $((SECONDS - t0)) s" >&2
echo "$dest/include"
