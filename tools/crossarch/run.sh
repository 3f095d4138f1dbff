#!/usr/bin/env bash
# Same bits on other machines: builds tools/crossarch/driver.cpp with the core
# for x86-64 (the host), aarch64 and s390x (big-endian), runs the foreign
# builds under qemu-user, and compares every line with the host's.
#
#   tools/crossarch/run.sh [--no-install]
#
# Integer results must be identical (exit 1 otherwise). Results that go
# through cos, sin or atan2 are compared too; differences are listed, with the
# C library's own values at the same angles, and do not fail the run. Where
# the cross compilers or qemu-user are missing the script tries apt-get (as
# root, time-bounded) and otherwise skips, saying so, with exit 0.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-crossarch.XXXXXX")
trap 'rm -rf "$work"' EXIT
arches=(aarch64 s390x)
flags=(-std=c++20 -O2 -ffp-contract=off -fno-fast-math -I"$root/src")
sources=("$root/tools/crossarch/driver.cpp" "$root"/src/core/*.cpp)

have_tools() {
  for a in "${arches[@]}"; do
    command -v "$a-linux-gnu-g++" >/dev/null && command -v "qemu-$a" >/dev/null || return 1
  done
}

if ! have_tools && [ "${1:-}" != "--no-install" ] && [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
  echo "== installing cross compilers and qemu-user (bounded to 10 minutes)"
  export DEBIAN_FRONTEND=noninteractive
  timeout 600 sh -c 'apt-get update -qq && apt-get install -y -qq --no-install-recommends \
      g++-aarch64-linux-gnu g++-s390x-linux-gnu qemu-user' >"$work/apt.log" 2>&1 ||
    { echo "apt-get failed:"; tail -5 "$work/apt.log"; }
fi
if ! have_tools; then
  echo "crossarch: SKIPPED: needs aarch64-/s390x-linux-gnu-g++ and qemu-aarch64/qemu-s390x"
  exit 0
fi

g++ "${flags[@]}" "${sources[@]}" -o "$work/x86_64" || exit 1
"$work/x86_64" >"$work/x86_64.out"
for a in "${arches[@]}"; do
  "$a-linux-gnu-g++" "${flags[@]}" -static "${sources[@]}" -o "$work/$a" || exit 1
  timeout 600 "qemu-$a" "$work/$a" >"$work/$a.out" || { echo "crossarch: $a run failed"; exit 1; }
done

python3 - "$work" "${arches[@]}" <<'PY'
import sys
work, arches = sys.argv[1], sys.argv[2:]

def load(name):
    rows = {}
    for line in open("%s/%s.out" % (work, name)):
        kind, key, value = line.split()
        rows[key] = (kind, value)
    return rows

def ulps(a, b):
    import struct
    ia, ib = (struct.unpack("<q", struct.pack("<d", float.fromhex(x)))[0] for x in (a, b))
    return abs(ia - ib)

host = load("x86_64")
ints = sum(1 for k, v in host.items() if v[0] == "int")
flts = len(host) - ints
status = 0
for arch in arches:
    other = load(arch)
    if set(other) != set(host):
        print("crossarch: %s printed different lines" % arch)
        status = 1
        continue
    int_diff = [k for k in host if host[k][0] == "int" and host[k] != other[k]]
    flt_diff = [k for k in host if host[k][0] == "flt" and host[k] != other[k]]
    print("crossarch: %s vs x86_64: %d/%d integer results identical, %d/%d float results identical"
          % (arch, ints - len(int_diff), ints, flts - len(flt_diff), flts))
    for k in int_diff:
        print("  INTEGER DIFFERS %s: x86_64 %s, %s %s" % (k, host[k][1], arch, other[k][1]))
        status = 1
    for k in flt_diff:
        a, b = host[k][1], other[k][1]
        print("  float differs %s: x86_64 %s, %s %s (%d ulp)" % (k, a, arch, b, ulps(a, b)))
sys.exit(status)
PY
