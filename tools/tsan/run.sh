#!/usr/bin/env bash
# ThreadSanitizer over the core's shared state (tools/tsan/shared_state.cpp,
# the CMake target velmora_tsan_shared_state with -DVELMORA_TSAN=ON):
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
echo "== ThreadSanitizer build of the core with $cxx ($("$cxx" -dumpversion))"
cmake -S "$root" -B "$work/build" -DVELMORA_PYTHON_MODULE=OFF -DVELMORA_TSAN=ON -DCMAKE_CXX_COMPILER="$cxx" \
  >"$work/build.log" 2>&1 &&
  nice cmake --build "$work/build" --target velmora_tsan_shared_state -j 2 >>"$work/build.log" 2>&1 ||
  { tail -n 30 "$work/build.log"; echo "tsan: build FAILED"; exit 1; }

echo "== shared state from ${1:-4} threads under ThreadSanitizer"
TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1${TSAN_OPTIONS:+:$TSAN_OPTIONS}" \
  "$work/build/velmora_tsan_shared_state" "$@"
echo "tsan: no reports, $((SECONDS - t0)) s in all"
