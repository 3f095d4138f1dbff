# Debian packages from another suite or architecture, fetched by apt into a
# private root: nothing is installed on the host, and the host's own apt
# state is neither read nor locked. Sourced by the scripts that need an
# interpreter or a source package that this Debian does not have.
#
#   debian_root_init DIR "SOURCES LINE" [ARCH]   sets apt_opts and runs update
#   debian_root_unpack DIR SYSROOT PACKAGES...   downloads them with every
#                                                dependency, unpacks into SYSROOT
#   debian_root_current SYSROOT PACKAGES...      whether SYSROOT holds exactly them
#   debian_root_fetch DIR SYSROOT SUITE ARCH PACKAGES...
#                                                init and unpack, from SUITE's ARCH
#   debian_root_stamp SYSROOT PACKAGES...        marks SYSROOT as holding them
#   needs_tools LABEL TOOLS...                   fails, naming the first missing tool
#   wheel_argument "$@"                          the WHEEL argument of a wheel
#                                                test script, as an absolute path

debian_root_init() {
  local dir=$1 line=$2 arch=${3:-}
  mkdir -p "$dir"/etc/apt/{apt.conf.d,preferences.d,sources.list.d} "$dir"/var/lib/dpkg \
    "$dir"/var/lib/apt/lists/partial "$dir"/var/cache/apt/archives/partial
  # An empty package state, so that apt resolves and downloads every
  # dependency.
  : >"$dir/var/lib/dpkg/status"
  echo "$line" >"$dir/etc/apt/sources.list"
  apt_opts=(-o Dir="$dir" -o Dir::State::status="$dir/var/lib/dpkg/status"
            -o APT::Sandbox::User=root -o Debug::NoLocking=1 -o Acquire::Languages=none)
  [ -z "$arch" ] || apt_opts+=(-o APT::Architecture="$arch" -o APT::Architectures::="$arch")
  timeout 600 apt-get "${apt_opts[@]}" update -qq >"$dir/update.log" 2>&1 || { cat "$dir/update.log" >&2; return 1; }
}

debian_root_unpack() {
  local dir=$1 sysroot=$2
  shift 2
  timeout 600 apt-get "${apt_opts[@]}" install -y -qq --download-only --no-install-recommends "$@" \
    >"$dir/download.log" 2>&1 || { cat "$dir/download.log" >&2; return 1; }
  rm -rf "$sysroot"
  mkdir -p "$sysroot"
  local deb
  for deb in "$dir"/var/cache/apt/archives/*.deb; do dpkg-deb -x "$deb" "$sysroot"; done
  echo "$(ls "$dir"/var/cache/apt/archives/*.deb | wc -l) packages unpacked into $sysroot"
}

# A root kept between runs (under ~/.cache) is current when its stamp names
# the same packages; the stamp is written last, once the caller has
# finished preparing the root, so an interrupted fetch is fetched again.
debian_root_current() {
  local sysroot=$1
  shift
  [ "$(cat "$sysroot/.velmora-packages" 2>/dev/null)" = "$*" ]
}

debian_root_fetch() {
  local dir=$1 sysroot=$2 suite=$3 arch=$4
  shift 4
  echo "== $sysroot: downloading $* and their dependencies from Debian $suite ($arch)"
  debian_root_init "$dir" \
    "deb [arch=$arch signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $suite main" \
    "$arch" || return 1
  debian_root_unpack "$dir" "$sysroot" "$@"
}

debian_root_stamp() {
  local sysroot=$1
  shift
  echo "$*" >"$sysroot/.velmora-packages"
}

needs_tools() {
  local label=$1 tool
  shift
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "$label: needs $tool" >&2; return 1; }
  done
}

# Downloads Debian 13's source package $2 into $1/src through a private apt
# root in $1/apt; apt checks the files against the signed Sources index.
debian_trixie_source() {
  local dir=$1 package=$2
  debian_root_init "$dir/apt" \
    "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian trixie main" >&2 ||
    return 1
  mkdir -p "$dir/src"
  (cd "$dir/src" && timeout 600 apt-get "${apt_opts[@]}" source --download-only -qq "$package") \
    >"$dir/apt-source.log" 2>&1 || { cat "$dir/apt-source.log" >&2; return 1; }
}

wheel_argument() {
  if [ $# -lt 1 ]; then
    echo "usage: $0 WHEEL [PYTEST ARGS...]" >&2
    exit 2
  fi
  wheel=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
}
