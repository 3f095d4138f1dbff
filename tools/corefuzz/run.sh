#!/usr/bin/env bash
# Fuzzes the C++ core (tests/native/core_fuzz.cpp) under ASan+UBSan, built
# as the CMake target velmora_core_fuzz (-DVELMORA_NATIVE_TESTS=ON
# -DVELMORA_SANITIZE=ON).
#
#   tools/corefuzz/run.sh [SECONDS]      (default 60)
#
# With clang's libFuzzer (clang++ or clang++-14 and its runtime, e.g.
# Debian's clang-14) it runs libFuzzer for SECONDS (-DVELMORA_FUZZER=ON);
# otherwise it builds the seeded driver with ${CXX:-g++} and feeds it
# pseudo-random inputs for about as long.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tools/lib/build.sh"
seconds=${1:-60}
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-corefuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

fuzzer_compiler() {
  local cxx
  for cxx in clang++ clang++-14; do
    command -v "$cxx" >/dev/null 2>&1 &&
      echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' |
        "$cxx" -x c++ -fsanitize=fuzzer - -o "$work/probe" >/dev/null 2>&1 && { echo "$cxx"; return; }
  done
  return 0
}

cxx=$(fuzzer_compiler)
if [ -n "$cxx" ]; then
  echo "== libFuzzer ($cxx $("$cxx" -dumpversion)), ${seconds}s"
  native_build corefuzz "$work/build" velmora_core_fuzz -DVELMORA_SANITIZE=ON -DCMAKE_CXX_COMPILER="$cxx" \
    -DVELMORA_FUZZER=ON
  mkdir -p "$work/corpus"
  # -malloc_limit_mb: an allocation sized by a field that disagrees with its
  # array (a `dim` of 2^40, say) is a failure, not something to wait for.
  (cd "$work" && build/velmora_core_fuzz -max_total_time="$seconds" -malloc_limit_mb=512 -rss_limit_mb=2048 \
     -max_len=512 -print_final_stats=1 corpus 2>&1 | grep -Ev '^#[0-9]+\s+(NEW|REDUCE|pulse)' )
else
  echo "== no libFuzzer here: seeded driver with ${CXX:-g++}, ~${seconds}s"
  native_build corefuzz "$work/build" velmora_core_fuzz -DVELMORA_SANITIZE=ON -DCMAKE_CXX_COMPILER="${CXX:-g++}"
  export ASAN_OPTIONS=allocator_may_return_null=0:max_allocation_size_mb=512
  SECONDS=0; seed=1; total=0
  while [ "$SECONDS" -lt "$seconds" ]; do
    "$work/build/velmora_core_fuzz" "$seed" 2000
    seed=$((seed + 1)); total=$((total + 2000))
  done
  echo "core_fuzz: $total inputs in ${SECONDS}s"
fi
