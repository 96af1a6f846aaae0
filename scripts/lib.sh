# Shared by the scripts: package installation and the Wine set-up.
# Source it; it defines functions only, plus MIVO_ROOT and the one Wine
# prefix that the tests, the benchmark and scripts/run.sh share.

MIVO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export MIVO_WINEPREFIX="${MIVO_WINEPREFIX:-$MIVO_ROOT/build/wineprefix}"

export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export DEBIAN_FRONTEND=noninteractive

# Everything the builds and tests need, as Debian packages.
MIVO_PACKAGES=(
  cmake make g++ clang libclang-rt-14-dev cppcheck clang-tidy
  g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
  python3 python3-pefile python3-pytest python3-xlib python3-pil
  wine wine32:i386 wine64 xvfb xauth trayer xdotool zip
)

mivo_log() { printf '[mivo] %s\n' "$*" >&2; }

mivo_as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the packages that are missing (and the i386 architecture that
# wine32 needs); does nothing when all are there. A mirror in mid-sync may
# serve an index that its release file does not vouch for; apt drops it and
# may then know newer 64-bit libraries than 32-bit ones, which wine32 needs
# in one version: so the release's own versions are asked for once more.
mivo_install_packages() {
  local missing=() pkg update failed codename
  for pkg in "${MIVO_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && { mivo_i386_programs; return; }
  mivo_log "installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    mivo_as_root dpkg --add-architecture i386
  fi
  update=$(mktemp)
  mivo_as_root apt-get update -q 2>&1 | tee "$update"
  failed=$(sed -n 's/^[EW]: Failed to fetch \([^ ]*\).*/\1/p' "$update" | paste -sd' ')
  rm -f "$update"
  if ! mivo_as_root apt-get install -y -q "${missing[@]}"; then
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    mivo_log "the mirror's newer index could not be read: installing $codename's own versions"
    mivo_as_root apt-get install -y -q -t "$codename" "${missing[@]}" || {
      mivo_log "not even $codename's own versions install; the mirror may be in mid-sync:" \
        "try again later. Index files apt could not fetch: ${failed:-none}"
      return 1
    }
  fi
  mivo_i386_programs
}

# The URI that the machine's own apt sources use for the release's suite
# (CODENAME), from deb822 .sources files (URIs: beside Suites:) and
# one-line lists; empty when none names it. Other files may be given.
mivo_release_uri() { # CODENAME [FILE...]
  local codename="$1" file files=()
  shift
  [ $# -gt 0 ] || set -- /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
    /etc/apt/sources.list.d/*.sources
  for file; do [ -f "$file" ] && files+=("$file"); done
  [ ${#files[@]} -gt 0 ] || return 0
  awk -v suite="$codename" '
    function has(list, word) { return (" " list " ") ~ ("[ \t]" word "[ \t]") }
    function found(uri) { if (!done) print uri; done = 1; exit }
    function stanza_end() {
      if (has(types, "deb") && has(suites, suite) && tolower(enabled) != "no" && uris != "")
        found(uris)
      types = suites = uris = enabled = key = ""
    }
    FNR == 1 { stanza_end() }
    FILENAME ~ /\.sources$/ {
      if ($0 ~ /^[ \t]*$/) stanza_end()
      else if ($0 ~ /^[ \t]/ && key == "uris:") uris = uris " " $0
      else if ($0 !~ /^#/ && (key = tolower($1)) ~ /:$/) {
        value = $0; sub(/^[^:]*:[ \t]*/, "", value)
        if (key == "types:") types = value; else if (key == "suites:") suites = value
        else if (key == "uris:") uris = value; else if (key == "enabled:") enabled = value
      }
      next
    }
    $1 == "deb" {  # deb [OPTIONS] URI SUITE COMPONENTS...
      i = 2
      if ($i ~ /^\[/) while ($i !~ /\]$/ && i < NF) i++
      if ($i ~ /^\[/ || $i ~ /\]$/) i++
      if ($(i + 1) == suite) found($i)
    }
    END { stanza_end() }' "${files[@]}" | awk '{ print $1 }'
}

