#!/usr/bin/env bash
# Same bits on every machine: builds the velmora_crossarch_driver target
# (tests/native/crossarch_driver.cpp with the core, CMake as for every native
# program) for
#   x86_64-glibc    the host compiler (the reference),
#   x86_64-musl     zig c++, static musl,
#   x86_64-windows  zig c++ for x86_64-windows-gnu (mingw-w64), run under Wine,
#   aarch64, s390x (big-endian), ppc64le, riscv64
#                   Debian's cross g++ (toolchain files in cmake/), static,
#                   run under qemu-user; GCC contracts a*b+c into fused
#                   multiply-add by default on POWER and RISC-V, which the
#                   build must keep turned off,
# and compares every result with the host's: integers by value, floats by
# their 64-bit pattern. The x86-64 builds include both copies of the correctly
# rounded functions (FMA chosen at run time). The host and musl builds digest
# the tables of every resolution 2..65536; the others every resolution up to
# 4096 and a sample above (every 61st; every 509th under the slower emulators).
#
#   tools/crossarch/run.sh [--no-install]
#
# Any difference fails the run.
#
# Missing tools are installed (apt-get for the cross compilers, qemu-user and
# wine64, pip for zig) when run as root; if they are still missing the run
# fails under CI=true and is skipped, saying so, otherwise.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-crossarch.XXXXXX")
trap 'rm -rf "$work"' EXIT
t0=$SECONDS
# machine, Debian triple, qemu name, table sample stride
emulated=("aarch64 aarch64-linux-gnu aarch64 61" "s390x s390x-linux-gnu s390x 61"
          "ppc64le powerpc64le-linux-gnu ppc64le 509" "riscv64 riscv64-linux-gnu riscv64 509")
zig() { python3 -m ziglang "$@"; }
source "$root/tools/lib/build.sh"
wine_find --no-install || true

have_tools() {
  for spec in "${emulated[@]}"; do
    set -- $spec
    command -v "$2-g++" >/dev/null && command -v "qemu-$3" >/dev/null || return 1
  done
  command -v cmake >/dev/null && [ -x "$wine" ] && zig version >/dev/null 2>&1
}
needs="cmake, {aarch64,s390x,powerpc64le,riscv64}-linux-gnu-g++, qemu-user, wine64 and zig (pip install ziglang)"

if ! have_tools && [ "${1:-}" != "--no-install" ] && [ "$(id -u)" = 0 ]; then
  echo "== installing cross compilers, qemu-user, wine64 and zig (bounded to 10 minutes)"
  apt_install g++-aarch64-linux-gnu g++-s390x-linux-gnu g++-powerpc64le-linux-gnu g++-riscv64-linux-gnu \
    qemu-user wine64 || true
  timeout 300 python3 -m pip install -q ziglang >"$work/pip.log" 2>&1 || { echo "pip failed:"; tail -5 "$work/pip.log"; }
  wine_find --no-install || true
fi
if ! have_tools; then
  tool_unavailable crossarch "needs $needs"
  exit 0
fi

# build NAME [CMAKE ARGS...]: the driver, through the project's CMake.
build() {
  local name=$1 start=$SECONDS
  shift
  native_build crossarch "$work/build-$name" velmora_crossarch_driver "$@"
  echo "built $name in $((SECONDS - start)) s"
}
# run NAME STRIDE [LAUNCHER...]: in the background, output to NAME.out.
pids=()
run() {
  local name=$1 stride=$2 exe
  shift 2
  exe=$(ls "$work/build-$name"/velmora_crossarch_driver{,.exe} 2>/dev/null | head -n 1)
  ( start=$SECONDS
    timeout 1800 "$@" "$exe" "$stride" >"$work/$name.out" 2>"$work/$name.err" ||
      { tail -n 20 "$work/$name.err"; echo "crossarch: $name run FAILED"; exit 1; }
    echo "ran $name in $((SECONDS - start)) s" ) &
  pids+=($!)
}

echo "== building and running (emulated runs start as soon as they are built)"
for spec in "${emulated[@]}"; do
  set -- $spec
  build "$1" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$2.cmake"
  run "$1" "$4" "qemu-$3"
done
build x86_64-glibc
run x86_64-glibc 1
for spec in "x86_64-musl x86_64-linux-musl" "x86_64-windows x86_64-windows-gnu"; do
  set -- $spec
  toolchain=$("$root/tools/compilers/zig-toolchain.sh" "$work/zig-$2" "$2" python3) || exit 1
  build "$1" -DCMAKE_TOOLCHAIN_FILE="$toolchain"
done
run x86_64-musl 1
wine_env
run x86_64-windows 61 "$wine"
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
[ $status = 0 ] || exit 1

python3 - "$work" x86_64-musl x86_64-windows aarch64 s390x ppc64le riscv64 <<'PY'
import sys
work, others = sys.argv[1], sys.argv[2:]

def load(name):
    """Each line as (kind, value): integers by value, floats by their bits."""
    rows = {}
    for line in open("%s/%s.out" % (work, name)):
        kind, key, value = line.split()
        rows[key] = (kind, int(value, 16 if kind == "flt" else 10))
    return rows

host = load("x86_64-glibc")
status = 0
for arch in others:
    other = load(arch)
    missing = [k for k in other if k not in host] + [k for k in host if k not in other and not k.startswith("tables.n")]
    shared = [k for k in other if k in host]
    ints = [k for k in shared if host[k][0] == "int"]
    flts = [k for k in shared if host[k][0] == "flt"]
    tables = sum(1 for k in shared if k.startswith("tables.n") and k.count(".") == 1)
    diff = [k for k in shared if host[k] != other[k]]
    print("crossarch: %s vs x86_64-glibc: %d/%d integer and %d/%d float results identical "
          "(%d resolutions' tables)"
          % (arch, sum(1 for k in ints if k not in diff), len(ints), sum(1 for k in flts if k not in diff),
             len(flts), tables))
    for k in missing[:10]:
        print("  %s: line %s printed by one side only" % (arch, k))
    for k in diff[:20]:
        print("  DIFFERS %s: x86_64-glibc %016x, %s %016x" % (k, host[k][1] % 2**64, arch, other[k][1] % 2**64))
    if len(diff) > 20:
        print("  ... and %d more" % (len(diff) - 20))
    if diff or missing:
        status = 1
sys.exit(status)
PY
status=$?
echo "crossarch: $([ $status = 0 ] && echo "nothing differs" || echo FAILED) ($((SECONDS - t0)) s)"
exit $status
