# Shared by scripts/test and scripts/demo. Source it; do not run it.

VCQ_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Debian packages the build, the tests and the demo need.
VCQ_PACKAGES=(
  cmake ninja-build g++ pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev
  qt6-base-dev fonts-dejavu-core
  iproute2 util-linux
  clang libclang-rt-14-dev
  lhasa libarchive-tools
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

# Configures and builds one preset.
vcq_build() {
  local preset=$1
  cmake --preset "$preset" -S "$VCQ_ROOT" >/dev/null
  cmake --build --preset "$preset" --parallel "$(nproc)"
}
