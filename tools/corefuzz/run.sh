#!/usr/bin/env bash
# Fuzzes the C++ core (tools/corefuzz/core_fuzz.cpp) under ASan+UBSan.
#
#   tools/corefuzz/run.sh [SECONDS]      (default 60)
#
# With clang's libFuzzer (clang++ and its runtime, e.g. Debian's clang and
# libclang-rt-14-dev) it runs libFuzzer for SECONDS; otherwise it builds a
# seeded driver with g++ -fsanitize=address,undefined and feeds it
# pseudo-random inputs for about as long.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-60}
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-corefuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
sources=("$root/tools/corefuzz/core_fuzz.cpp" "$root"/src/core/*.cpp)
flags=(-std=c++20 -O1 -g -I"$root/src" -isystem "$root/third_party/llvm-libc" -ffp-contract=off -fno-omit-frame-pointer
       -fsanitize=address,undefined -fno-sanitize-recover=all)
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

fuzzer_ok() {
  command -v clang++ >/dev/null 2>&1 &&
    echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' |
      clang++ -x c++ -fsanitize=fuzzer - -o "$work/probe" >/dev/null 2>&1
}

if fuzzer_ok; then
  echo "== libFuzzer (clang $(clang++ -dumpversion)), ${seconds}s"
  shim=()
  # clang before 15 cannot compile libstdc++'s <source_location>.
  if [ "$(clang++ -dumpversion | cut -d. -f1)" -lt 15 ]; then shim=(-I"$root/tools/corefuzz/clang14"); fi
  clang++ "${shim[@]}" "${flags[@]}" -fsanitize=fuzzer "${sources[@]}" -o "$work/core_fuzz"
  mkdir -p "$work/corpus"
  # -malloc_limit_mb: an allocation sized by a field that disagrees with its
  # array (a `dim` of 2^40, say) is a failure, not something to wait for.
  (cd "$work" && ./core_fuzz -max_total_time="$seconds" -malloc_limit_mb=512 -rss_limit_mb=2048 \
     -max_len=512 -print_final_stats=1 corpus 2>&1 | grep -Ev '^#[0-9]+\s+(NEW|REDUCE|pulse)' )
else
  echo "== no libFuzzer here: seeded driver with ${CXX:-g++}, ~${seconds}s"
  ${CXX:-g++} "${flags[@]}" -DCORE_FUZZ_SEEDED_MAIN "${sources[@]}" -o "$work/core_fuzz"
  export ASAN_OPTIONS=allocator_may_return_null=0:max_allocation_size_mb=512
  SECONDS=0; seed=1; total=0
  while [ "$SECONDS" -lt "$seconds" ]; do
    "$work/core_fuzz" "$seed" 2000
    seed=$((seed + 1)); total=$((total + 2000))
  done
  echo "core_fuzz: $total inputs in ${SECONDS}s"
fi
