#!/usr/bin/env bash
# Fetches Debian's translated manual pages, and the English ones, and
# extracts their plain text for the language-identification example and
# benchmark:
#
#   tools/langid/fetch.sh            (prints the text directory when done)
#
# The packages come from Debian 12 through a private apt configuration (the
# host's package state is not touched) and are unpacked into a root under
# ${VELMORA_LANGID_CACHE:-${XDG_CACHE_HOME:-~/.cache}/velmora/langid}; the
# text goes to its text/ folder, one file per page and language
# (text/<lang>/<page>.txt), written by tools/langid/manpage_text.py. A stamp
# names the packages the cache was made from, so a rerun with the same list
# returns at once. About 60 MB to download.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib/debian_root.sh"
cache=${VELMORA_LANGID_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velmora/langid}
python=${PYTHON:-python3}

# manpages-l10n's binary packages in Debian 12 (apt-cache lists each), and
# the English pages (manpages has sections 1 and 4-8, manpages-dev 2 and 3,
# which the translations cover too).
packages=(manpages manpages-dev manpages-cs manpages-da manpages-de manpages-el manpages-es manpages-fi manpages-fr
          manpages-hu manpages-id manpages-it manpages-mk manpages-nb manpages-nl manpages-pl manpages-pt-br
          manpages-ro manpages-ru manpages-sr manpages-sv manpages-uk manpages-vi)
stamp=$cache/.velmora-packages
want="${packages[*]} $(sha256sum "$here/manpage_text.py" | cut -c1-16)"
if [ "$(cat "$stamp" 2>/dev/null)" = "$want" ] && [ -d "$cache/text" ]; then
  echo "$cache/text"
  exit 0
fi

command -v apt-get >/dev/null || { echo "langid: needs apt-get and dpkg-deb" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-langid.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "== manual pages: downloading ${#packages[@]} packages from Debian 12" >&2
debian_root_init "$work/apt" \
  "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main" >&2 ||
  exit 1
debian_root_unpack "$work/apt" "$cache/root" "${packages[@]}" >&2 || exit 1
echo "== extracting text" >&2
rm -rf "$cache/text.new"
"$python" "$here/manpage_text.py" "$cache/root/usr/share/man" "$cache/text.new" >&2
rm -rf "$cache/text"
mv "$cache/text.new" "$cache/text"
echo "$want" >"$stamp"
echo "$cache/text"
