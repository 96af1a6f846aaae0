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
  wine wine32:i386 xvfb xauth trayer xdotool zip
)

mivo_log() { printf '[mivo] %s\n' "$*" >&2; }

mivo_as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the packages that are missing (and the i386 architecture that
# wine32 needs); does nothing when all are there.
mivo_install_packages() {
  local missing=() pkg
  for pkg in "${MIVO_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  mivo_log "installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    mivo_as_root dpkg --add-architecture i386
  fi
  mivo_as_root apt-get update -q
  mivo_as_root apt-get install -y -q "${missing[@]}"
}

# Makes the shared Wine prefix once and reuses it after.
mivo_wine_prefix() {
  local prefix="$MIVO_WINEPREFIX"
  export WINEPREFIX="$prefix"
  if [ ! -f "$prefix/system.reg" ]; then
    mivo_log "creating the Wine prefix $prefix (about 20 s, once)"
    mkdir -p "$prefix"
    timeout 300 wineboot -i >"$prefix.log" 2>&1 || true
    timeout 120 wineserver -w || true
  fi
  [ -f "$prefix/system.reg" ] || { mivo_log "could not create the Wine prefix"; return 1; }
}

# Configures and builds one preset.
mivo_build() {
  local preset="$1"
  (cd "$MIVO_ROOT" && cmake --preset "$preset" >/dev/null &&
    cmake --build --preset "$preset" -j"$(nproc)")
}
