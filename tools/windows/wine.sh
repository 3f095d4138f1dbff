# Wine for the scripts that run Windows programs here, sourced by them:
#
#   source tools/windows/wine.sh
#   wine_find [--no-install]
#                      sets $wine (wine64, installed with apt-get when run
#                      as root and missing, unless told not to); returns 1
#                      if there is none
#   wine_env           exports a private prefix, kept between runs under
#                      ${VELMORA_WINEPREFIX:-${XDG_CACHE_HOME:-~/.cache}/velmora/wine-prefix}
#                      (creating one takes a while), with Wine's own messages
#                      off and no Mono or Gecko installer prompts
#
# Programs then run as "$wine" PROGRAM.exe ARGS... </dev/null: a Windows
# console program under Wine wants a standard input it can read.

wine_find() {
  wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
  if [ ! -x "$wine" ] && [ "${1:-}" != --no-install ] && [ "$(id -u)" = 0 ]; then
    DEBIAN_FRONTEND=noninteractive timeout 600 sh -c \
      'apt-get update -qq && apt-get install -y -qq --no-install-recommends wine64' >/dev/null 2>&1 || true
    wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
  fi
  [ -x "$wine" ]
}

wine_env() {
  export WINEPREFIX=${VELMORA_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/velmora/wine-prefix} WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"
}
