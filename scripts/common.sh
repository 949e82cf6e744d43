# Shared by scripts/test and scripts/demo. Source it; do not run it.

VCQ_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Debian packages the build, the tests and the demo need.
VCQ_PACKAGES=(
  cmake ninja-build g++ pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev nlohmann-json3-dev
  qt6-base-dev fonts-dejavu-core
  iproute2 util-linux
  clang libclang-rt-14-dev
  lhasa libarchive-tools
  ccache
)

# Installs what is missing: with apt-get when root, otherwise prints the command.
vcq_ensure_packages() {
  local missing=() p
  for p in "${VCQ_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" = 0 ]; then
    echo "Installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  else
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
    return 1
  fi
}

# A compiler cache shared by every checkout on this machine: paths below the
# checkout are hashed relative to it, so a fresh clone elsewhere hits it too.
vcq_use_ccache() {
  command -v ccache >/dev/null 2>&1 || return 0
  export CCACHE_BASEDIR=$VCQ_ROOT CCACHE_NOHASHDIR=1 CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-20G}
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
}

# Configures and builds one preset.
vcq_build() {
  local preset=$1
  vcq_use_ccache
  cmake --preset "$preset" -S "$VCQ_ROOT" >/dev/null
  cmake --build --preset "$preset" --parallel "$(nproc)"
}

# Qt for MinGW (scripts/qt-mingw): the host's Qt version, and the cache
# folder outside the checkout that holds its Windows build.
vcq_qt_version() {
  local v
  v=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null) || v=
  v=${v#*:}
  echo "${v%%[+-]*}"
}
vcq_qt_mingw_prefix() {
  echo "${VCQ_QT_MINGW:-${XDG_CACHE_HOME:-$HOME/.cache}/vcq/qt6-mingw-$(vcq_qt_version)}"
}
