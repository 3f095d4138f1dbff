#!/usr/bin/env bash
# Writes compiler wrappers and a CMake toolchain file for zig's clang and
# libc++ targeting one triple, so that CMake (directly or through
# scikit-build-core) cross-compiles with an ordinary CMAKE_TOOLCHAIN_FILE.
#
#   tools/compilers/zig-toolchain.sh DIR TARGET PYTHON
#
# TARGET is a zig triple: x86_64-linux-gnu.2.17 (glibc 2.17 symbol versions),
# aarch64-linux-gnu.2.17, x86_64-windows-gnu, ... PYTHON is an interpreter
# with the ziglang package. Prints DIR/toolchain.cmake.
set -euo pipefail
dir=$1 target=$2 python=$3
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
case "$target" in
  x86_64-*) system_processor=x86_64 cpu=x86_64 ;;   # the x86-64 baseline: SSE2, nothing later
  aarch64-macos*) system_processor=arm64 cpu=apple_m1 ;;  # every arm64 Mac
  aarch64-*) system_processor=aarch64 cpu=generic ;;  # ARMv8-A
  *) echo "zig-toolchain: unknown architecture in $target" >&2; exit 1 ;;
esac
case "$target" in
  *-linux-*) system_name=Linux ;;
  *-windows-*) system_name=Windows ;;
  *-macos*) system_name=Darwin ;;
  *) echo "zig-toolchain: unknown system in $target" >&2; exit 1 ;;
esac
# Each tool is a script: CMake wants one executable per tool, and zig's
# are subcommands of one program.
tool() {
  printf '#!/bin/sh\nexec %q -m ziglang %s "$@"\n' "$python" "$2" > "$dir/$1"
  chmod +x "$dir/$1"
}
tool c++ "c++ -target $target -mcpu=$cpu"
tool cc "cc -target $target -mcpu=$cpu"
tool ar ar
tool ranlib ranlib
cat > "$dir/toolchain.cmake" <<CMAKE
set(CMAKE_SYSTEM_NAME $system_name)
set(CMAKE_SYSTEM_PROCESSOR $system_processor)
set(CMAKE_C_COMPILER "$dir/cc")
set(CMAKE_CXX_COMPILER "$dir/c++")
set(CMAKE_AR "$dir/ar" CACHE FILEPATH "" FORCE)
set(CMAKE_RANLIB "$dir/ranlib" CACHE FILEPATH "" FORCE)
# Nothing of the build machine is found by accident (the Python headers are
# given explicitly and are target-neutral under the limited API).
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
CMAKE
echo "$dir/toolchain.cmake"
