#!/bin/sh
# The release artefacts used as a user would install them: the Debian package checked by lintian
# and unpacked into a scratch root (the machine itself is not changed), its installed plughost
# validating its installed plug-in, its VST 3 bundle through Steinberg's validator and its LV2
# bundle through lv2_validate and lilv; the Windows archive unpacked, each DLL that can run here
# loaded from there under Wine by plughost info and validate, and its one VST 3 bundle, holding
# both Windows binaries, through the validator of each bitness that can run here. RUNS_32BIT=no
# leaves the 32-bit binaries out. The validators are the ones the build folders made
# (build/*/vst3-validator/); a build without one has its bundle checked for its files only.
set -u
cd "$(dirname "$0")/../.."
root=$(pwd)
scratch="$root/build/release-check"
rm -rf "$scratch"
mkdir -p "$scratch"
status=0
fail() {
  echo "FAIL: $*"
  status=1
}
# What Steinberg's validator prints when every test passed.
validator_passed="Result: [0-9]+ tests passed, 0 tests failed"
# A bundle's files, relative to the folder holding it, one a line, sorted.
bundle_files() {
  (cd "$1" && find "$2" -type f | LC_ALL=C sort)
}

deb=$(ls release/driveeffect_*_amd64.deb 2>/dev/null | head -n 1)
zip=$(ls release/DriveEffect-*-windows.zip 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "no Debian package in release/"
[ -n "$zip" ] || fail "no Windows archive in release/"
(cd release && sha256sum --quiet -c SHA256SUMS) || fail "release/SHA256SUMS does not match"

if [ -n "$deb" ]; then
  echo "-- lintian $deb"
  if lintian --fail-on error "$deb" >"$scratch/lintian.txt" 2>&1; then
    echo "PASS: lintian reports no errors ($(grep -c '^W:' "$scratch/lintian.txt") warnings)"
  else
    cat "$scratch/lintian.txt"
    fail "lintian reports errors"
  fi
  dpkg -x "$deb" "$scratch/deb"
  so="$scratch/deb/usr/lib/vst/DriveEffect.so"
  plughost="$scratch/deb/usr/bin/plughost"
  [ -f "$so" ] || fail "the package holds no /usr/lib/vst/DriveEffect.so"
  [ -x "$plughost" ] || fail "the package holds no /usr/bin/plughost"
  if [ -f "$so" ] && [ -x "$plughost" ]; then
    if tests/linux/with_xvfb.sh "$plughost" validate "$so" --level 10 >"$scratch/validate-so.txt" 2>&1; then
      echo "PASS: installed plughost validate --level 10 on the installed .so: $(tail -n 1 "$scratch/validate-so.txt")"
    else
      tail -n 20 "$scratch/validate-so.txt"
      fail "validate of the installed .so"
    fi
  fi
  vst3_files=$(bundle_files "$scratch/deb/usr/lib/vst3" DriveEffect.vst3 2>/dev/null)
  if [ "$vst3_files" = DriveEffect.vst3/Contents/x86_64-linux/DriveEffect.so ]; then
    validator="$root/build/native/vst3-validator/bin/Release/validator"
    if [ ! -x "$validator" ]; then
      echo "NOTE: no $validator: the installed VST 3 bundle is checked for its file only"
    elif "$validator" -e "$scratch/deb/usr/lib/vst3/DriveEffect.vst3" \
      >"$scratch/vst3-validator-linux.txt" 2>&1 &&
      grep -qE "$validator_passed" "$scratch/vst3-validator-linux.txt"; then
      echo "PASS: validator -e on the installed VST 3 bundle:" \
        "$(grep 'Result:' "$scratch/vst3-validator-linux.txt" | tail -n 1)"
    else
      tail -n 30 "$scratch/vst3-validator-linux.txt"
      fail "validator -e on the installed VST 3 bundle"
    fi
  else
    fail "the package's /usr/lib/vst3/DriveEffect.vst3 holds not exactly" \
      "Contents/x86_64-linux/DriveEffect.so: ${vst3_files:-nothing}"
  fi
  bundle="$scratch/deb/usr/lib/lv2/DriveEffect.lv2"
  [ -d "$bundle" ] || fail "the package holds no /usr/lib/lv2/DriveEffect.lv2"
  if [ -d "$bundle" ]; then
    if LV2_PATH="$scratch/deb/usr/lib/lv2" lv2_validate "$bundle"/*.ttl >"$scratch/lv2_validate.txt" 2>&1 &&
      grep -q "^Found 0 errors" "$scratch/lv2_validate.txt"; then
      echo "PASS: lv2_validate on the installed bundle: $(grep '^Found' "$scratch/lv2_validate.txt")"
    else
      cat "$scratch/lv2_validate.txt"
      fail "lv2_validate on the installed bundle"
    fi
    # The system's LV2 folder too, for the standard's own class and unit data.
    lv2_path="$scratch/deb/usr/lib/lv2:/usr/lib/lv2"
    uri=$(LV2_PATH="$scratch/deb/usr/lib/lv2" lv2ls | head -n 1)
    if [ -n "$uri" ] && LV2_PATH="$lv2_path" lv2info "$uri" >"$scratch/lv2info.txt" 2>&1 &&
      [ "$(grep -cE 'Symbol: +(in_left|in_right|out_left|out_right|low|mid|high|level)$' "$scratch/lv2info.txt")" -eq 8 ]; then
      echo "PASS: lv2info finds $uri with its 8 ports ($(grep -m1 'Class:' "$scratch/lv2info.txt" | tr -s '\t ' ' '))"
    else
      cat "$scratch/lv2info.txt" 2>/dev/null
      fail "lv2info on the installed bundle"
    fi
  fi
fi

if [ -n "$zip" ]; then
  unzip -q "$zip" -d "$scratch/zip"
  top=$(ls "$scratch/zip")
  for file in README.md LICENSE win32/DriveEffect.dll win32/plughost.exe win64/DriveEffect.dll \
    win64/plughost.exe; do
    [ -f "$scratch/zip/$top/$file" ] || fail "the archive holds no $top/$file"
  done
  # One VST 3 bundle for both bitnesses, beside the bitness folders: hosts of either take it whole.
  vst3_bundles=$(cd "$scratch/zip" && find . -name DriveEffect.vst3 -type d | sed 's|^\./||' |
    LC_ALL=C sort | tr '\n' ' ')
  [ "$vst3_bundles" = "$top/DriveEffect.vst3 " ] ||
    fail "the archive holds not one $top/DriveEffect.vst3 bundle: ${vst3_bundles:-none}"
  vst3_files=$(bundle_files "$scratch/zip/$top" DriveEffect.vst3 2>/dev/null | tr '\n' ' ')
  vst3_expected="DriveEffect.vst3/Contents/x86-win/DriveEffect.vst3"
  vst3_expected="$vst3_expected DriveEffect.vst3/Contents/x86_64-win/DriveEffect.vst3 "
  [ "$vst3_files" = "$vst3_expected" ] ||
    fail "the archive's DriveEffect.vst3 holds not exactly Contents/x86_64-win/DriveEffect.vst3" \
      "and Contents/x86-win/DriveEffect.vst3: ${vst3_files:-nothing}"
  # The bundle as a Windows program names it, through Wine's drive Z:.
  windows_bundle="Z:$(printf '%s' "$scratch/zip/$top/DriveEffect.vst3" | sed 's|/|\\|g')"
  bitnesses="64"
  [ "${RUNS_32BIT:-yes}" = yes ] && bitnesses="32 64"
  for bits in $bitnesses; do
    wine="$root/build/win$bits/wine-run.sh"
    dir="$scratch/zip/$top/win$bits"
    if "$wine" "$dir/plughost.exe" info "$dir/DriveEffect.dll" >"$scratch/info-win$bits.txt" 2>&1 &&
      grep -q "Wnk2" "$scratch/info-win$bits.txt"; then
      echo "PASS: unpacked win$bits plughost info on the unpacked DLL"
    else
      cat "$scratch/info-win$bits.txt"
      fail "info of the unpacked $bits-bit DLL"
    fi
    if "$wine" "$dir/plughost.exe" validate "$dir/DriveEffect.dll" --level 10 \
      >"$scratch/validate-win$bits.txt" 2>&1; then
      echo "PASS: unpacked win$bits plughost validate --level 10: $(tail -n 1 "$scratch/validate-win$bits.txt" | tr -d '\r')"
    else
      tail -n 20 "$scratch/validate-win$bits.txt"
      fail "validate of the unpacked $bits-bit DLL"
    fi
    validator="$root/build/win$bits/vst3-validator/bin/validator.exe"
    if [ ! -f "$validator" ]; then
      echo "NOTE: no $validator: the bundle's $bits-bit binary is checked for its file only"
    elif "$wine" "$validator" -e "$windows_bundle" \
      >"$scratch/vst3-validator-win$bits.txt" 2>&1 &&
      grep -qE "$validator_passed" "$scratch/vst3-validator-win$bits.txt"; then
      echo "PASS: unpacked win$bits validator -e on the unpacked VST 3 bundle:" \
        "$(grep 'Result:' "$scratch/vst3-validator-win$bits.txt" | tail -n 1 | tr -d '\r')"
    else
      tail -n 30 "$scratch/vst3-validator-win$bits.txt"
      fail "validator -e ($bits-bit) on the unpacked VST 3 bundle"
    fi
    "$wine" --stop
  done
fi

[ $status -eq 0 ] && echo "PASS: release artefacts install and work"
exit $status
