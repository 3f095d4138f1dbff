#!/usr/bin/env bash
# Builds velmora with AddressSanitizer + UndefinedBehaviorSanitizer into a
# private venv and runs the test suite (default: all of tests/) with the ASan
# runtime preloaded into the interpreter and leak detection on.
#
#   tools/sanitize.sh [pytest arguments, paths relative to tests/...]
#
# PYTHON picks the interpreter (default: python3). Every sanitizer report is
# written to a file under the work directory; the script prints them and
# fails if there is any, whatever pytest's own outcome.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
python=${PYTHON:-python3}
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-sanitize.XXXXXX")
[ -n "${VELMORA_SANITIZE_KEEP:-}" ] || trap 'rm -rf "$work"' EXIT

libasan=$(${CXX:-g++} -print-file-name=libasan.so)
if [ ! -e "$libasan" ]; then
  echo "sanitize: no libasan.so for ${CXX:-g++}; cannot run" >&2
  exit 1
fi

echo "== sanitizer build ($("$python" --version 2>&1), $libasan)"
# System site-packages: pytest and hypothesis come from the interpreter's own install.
"$python" -m venv --system-site-packages "$work/venv"
isolation=()
# Reuse the interpreter's scikit-build-core when it has one (faster, offline).
if "$work/venv/bin/python" -c 'import scikit_build_core' 2>/dev/null; then isolation=(--no-build-isolation); fi
PIP_DISABLE_PIP_VERSION_CHECK=1 "$work/venv/bin/python" -m pip install -q --no-deps --force-reinstall \
  "${isolation[@]}" -Ccmake.define.VELMORA_SANITIZE=ON -Ccmake.build-type=RelWithDebInfo "$root"
LD_PRELOAD="$libasan" ASAN_OPTIONS=detect_leaks=0 "$work/venv/bin/python" - <<'PY'
import velmora, subprocess, sys
out = subprocess.run(["ldd", velmora.__file__], capture_output=True, text=True).stdout
if "libasan" not in out:
    sys.exit("sanitize: the installed module is not an ASan build:\n" + out)
print("module:", velmora.__file__)
PY

mkdir -p "$work/reports"
sanitized_env=(
  # Only the interpreter gets the runtime: other programs would report their own leaks.
  LD_PRELOAD="$libasan${LD_PRELOAD:+:$LD_PRELOAD}"
  # Every interpreter allocation through malloc, so ASan checks the objects the
  # module touches and not only the module's own C++ allocations.
  PYTHONMALLOC=malloc
  # allocator_may_return_null: the memory-exhaustion tests ask for more than the
  # machine has and expect MemoryError, not an ASan abort.
  ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1:halt_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1:log_path=$work/reports/asan:log_exe_name=1"
  LSAN_OPTIONS="suppressions=$root/tools/lsan.supp:print_suppressions=0"
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$work/reports/ubsan"
)

# By default the whole suite but the places that import NumPy: the capacity
# benchmark's NumPy mirror (they check that mirror, not the module) and the
# encodings' NumPy comparisons. Importing NumPy leaves allocations of its own
# (promoter and string-ufunc tables made while _multiarray_umath initialises)
# that LeakSanitizer reports at exit.
# The distributed example is left out too: its worker processes would
# inherit the preloaded runtime and report the interpreter's own leaks.
[ "$#" -gt 0 ] || set -- --ignore=benchmarks/test_capacity.py --ignore=vectors/test_encodings_numpy.py --deselect=tests/distribution/test_examples.py::test_capacity_quick_mirror_agrees \
  --deselect=tests/distribution/test_examples.py::test_distributed_batch_matches_in_process

status=0
SECONDS=0
# From tests/ so that nothing in the clone shadows the installed module.
(cd "$root/tests" && env "${sanitized_env[@]}" "$work/venv/bin/python" -m pytest -q -p no:cacheprovider -p no:benchmark "$@") || status=$?
echo "== sanitized test run took ${SECONDS}s, pytest exit $status"

reports=$(find "$work/reports" -type f | sort)
if [ -n "$reports" ]; then
  for f in $reports; do echo "---- $f"; cat "$f"; done
  echo "sanitize: $(echo "$reports" | wc -l) sanitizer report(s)" >&2
  exit 1
fi
echo "sanitize: 0 sanitizer reports"
exit "$status"
