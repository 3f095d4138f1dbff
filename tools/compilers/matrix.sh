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
#   tools/compilers/matrix.sh
#
# Needs python3 with venv and pip (for the ziglang package), cmake, and
# wine64 (installed with apt-get when run as root); a tool that cannot be had
# fails the run under CI=true and skips its step, saying so, otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tools/lib/build.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-compilers.XXXXXX")
trap 'rm -rf "$work"' EXIT
export PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_INPUT=1
t0=$SECONDS

"${PYTHON:-python3}" -m venv "$work/tools"
"$work/tools/bin/python" -m pip install -q ziglang >"$work/pip.log" 2>&1 || { cat "$work/pip.log"; exit 1; }

# build NAME ZIG-TARGET [CMAKE ARGS...]: the kernel tests, with zig's
# toolchain for ZIG-TARGET (empty: the host's compiler).
build() {
  local name=$1 target=$2 file
  local toolchain=()
  shift 2
  if [ -n "$target" ]; then
    file=$("$root/tools/compilers/zig-toolchain.sh" "$work/zig-$name" "$target" "$work/tools/bin/python")
    toolchain=(-DCMAKE_TOOLCHAIN_FILE="$file")
  fi
  native_build compilers "$work/$name" velmora_kernel_tests "${toolchain[@]}" "$@"
}

echo "== Clang + libc++ (zig c++ $("$work/tools/bin/python" -m ziglang version), x86_64-linux-gnu.2.17)"
build clang-libcxx x86_64-linux-gnu.2.17
"$work/clang-libcxx/velmora_kernel_tests" | tail -n 2

echo "== plain C++ fallbacks (${CXX:-c++} -DVELMORA_PLAIN_CXX)"
build plain "" -DCMAKE_CXX_FLAGS=-DVELMORA_PLAIN_CXX
"$work/plain/velmora_kernel_tests" | tail -n 2

echo "== Windows x86-64 cross build (zig c++, x86_64-windows-gnu)"
build windows x86_64-windows-gnu
exe=$work/windows/velmora_kernel_tests.exe
[ -f "$exe" ] || { echo "compilers: no $exe" >&2; exit 1; }
if wine_find; then
  wine_env
  echo "windows: velmora_kernel_tests.exe under $("$wine" --version)"
  "$wine" "$exe" </dev/null >"$work/wine.out" 2>&1 ||
    { tail -n 20 "$work/wine.out"; echo "compilers: velmora_kernel_tests.exe FAILED under Wine"; exit 1; }
  tr -d '\r' <"$work/wine.out" | grep -E '^(variant|kernel variants|[0-9]+ passed)' || true
else
  tool_unavailable compilers "no wine64 to run velmora_kernel_tests.exe"
fi

for target in aarch64-macos x86_64-macos; do
  echo "== macOS cross build (zig c++, $target): compiled and linked, not run"
  build "$target" "$target"
  echo "$target: velmora_kernel_tests linked: $(file -b "$work/$target/velmora_kernel_tests" 2>/dev/null | cut -d, -f1)"
done

echo "compilers: all builds done in $((SECONDS - t0)) s"
