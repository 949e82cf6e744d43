# scripts/test windows: the Windows build under wine. Sourced by scripts/test.

# Debian packages of the cross build and of wine.
VCQ_WINDOWS_PACKAGES=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  wine wine64
)

# Tests that cannot pass under wine or through WinINet, with the reason; a
# ctest regular expression each.
VCQ_WINE_SKIPS=(
  # WinINet sends headers of its own (Host, User-Agent, Connection, Cache-Control)
  # in its own order; these compare the request byte for byte with libcurl's.
  'Restore\.SendsTheFormExactlyInPieces'
)

vcq_test_windows() {
  local root=$VCQ_ROOT build=$VCQ_ROOT/build/mingw start skip
  vcq_ensure_packages "${VCQ_WINDOWS_PACKAGES[@]}"
  start=$(date +%s)
  vcq_build mingw
  echo "windows: cross build took $(($(date +%s) - start)) s"
  # The Linux peers of the Windows programs.
  cmake --preset default -S "$root" >/dev/null
  cmake --build --preset default --parallel "$(nproc)" --target vcq-upgrade-cli vcq-camera-sim
  # A fresh wine prefix for every run, made inside the private network.
  export WINEPREFIX=$build/wineprefix
  rm -rf "$WINEPREFIX"
  "$root/tests/wine-run" --init
  skip=$(IFS='|'; echo "${VCQ_WINE_SKIPS[*]}")
  start=$(date +%s)
  local rc=0
  ctest --preset mingw --parallel "$(nproc)" -E "$skip" || rc=1
  "$root/tests/windows-peers" "$build" "$root/build/default" || rc=1
  echo "windows: tests under wine took $(($(date +%s) - start)) s"
  return $rc
}