# Wine's own programs are 32-bit Linux programs. A kernel without 32-bit
# support (ia32_emulation off) cannot start them; there they run under
# qemu's user-mode emulation, registered with binfmt_misc. qemu 7.2 takes
# MAP_FIXED_NOREPLACE for a mere hint, which breaks Wine's reservation of
# its address space, so qemu comes from the release's backports, from the
# mirror that the machine already uses for the release.
MIVO_I386_MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
MIVO_I386_MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
mivo_i386_programs() {
  /usr/lib/wine/wineserver32 --version >/dev/null 2>&1 && return 0
  local binfmt=/proc/sys/fs/binfmt_misc codename qemu=/usr/bin/qemu-i386 uri
  mivo_log "this kernel cannot run 32-bit programs: setting up qemu-i386 for Wine"
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  if ! "$qemu" --version 2>/dev/null | grep -Eq 'version ([89]|[1-9][0-9])\.'; then
    uri=$(mivo_release_uri "$codename")
    if [ -z "$uri" ]; then
      mivo_log "no apt source names $codename: add 'deb MIRROR $codename-backports main'" \
        "(MIRROR: your Debian mirror) to /etc/apt/sources.list.d/mivo-backports.list, then run again"
      return 1
    fi
    echo "deb $uri $codename-backports main" |
      mivo_as_root tee /etc/apt/sources.list.d/mivo-backports.list >/dev/null
    # An index of another suite that a mirror in mid-sync cannot give makes
    # the update fail; whether qemu came is the install's to say.
    mivo_as_root apt-get update -q
    mivo_as_root apt-get install -y -q -t "$codename-backports" qemu-user || return 1
  fi
  [ -e "$binfmt/register" ] || mivo_as_root mount -t binfmt_misc binfmt_misc "$binfmt" || return 1
  [ -e "$binfmt/qemu-i386" ] && { echo -1 | mivo_as_root tee "$binfmt/qemu-i386" >/dev/null; }
  # F: the kernel opens qemu now, so that it serves in every mount namespace.
  printf ':qemu-i386:M::%s:%s:%s:F\n' "$MIVO_I386_MAGIC" "$MIVO_I386_MASK" "$qemu" |
    mivo_as_root tee "$binfmt/register" >/dev/null || return 1
  /usr/lib/wine/wineserver32 --version >/dev/null 2>&1 ||
    { mivo_log "32-bit programs still do not start"; return 1; }
}

# The architecture a prefix was made for (win32, win64), from its registry;
# empty when it has none.
mivo_prefix_arch() { # PREFIX
  sed -n '/^#arch=/{s///p;q}' "$1/system.reg" 2>/dev/null
}

# Makes a Wine prefix of the kind asked for once and reuses it after (default:
# the shared one, win32). Each kind is made by its own setting and loader: a
# bare wineboot makes a 64-bit prefix wherever wine64 is installed, and a
# prefix of the other kind (from before, or by hand) would prove something
# else, so it is made again; only a prefix under build/ is ours to remove.
mivo_wine_prefix() { # [PREFIX [win32|win64]]
  local prefix="${1:-$MIVO_WINEPREFIX}" arch="${2:-win32}" found loader=/usr/lib/wine/wine
  [ "$arch" = win64 ] && loader=/usr/lib/wine/wine64
  found=$(mivo_prefix_arch "$prefix")
  [ "$found" = "$arch" ] && return 0
  if [ -z "$found" ]; then
    mivo_log "creating the $arch Wine prefix $prefix (about 10 s, once)"
  else
    case "$(realpath -m "$prefix")/" in
      "$(realpath -m "$MIVO_ROOT/build")"/*) ;;
      *) mivo_log "$prefix is a $found prefix, not $arch: remove it, or set MIVO_WINEPREFIX to another"
         return 1 ;;
    esac
    mivo_log "$prefix is a $found prefix, not $arch: making it again (about 10 s)"
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
    rm -rf "$prefix"
  fi
  mkdir -p "$prefix"
  WINEPREFIX="$prefix" WINEARCH="$arch" timeout 300 "$loader" wineboot -i >"$prefix.log" 2>&1
  WINEPREFIX="$prefix" timeout 120 wineserver -w
  found=$(mivo_prefix_arch "$prefix")
  [ "$found" = "$arch" ] ||
    { mivo_log "could not create the $arch Wine prefix $prefix (${found:-no registry}; see $prefix.log)"; return 1; }
}

# Configures and builds one preset.
mivo_build() {
  local preset="$1"
  (cd "$MIVO_ROOT" && cmake --preset "$preset" >/dev/null &&
    cmake --build --preset "$preset" -j"$(nproc)")
}
