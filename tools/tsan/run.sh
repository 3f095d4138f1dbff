#!/usr/bin/env bash
# ThreadSanitizer over the core's shared state (tests/native/tsan_shared_state.cpp,
# the CMake target velmora_tsan_shared_state with -DVELMORA_TSAN=ON):
# the core and the driver compiled with -fsanitize=thread, run with several
# threads; any report stops the run with a non-zero status, as does a result
# that differs from the single-threaded one.
#
#   tools/tsan/run.sh [THREADS] [ROUNDS]        (default 4 3)
#
# Compiler: $CXX, else clang++-14 or clang++, else g++: the first that links
# a ThreadSanitizer program (its runtime, e.g. Debian's libclang-rt-14-dev or
# libtsan2) and compiles <source_location>, which the core's errors use and
# which libstdc++'s header needs Clang 15 or later for. On x86-64 both copies
# of the correctly rounded functions are built, as in the module, so the
# choice between them is exercised too.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tools/lib/build.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-tsan.XXXXXX")
trap 'rm -rf "$work"' EXIT
t0=$SECONDS

cxx=${CXX:-}
if [ -z "$cxx" ]; then
  for candidate in clang++-14 clang++ g++; do
    if command -v "$candidate" >/dev/null &&
       printf '#include <source_location>\nint main() { return std::source_location::current().line() > 0 ? 0 : 1; }\n' |
         "$candidate" -std=c++20 -x c++ -fsanitize=thread - -o "$work/probe" >/dev/null 2>&1; then
      cxx=$candidate
      break
    fi
  done
fi
if [ -z "$cxx" ]; then
  echo "tsan: FAILED: no C++ compiler with a ThreadSanitizer runtime (clang++ 15+ with libclang-rt, or g++ with libtsan)"
  exit 1
fi
echo "== ThreadSanitizer build of the core with $cxx ($("$cxx" -dumpversion))"
native_build tsan "$work/build" velmora_tsan_shared_state -DVELMORA_TSAN=ON -DCMAKE_CXX_COMPILER="$cxx"

echo "== shared state from ${1:-4} threads under ThreadSanitizer"
TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1${TSAN_OPTIONS:+:$TSAN_OPTIONS}" \
  "$work/build/velmora_tsan_shared_state" "$@"
echo "tsan: no reports, $((SECONDS - t0)) s in all"
