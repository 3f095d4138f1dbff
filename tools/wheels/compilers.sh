#!/usr/bin/env bash
# The source tree under compilers other than the host's GCC, for the core and
# the kernel tests (the Python suite with Clang + libc++ is the x86_64
# wheel's, which tools/wheels/build.sh builds with the same compiler):
#
#   1. Clang + libc++ (zig c++, x86_64-linux-gnu.2.17): build and run the
#      kernel tests, every variant this CPU runs;
#   2. the plain fallbacks that a compiler without GCC/Clang extensions
#      takes (host compiler, -DVELMORA_PLAIN_CXX): build and run them;
#   3. Windows x86-64 (zig c++, x86_64-windows-gnu): build the kernel tests
#      and run them under Wine (wine64), every variant this CPU runs;
#   4. macOS arm64 and x86-64 (zig c++, aarch64-macos, x86_64-macos): the
#      core and the kernel tests compile and link (nothing here can run them).
#
#   tools/wheels/compilers.sh
#
# Needs python3 with venv and pip (for the ziglang package), cmake, and
# wine64 (installed with apt-get when run as root); a tool that cannot be had
# fails the run under CI=true and skips its step, saying so, otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-compilers.XXXXXX")
trap 'rm -rf "$work"' EXIT
export PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_INPUT=1
t0=$SECONDS

"${PYTHON:-python3}" -m venv "$work/tools"
"$work/tools/bin/python" -m pip install -q ziglang >"$work/pip.log" 2>&1 || { cat "$work/pip.log"; exit 1; }

# configure NAME [CMAKE ARGS...]: the core and the kernel tests, no Python module.
build() {
  local name=$1
  shift
  cmake -S "$root" -B "$work/$name" -DVELMORA_PYTHON_MODULE=OFF -DVELMORA_KERNEL_TESTS=ON "$@" \
    >"$work/$name.log" 2>&1 && nice cmake --build "$work/$name" --target velmora_kernel_tests -j 2 \
    >>"$work/$name.log" 2>&1 || { tail -n 40 "$work/$name.log"; echo "compilers: $name build FAILED"; exit 1; }
}

echo "== Clang + libc++ (zig c++ $("$work/tools/bin/python" -m ziglang version), x86_64-linux-gnu.2.17)"
toolchain=$("$root/tools/wheels/zig-toolchain.sh" "$work/zig-linux" x86_64-linux-gnu.2.17 "$work/tools/bin/python")
build clang-libcxx -DCMAKE_TOOLCHAIN_FILE="$toolchain"
"$work/clang-libcxx/velmora_kernel_tests" | tail -n 2

echo "== plain C++ fallbacks (${CXX:-c++} -DVELMORA_PLAIN_CXX)"
build plain -DCMAKE_CXX_FLAGS=-DVELMORA_PLAIN_CXX
"$work/plain/velmora_kernel_tests" | tail -n 2

echo "== Windows x86-64 cross build (zig c++, x86_64-windows-gnu)"
toolchain=$("$root/tools/wheels/zig-toolchain.sh" "$work/zig-windows" x86_64-windows-gnu "$work/tools/bin/python")
build windows -DCMAKE_TOOLCHAIN_FILE="$toolchain"
exe=$work/windows/velmora_kernel_tests.exe
[ -f "$exe" ] || { echo "compilers: no $exe" >&2; exit 1; }
source "$root/tools/windows/wine.sh"
if wine_find; then
  wine_env
  echo "windows: velmora_kernel_tests.exe under $("$wine" --version)"
  "$wine" "$exe" </dev/null >"$work/wine.out" 2>&1 ||
    { tail -n 20 "$work/wine.out"; echo "compilers: velmora_kernel_tests.exe FAILED under Wine"; exit 1; }
  tr -d '\r' <"$work/wine.out" | grep -E '^(variant|kernel variants|[0-9]+ passed)' || true
elif [ "${CI:-}" = true ]; then
  echo "compilers: FAILED: no wine64 to run velmora_kernel_tests.exe"; exit 1
else
  echo "windows: SKIPPED running velmora_kernel_tests.exe: no wine64"
fi

for target in aarch64-macos x86_64-macos; do
  echo "== macOS cross build (zig c++, $target): compiled and linked, not run"
  toolchain=$("$root/tools/wheels/zig-toolchain.sh" "$work/zig-$target" "$target" "$work/tools/bin/python")
  build "$target" -DCMAKE_TOOLCHAIN_FILE="$toolchain"
  echo "$target: velmora_kernel_tests linked: $(file -b "$work/$target/velmora_kernel_tests" 2>/dev/null | cut -d, -f1)"
done

echo "compilers: all builds done in $((SECONDS - t0)) s"
