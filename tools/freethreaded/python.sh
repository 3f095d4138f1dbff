#!/usr/bin/env bash
# Prints the path of a free-threaded CPython 3.13 (built with --disable-gil),
# building it first if the cache does not hold it yet:
#
#   python=$(tools/freethreaded/python.sh)      (progress goes to stderr)
#
# The source is Debian 13's python3.13 source package, fetched with
# `apt-get source` through a private apt configuration (a deb-src entry for
# trixie; the host's own sources and package state are not touched). The
# build is the upstream tree that package unpacks to, configured with
# --disable-gil into a prefix under
# ${VELMORA_FREETHREADED_PREFIX:-${XDG_CACHE_HOME:-~/.cache}/velmora/python3.13t}
# and kept there for the next run; a stamp file names the source version
# and options it was built from. Debian's own patches are not applied:
# they point ensurepip, sysconfig and the install schemes at Debian's /usr
# layout, which a private prefix does not have.
#
# Needs apt-get, dpkg-source and the usual CPython build dependencies
# (build-essential libssl-dev zlib1g-dev libffi-dev libbz2-dev
# libreadline-dev libsqlite3-dev liblzma-dev libgdbm-dev libncurses-dev
# uuid-dev). Built once (make -j2) and cached under the prefix.
set -euo pipefail
source "$(cd "$(dirname "$0")/../lib" && pwd)/debian_root.sh"
prefix=${VELMORA_FREETHREADED_PREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/velmora/python3.13t}
options="--disable-gil --with-ensurepip=install"
stamp=$prefix/.velmora-build
python=$prefix/bin/python3.13t
if [ -x "$python" ] && [ "$(sed -n 2p "$stamp" 2>/dev/null)" = "$options" ]; then
  echo "$python"
  exit 0
fi

needs_tools freethreaded apt-get dpkg-source make cc || exit 1
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-freethreaded.XXXXXX")
trap 'rm -rf "$work"' EXIT
t0=$SECONDS

echo "== free-threaded CPython: Debian 13's python3.13 source package" >&2
debian_trixie_source "$work" python3.13 || exit 1
# dpkg-source unpacks the upstream tarball and Debian's directory without
# applying Debian's patches (see above).
dsc=$(ls "$work"/src/python3.13_*.dsc)
version=$(basename "$dsc" .dsc)
(cd "$work/src" && dpkg-source --skip-patches -x "$dsc" tree >"$work/dpkg-source.log" 2>&1) ||
  { cat "$work/dpkg-source.log" >&2; exit 1; }
tree=$work/src/tree
echo "source: $version (upstream $("$tree/configure" --version | sed -n 's/^python configure \([^ ]*\).*/\1/p'))" >&2

echo "== configure $options --prefix=$prefix; make -j2" >&2
rm -rf "$prefix"
mkdir -p "$work/build"
(cd "$work/build" && "$tree/configure" -q $options --prefix="$prefix" >"$work/configure.log" 2>&1) ||
  { tail -n 40 "$work/configure.log" >&2; exit 1; }
(cd "$work/build" && nice make -j2 >"$work/make.log" 2>&1) || { tail -n 40 "$work/make.log" >&2; exit 1; }
(cd "$work/build" && make install >"$work/install.log" 2>&1) || { tail -n 40 "$work/install.log" >&2; exit 1; }
gil=$("$python" -c 'import sys, sysconfig; print(sysconfig.get_config_var("Py_GIL_DISABLED"), sys._is_gil_enabled())')
[ "$gil" = "1 False" ] || { echo "freethreaded: $python is not free-threaded ($gil)" >&2; exit 1; }
printf '%s\n%s\n' "$version" "$options" >"$stamp"
echo "freethreaded: built $("$python" -VV | head -n 1) in $((SECONDS - t0)) s" >&2
echo "$python"
