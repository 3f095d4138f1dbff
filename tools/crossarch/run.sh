#!/usr/bin/env bash
# Same bits on every machine: builds tools/crossarch/driver.cpp with the core
# for x86-64 with glibc (the host compiler; both copies of the correctly
# rounded functions, FMA chosen at run time), x86-64 with musl (zig c++,
# baseline copy only), aarch64 and s390x (big-endian; cross g++, run under
# qemu-user), and compares every line with the host's, integers and floats
# alike. The native builds digest the tables of every resolution 2..65536;
# the emulated ones every resolution up to 4096 and a sample above.
#
#   tools/crossarch/run.sh [--no-install]
#
# Any difference fails the run.
#
# Missing tools are installed (apt-get for the cross compilers and
# qemu-user, pip for zig) when run as root; if they are still missing the
# run fails under CI=true and is skipped, saying so, otherwise.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-crossarch.XXXXXX")
trap 'rm -rf "$work"' EXIT
emulated=(aarch64 s390x)
flags=(-std=c++20 -O2 -ffp-contract=off -fno-fast-math -I"$root/src" -isystem "$root/third_party/llvm-libc")
sources=("$root/tools/crossarch/driver.cpp" "$root"/src/core/*.cpp)
zig() { python3 -m ziglang "$@"; }

have_tools() {
  for a in "${emulated[@]}"; do
    command -v "$a-linux-gnu-g++" >/dev/null && command -v "qemu-$a" >/dev/null || return 1
  done
  zig version >/dev/null 2>&1
}

if ! have_tools && [ "${1:-}" != "--no-install" ] && [ "$(id -u)" = 0 ]; then
  echo "== installing cross compilers, qemu-user and zig (bounded to 10 minutes)"
  export DEBIAN_FRONTEND=noninteractive
  timeout 600 sh -c 'apt-get update -qq && apt-get install -y -qq --no-install-recommends \
      g++-aarch64-linux-gnu g++-s390x-linux-gnu qemu-user' >"$work/apt.log" 2>&1 ||
    { echo "apt-get failed:"; tail -5 "$work/apt.log"; }
  timeout 300 python3 -m pip install -q ziglang >"$work/pip.log" 2>&1 || { echo "pip failed:"; tail -5 "$work/pip.log"; }
fi
if ! have_tools; then
  if [ "${CI:-}" = true ]; then
    echo "crossarch: FAILED: needs aarch64-/s390x-linux-gnu-g++, qemu-aarch64/qemu-s390x and zig (pip install ziglang)"
    exit 1
  fi
  echo "crossarch: SKIPPED: needs aarch64-/s390x-linux-gnu-g++, qemu-aarch64/qemu-s390x and zig (pip install ziglang)"
  exit 0
fi

echo "== building for x86_64-glibc, x86_64-musl, ${emulated[*]}"
g++ "${flags[@]}" -mavx2 -mfma -DVELMORA_CR_VARIANT=correctly_rounded_fma -DLIBC_NAMESPACE=__llvm_libc_velmora_fma \
  -c "$root/src/core/correctly_rounded_variant.cpp" -o "$work/cr_fma.o" || exit 1
g++ "${flags[@]}" -DVELMORA_CR_FMA "${sources[@]}" "$work/cr_fma.o" -o "$work/x86_64-glibc" || exit 1
zig c++ -target x86_64-linux-musl -mcpu=x86_64 "${flags[@]}" "${sources[@]}" -o "$work/x86_64-musl" || exit 1
for a in "${emulated[@]}"; do
  "$a-linux-gnu-g++" "${flags[@]}" -static "${sources[@]}" -o "$work/$a" || exit 1
done

echo "== running (native builds: all tables; emulated: a sample)"
"$work/x86_64-glibc" 1 >"$work/x86_64-glibc.out" & p1=$!
"$work/x86_64-musl" 1 >"$work/x86_64-musl.out" & p2=$!
wait $p1 || { echo "crossarch: x86_64-glibc run failed"; exit 1; }
wait $p2 || { echo "crossarch: x86_64-musl run failed"; exit 1; }
for a in "${emulated[@]}"; do
  timeout 900 "qemu-$a" "$work/$a" 61 >"$work/$a.out" & eval "pid_$a=$!"
done
for a in "${emulated[@]}"; do
  eval "wait \$pid_$a" || { echo "crossarch: $a run failed"; exit 1; }
done

python3 - "$work" x86_64-musl aarch64 s390x <<'PY'
import sys
work, others = sys.argv[1], sys.argv[2:]

def load(name):
    rows = {}
    for line in open("%s/%s.out" % (work, name)):
        kind, key, value = line.split()
        rows[key] = (kind, value)
    return rows

host = load("x86_64-glibc")
status = 0
for arch in others:
    other = load(arch)
    missing = [k for k in other if k not in host] + [k for k in host if k not in other and not k.startswith("tables.n")]
    shared = [k for k in other if k in host]
    ints = [k for k in shared if host[k][0] == "int"]
    flts = [k for k in shared if host[k][0] == "flt"]
    tables = sum(1 for k in shared if k.startswith("tables.n"))
    diff = [k for k in shared if host[k] != other[k]]
    print("crossarch: %s vs x86_64-glibc: %d/%d integer and %d/%d float results identical "
          "(%d resolutions' tables)"
          % (arch, sum(1 for k in ints if k not in diff), len(ints), sum(1 for k in flts if k not in diff),
             len(flts), tables))
    for k in missing[:10]:
        print("  %s: line %s printed by one side only" % (arch, k))
    for k in diff[:20]:
        print("  DIFFERS %s: x86_64-glibc %s, %s %s" % (k, host[k][1], arch, other[k][1]))
    if len(diff) > 20:
        print("  ... and %d more" % (len(diff) - 20))
    if diff or missing:
        status = 1
sys.exit(status)
PY
