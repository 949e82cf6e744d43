# The Windows wizard: its deployment beside Qt's DLLs, its installer, and the
# installer's run under wine. Sourced by scripts/package, scripts/screenshots
# and scripts/test (after common.sh); do not run it.

# True when scripts/qt-mingw has built Qt for MinGW on this machine.
vcq_qt_mingw_ready() {
  [ -f "$(vcq_qt_mingw_prefix)/.complete" ]
}

# The DLL names a Windows program or DLL imports.
vcq_pe_imports() {
  x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p'
}

# vcq_deploy_wizard BUILD DIR: puts the wizard into DIR with what Qt needs
# beside it: the Qt DLLs it imports (and theirs in turn), the Windows platform
# plugin and the styles, where Qt looks for them by default.
vcq_deploy_wizard() {
  local build=$1 dir=$2 qt file name
  qt=$(vcq_qt_mingw_prefix)
  mkdir -p "$dir/platforms" "$dir/styles"
  cp "$build/src/wizard/vcq-upgrade.exe" "$dir/"
  cp "$qt/plugins/platforms/qwindows.dll" "$dir/platforms/"
  cp "$qt/plugins/styles/"*.dll "$dir/styles/"
  local queue=("$dir/vcq-upgrade.exe" "$dir"/platforms/*.dll "$dir"/styles/*.dll)
  while [ ${#queue[@]} -gt 0 ]; do
    file=${queue[0]}
    queue=("${queue[@]:1}")
    for name in $(vcq_pe_imports "$file"); do
      [ -f "$dir/$name" ] && continue
      if [ -f "$qt/bin/$name" ]; then
        cp "$qt/bin/$name" "$dir/"
        queue+=("$dir/$name")
      elif [[ $name == lib*.dll ]]; then
        # Runtime DLLs are linked in statically; one imported would be missing.
        echo "$(basename "$file") imports $name, which is not shipped" >&2
        return 1
      fi
    done
  done
  find "$dir" -name '*.exe' -o -name '*.dll' | xargs x86_64-w64-mingw32-strip --strip-unneeded
}

# vcq_make_installer STAGE ICON VERSION OUTFILE: the NSIS installer of STAGE.
vcq_make_installer() {
  local stage=$1 icon=$2 version=$3 out=$4 numeric files rc=0
  numeric=$(echo "$version" | grep -o '^[0-9.]*')
  while [ "$(echo "$numeric" | tr -cd . | wc -c)" -lt 3 ]; do numeric=$numeric.0; done
  files=$(mktemp --suffix=.nsh)
  vcq_installed_files "$stage" >"$files"
  makensis -V2 -DVERSION="$version" -DVERSION4="$numeric" -DSTAGE="$stage" -DFILES="$files" \
    -DICON="$icon" -DOUTFILE="$out" ${VCQ_SIGN_PFX:+-DSIGN="$VCQ_ROOT/scripts/sign-exe"} \
    "$VCQ_ROOT/scripts/installer.nsi" || rc=$?
  rm -f "$files"
  return $rc
}

# vcq_installed_files STAGE: what the uninstaller removes, as NSIS lines: every
# file of STAGE, then its folders, deepest first (each only once empty).
vcq_installed_files() {
  (
    cd "$1" || exit 1
    find . -type f | LC_ALL=C sort | sed 's|^\./||; s|/|\\|g; s|.*|  Delete "$INSTDIR\\&"|'
    find . -mindepth 1 -type d | LC_ALL=C sort -r | sed 's|^\./||; s|/|\\|g; s|.*|  RMDir "$INSTDIR\\&"|'
  )
}

# Qt's Windows platform plugin on a display of the wine run's own.
vcq_wine_qt_env() {
  export VCQ_WINE_DISPLAY=1 QT_QPA_PLATFORM=windows
}
