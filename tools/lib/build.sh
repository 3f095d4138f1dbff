# Building the core's native programs through the project's CMake, and Wine
# for the ones built for Windows; sourced by the scripts that need them:
#
#   source tools/lib/build.sh
#   native_build LABEL DIR TARGET [CMAKE ARGS...]
#                      configures the core with the native tests and no Python
#                      module in DIR and builds TARGET there (output in
#                      DIR.log); on failure prints the log's end, says
#                      "LABEL: ... FAILED" and exits 1
#   tool_unavailable LABEL REASON
#                      a check that cannot run here: under CI=true it fails
#                      (exit 1), otherwise it says it is skipped and returns
#   apt_install PACKAGES...
#                      when run as root: apt-get install, bounded to 10 minutes;
#                      returns 1 (with apt's last lines) if that failed or is
#                      not possible
#   wine_find [--no-install]
#                      sets $wine (wine64, installed with apt_install when
#                      missing, unless told not to); returns 1 if there is none
#   wine_env           exports a private prefix, kept between runs under
#                      ${VELMORA_WINEPREFIX:-${XDG_CACHE_HOME:-~/.cache}/velmora/wine-prefix}
#                      (creating one takes a while), with Wine's own messages
#                      off and no Mono or Gecko installer prompts
#
# Programs then run as "$wine" PROGRAM.exe ARGS... </dev/null: a Windows
# console program under Wine wants a standard input it can read.

velmora_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

native_build() {
  local label=$1 dir=$2 target=$3
  shift 3
  { cmake -S "$velmora_root" -B "$dir" -DVELMORA_PYTHON_MODULE=OFF -DVELMORA_NATIVE_TESTS=ON "$@" &&
    nice cmake --build "$dir" --target "$target" -j 2; } >"$dir.log" 2>&1 ||
    { tail -n 40 "$dir.log"; echo "$label: build of $target in $(basename "$dir") FAILED"; exit 1; }
}

tool_unavailable() {
  if [ "${CI:-}" = true ]; then
    echo "$1: FAILED: $2"
    exit 1
  fi
  echo "$1: SKIPPED: $2"
}

apt_install() {
  [ "$(id -u)" = 0 ] || return 1
  local log
  log=$(mktemp "${TMPDIR:-/tmp}/velmora-apt.XXXXXX")
  DEBIAN_FRONTEND=noninteractive timeout 600 sh -c \
    'apt-get update -qq && apt-get install -y -qq --no-install-recommends "$@"' sh "$@" >"$log" 2>&1 ||
    { echo "apt-get install $* failed:"; tail -n 5 "$log"; rm -f "$log"; return 1; }
  rm -f "$log"
}

wine_find() {
  wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
  if [ ! -x "$wine" ] && [ "${1:-}" != --no-install ]; then
    apt_install wine64 >&2 || true
    wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
  fi
  [ -x "$wine" ]
}

wine_env() {
  export WINEPREFIX=${VELMORA_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/velmora/wine-prefix} WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"
}
