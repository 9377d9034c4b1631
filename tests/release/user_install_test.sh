#!/bin/sh
# `cmake --install BUILD --component user` as a user runs it, with a HOME of its own: the VST 2
# plug-in lands in ~/.vst, the VST 3 bundle in ~/.vst3 and the LV2 bundle in ~/.lv2, nothing
# outside HOME, and an LV2 host (lv2ls) and a VST 3 host (Steinberg's validator, when this build
# made it) find the plug-ins there.
#   user_install_test.sh BUILD_FOLDER WORK_FOLDER [VST3_VALIDATOR]
set -eu

build=$1
work=$2
validator=${3:-}
rm -rf "$work"
mkdir -p "$work/home"
HOME="$work/home" cmake --install "$build" --component user >"$work/install.log"
for file in .lv2/DriveEffect.lv2/manifest.ttl .lv2/DriveEffect.lv2/DriveEffect.ttl \
  .lv2/DriveEffect.lv2/DriveEffect_dsp.so .lv2/DriveEffect.lv2/DriveEffect_ui.so \
  .vst/DriveEffect.so .vst3/DriveEffect.vst3/Contents/x86_64-linux/DriveEffect.so; do
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
# The bundle holds its one binary and nothing a host would take for another architecture's.
bundle_files=$(cd "$work/home/.vst3" && find DriveEffect.vst3 -type f | sort)
[ "$bundle_files" = DriveEffect.vst3/Contents/x86_64-linux/DriveEffect.so ] || {
  echo "the VST 3 bundle holds other files than its binary:" >&2
  echo "$bundle_files" >&2
  exit 1
}
LV2_PATH="$work/home/.lv2" lv2ls | grep -qx urn:driveeffect:three-band-drive || {
  echo "lv2ls does not find the installed plug-in" >&2
  exit 1
}
vst3_found="not looked for (no validator in this build)"
if [ -n "$validator" ]; then
  # -list searches the places VST 3 hosts search, ~/.vst3 of this HOME among them.
  HOME="$work/home" "$validator" -list >"$work/list.txt" 2>&1 || true
  grep -qx "$work/home/.vst3/DriveEffect.vst3" "$work/list.txt" || {
    echo "the VST 3 validator does not find ~/.vst3/DriveEffect.vst3:" >&2
    cat "$work/list.txt" >&2
    exit 1
  }
  vst3_found="found by the VST 3 validator's -list"
fi
echo "installed for one user: ~/.lv2/DriveEffect.lv2 (4 files, found by lv2ls)," \
  "the VST 2 plug-in in ~/.vst, ~/.vst3/DriveEffect.vst3 ($vst3_found)"
