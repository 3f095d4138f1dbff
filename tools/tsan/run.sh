#!/usr/bin/env bash
# ThreadSanitizer over the core's shared state (tools/tsan/shared_state.cpp):
# the core and the driver compiled with -fsanitize=thread, run with several
# threads; any report stops the run with a non-zero status, as does a result
# that differs from the single-threaded one.
#
#   tools/tsan/run.sh [THREADS] [ROUNDS]        (default 4 3)
#
# Compiler: $CXX, else clang++-14 or clang++, else g++ (each needs its
# ThreadSanitizer runtime, e.g. Debian's libclang-rt-14-dev or libtsan2).
# On x86-64 both copies of the correctly rounded functions are built, as in
# the module, so the choice between them is exercised too. About a minute on
# 2 cores (most of it compiling LLVM libc twice).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-tsan.XXXXXX")
trap 'rm -rf "$work"' EXIT
t0=$SECONDS

cxx=${CXX:-}
if [ -z "$cxx" ]; then
  for candidate in clang++-14 clang++ g++; do
    if command -v "$candidate" >/dev/null &&
       echo 'int main() {}' | "$candidate" -x c++ -fsanitize=thread - -o "$work/probe" >/dev/null 2>&1; then
      cxx=$candidate
      break
    fi
  done
fi
if [ -z "$cxx" ]; then
  echo "tsan: FAILED: no C++ compiler with a ThreadSanitizer runtime (clang++ with libclang-rt, or g++ with libtsan)"
  exit 1
fi
flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=thread -I"$root/src"
       -isystem "$root/third_party/llvm-libc" -ffp-contract=off)
# clang before 15 cannot compile libstdc++'s <source_location>.
if [[ "$("$cxx" --version | head -n 1)" == *clang* ]] && [ "$("$cxx" -dumpversion | cut -d. -f1)" -lt 15 ]; then
  flags+=(-I"$root/tools/corefuzz/clang14")
fi
echo "== ThreadSanitizer build of the core with $cxx ($("$cxx" -dumpversion))"

objects=()
compile() {  # OUTPUT SOURCE [FLAGS...]
  local out=$1 src=$2
  shift 2
  "$cxx" "${flags[@]}" "$@" -c "$src" -o "$out"
  objects+=("$out")
}
core_defs=()
if [ "$(uname -m)" = x86_64 ]; then
  compile "$work/cr_fma.o" "$root/src/core/correctly_rounded_variant.cpp" -mavx2 -mfma \
    -DVELMORA_CR_VARIANT=correctly_rounded_fma -DLIBC_NAMESPACE=__llvm_libc_velmora_fma &
  fma_job=$!
  core_defs=(-DVELMORA_CR_FMA)
fi
compile "$work/cr_baseline.o" "$root/src/core/correctly_rounded_variant.cpp"
if [ -n "${fma_job:-}" ]; then
  wait "$fma_job"
  objects+=("$work/cr_fma.o")
fi
for src in "$root"/src/core/*.cpp "$root/tools/tsan/shared_state.cpp"; do
  [ "$(basename "$src")" = correctly_rounded_variant.cpp ] && continue
  compile "$work/$(basename "$src" .cpp).o" "$src" "${core_defs[@]}"
done
"$cxx" -fsanitize=thread "${objects[@]}" -pthread -o "$work/shared_state"

echo "== shared state from ${1:-4} threads under ThreadSanitizer"
TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1${TSAN_OPTIONS:+:$TSAN_OPTIONS}" \
  "$work/shared_state" "$@"
echo "tsan: no reports, $((SECONDS - t0)) s in all"
