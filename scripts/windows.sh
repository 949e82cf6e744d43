# scripts/test windows: the Windows build under wine. Sourced by scripts/test.

# Debian packages of the cross build and of wine.
VCQ_WINDOWS_PACKAGES=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  wine wine64
)
# The Windows wizard: its tests' display, and the installer.
VCQ_WINDOWS_PACKAGES+=(xvfb x11-utils nsis)

# Tests that cannot pass under wine, with the wine limitation; a ctest regular
# expression each. Real Windows has none of these.
VCQ_WINE_SKIPS=(
  # Wine binds a UDP socket to an address that no interface carries
  # (192.0.2.1, 127.0.1.2, 127.0.0.3) as if to any address: the bind never
  # fails and replies leave from 127.0.0.1. Windows refuses such a bind
  # (WSAEADDRNOTAVAIL) and answers from the bound address.
  'LoopbackDiscovery\.BindFailureReportsAndEndsWithCode3'
  'DiscoveryResponderUnit\.AnswersOnlyTheExactEnquiryAndStopsQuickly'
  'FarmWithFtpAndDiscovery\.'
)

vcq_test_windows() {
  local root=$VCQ_ROOT build=$VCQ_ROOT/build/mingw start skip
  vcq_ensure_packages "${VCQ_WINDOWS_PACKAGES[@]}"
  start=$(date +%s)
  vcq_build mingw
  echo "windows: cross build took $(($(date +%s) - start)) s"
  vcq_windows_wizard_notice
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
  # A test that dies at once with no word (wine itself failing to start the
  # program, seen about once in a few hundred starts) gets one more run.
  ctest --preset mingw --parallel "$(nproc)" -E "$skip" --repeat until-pass:2 || rc=1
  "$root/tests/windows-peers" "$build" "$root/build/default" || rc=1
  echo "windows: tests under wine took $(($(date +%s) - start)) s"
  return $rc
}

# Says whether the wizard and its Qt tests are in the Windows run.
vcq_windows_wizard_notice() {
  source "$VCQ_ROOT/scripts/windows-wizard.sh"
  if vcq_qt_mingw_ready; then
    echo "windows: the wizard and its Qt tests, with Qt for MinGW in $(vcq_qt_mingw_prefix)"
  else
    echo "windows: the wizard and its Qt tests: skipped: no Qt for MinGW (run scripts/qt-mingw)"
  fi
}
