#!/bin/sh
# `cmake --install BUILD --component user` as a user runs it: the bundle lands in ~/.lv2 and the
# VST 2 plug-in in ~/.vst of whatever HOME is, and an LV2 host finds the plug-in there.
#   lv2_user_install_test.sh BUILD_FOLDER WORK_FOLDER
set -eu

build=$1
work=$2
rm -rf "$work"
mkdir -p "$work/home"
HOME="$work/home" cmake --install "$build" --component user >"$work/install.log"
for file in .lv2/DriveEffect.lv2/manifest.ttl .lv2/DriveEffect.lv2/DriveEffect.ttl \
  .lv2/DriveEffect.lv2/DriveEffect_dsp.so .lv2/DriveEffect.lv2/DriveEffect_ui.so \
  .vst/DriveEffect.so; do
  [ -f "$work/home/$file" ] || {
    echo "not installed: ~/$file" >&2
    cat "$work/install.log" >&2
    exit 1
  }
done
# Nothing anywhere but under HOME.
if grep -v "Installing: $work/home/" "$work/install.log" | grep -q "Installing:"; then
  echo "installed outside HOME:" >&2
  grep "Installing:" "$work/install.log" >&2
  exit 1
fi
LV2_PATH="$work/home/.lv2" lv2ls | grep -qx urn:driveeffect:three-band-drive || {
  echo "lv2ls does not find the installed plug-in" >&2
  exit 1
}
echo "installed for one user: ~/.lv2/DriveEffect.lv2 (4 files), ~/.vst/DriveEffect.so"
