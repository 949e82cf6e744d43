# scripts/test windows: the Windows build under wine. Sourced by scripts/test.

# Debian packages of the cross build and of wine.
VCQ_WINDOWS_PACKAGES=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  wine wine64
)
# The Windows wizard: its tests' display, and the installer.
VCQ_WINDOWS_PACKAGES+=(xvfb x11-utils nsis)
# Wine's own Tahoma, the font Windows dialogs ask for, and fonts metric-compatible
# with Arial, Times New Roman and Courier New (tests/wine-run --init).
VCQ_WINDOWS_PACKAGES+=(fonts-wine fonts-liberation)
# The installer's signing (scripts/sign-exe).
VCQ_WINDOWS_PACKAGES+=(osslsigncode)

# Tests that cannot pass under wine, with the wine limitation; a ctest regular
# expression each. Real Windows has none of these.
VCQ_WINE_SKIPS=(
  # Wine binds a UDP socket to an address that no interface carries
  # (192.0.2.1, 127.0.1.2, 127.0.0.3) as if to any address: the bind never
  # fails and replies leave from 127.0.0.1. Windows refuses such a bind
  # (WSAEADDRNOTAVAIL) and answers from the bound address.
  'LoopbackDiscovery\.BindFailureIsToldAndNothingStarts'
  'DiscoveryResponderUnit\.AnswersOnlyTheExactEnquiryAndStopsQuickly'
  'FarmWithFtpAndDiscovery\.'
)

# vcq_windows_step WHAT COMMAND...: runs a step; a failure says which.
vcq_windows_step() {
  local what=$1 rc=0
  shift
  "$@" || rc=$?
  [ $rc -eq 0 ] || echo "windows: $what failed (exit $rc)" >&2
  return $rc
}

vcq_test_windows() {
  local root=$VCQ_ROOT build=$VCQ_ROOT/build/mingw start skip
  vcq_windows_step "installing the cross compiler and wine" \
    vcq_ensure_packages "${VCQ_WINDOWS_PACKAGES[@]}" || return 1
  start=$(date +%s)
  vcq_windows_step "the cross build (preset mingw)" vcq_build mingw || return 1
  echo "windows: cross build took $(($(date +%s) - start)) s"
  vcq_windows_wizard_notice
  # The Linux peers of the Windows programs.
  vcq_windows_step "configuring the Linux peers (preset default)" \
    cmake --preset default -S "$root" >/dev/null || return 1
  vcq_windows_step "building the Linux peers" cmake --build --preset default \
    --parallel "$(nproc)" --target vcq-upgrade-cli vcq-camera-sim || return 1
  # A fresh wine prefix for every run, made inside the private network.
  export WINEPREFIX=$build/wineprefix
  rm -rf "$WINEPREFIX"
  vcq_windows_step "making the wine prefix $WINEPREFIX (tests/wine-run --init)" \
    "$root/tests/wine-run" --init || return 1
  skip=$(IFS='|'; echo "${VCQ_WINE_SKIPS[*]}")
  start=$(date +%s)
  local rc=0
  # A test that dies at once with no word (wine itself failing to start the
  # program, seen about once in a few hundred starts) gets one more run.
  vcq_windows_step "the tests under wine (ctest --preset mingw)" \
    ctest --preset mingw --parallel "$(nproc)" -E "$skip" --repeat until-pass:2 || rc=1
  vcq_windows_step "the Windows and Linux peers (tests/windows-peers)" \
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
