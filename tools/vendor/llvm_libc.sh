#!/usr/bin/env bash
# Refreshes third_party/llvm-libc: the correctly rounded double-precision
# cos, sin, sincos and atan2 of LLVM's C library, with exactly the headers
# they include on every target we build for.
#
#   tools/vendor/llvm_libc.sh
#
# The source is Debian's upstream tarball of the LLVM release (checked
# against its SHA-256). The header set is the union of what the compilers
# found here include for x86-64 (with and without FMA), aarch64, s390x,
# musl, Windows and macOS; the FPUtil architecture folders are copied whole.
# One patch is applied on top (see below).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
version=22.1.8
sha256=b49b9277aef97616320b2da259e1f8174c65b0ce2fbe2e8629644a97693402fe
url=http://deb.debian.org/debian/pool/main/l/llvm-toolchain-22/llvm-toolchain-22_$version.orig.tar.xz
work=$(mktemp -d "${TMPDIR:-/tmp}/llvm-libc.XXXXXX")
trap 'rm -rf "$work"' EXIT

curl -sSfL "$url" -o "$work/src.tar.xz"
echo "$sha256  $work/src.tar.xz" | sha256sum -c --quiet
tar -xJf "$work/src.tar.xz" -C "$work" --wildcards '*/libc/*'
libc=$(echo "$work"/*/libc)

cat >"$work/probe.cpp" <<'CPP'
#include "shared/math/atan2.h"
#include "shared/math/cos.h"
#include "shared/math/sin.h"
#include "src/math/generic/sincos.cpp"
CPP
zig=$(python3 -c 'import ziglang, os; print(os.path.join(os.path.dirname(ziglang.__file__), "zig"))' 2>/dev/null || true)
compilers=("g++" "g++ -mavx2 -mfma")
for c in aarch64-linux-gnu-g++ s390x-linux-gnu-g++; do command -v "$c" >/dev/null && compilers+=("$c"); done
if [ -n "$zig" ]; then
  for t in x86_64-linux-musl aarch64-linux-musl x86_64-windows-gnu aarch64-macos x86_64-macos; do
    compilers+=("$zig c++ -target $t")
  done
fi
: >"$work/deps"
for c in "${compilers[@]}"; do
  $c -std=c++20 -I"$libc" -DLIBC_NAMESPACE=__llvm_libc_velmora -MM "$work/probe.cpp" |
    tr ' \\' '\n\n' | grep "^$libc/" >>"$work/deps" || { echo "$c: failed"; exit 1; }
done
dest=$root/third_party/llvm-libc
rm -rf "$dest"
mkdir -p "$dest"
( cd "$libc" && { sed "s|^$libc/||" "$work/deps"; find src/__support/FPUtil -type f -name '*.h'; } |
    sort -u | while read -r f; do
      mkdir -p "$dest/$(dirname "$f")"
      cp "$f" "$dest/$f"
    done )
cp "$libc/LICENSE.TXT" "$dest/LICENSE.TXT"
# Our one change: a 128-bit shift shortcut that is wrong on big-endian
# machines (s390x: cos of the double nearest pi/2 came out as 0).
(cd "$dest" && patch -s -p1 <"$root/tools/vendor/llvm_libc_big_endian.patch")
{ echo "LLVM libc $version from $url"
  echo "patched with tools/vendor/llvm_libc_big_endian.patch"; } >"$dest/VERSION"
echo "vendored $(find "$dest" -type f | wc -l) files into third_party/llvm-libc"
