#!/bin/sh
# The release artefacts used as a user would install them: the Debian package checked by lintian
# and unpacked into a scratch root (the machine itself is not changed), its installed plughost
# validating its installed plug-in; the Windows archive unpacked, and each DLL that can run here
# loaded from there under Wine by plughost info and validate. RUNS_32BIT=no leaves the 32-bit DLL
# out.
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
    "$wine" --stop
  done
fi

[ $status -eq 0 ] && echo "PASS: release artefacts install and work"
exit $status
