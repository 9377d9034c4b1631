#!/bin/sh
# DriveEffect.so in a real Linux host, headless: Debian's Ardour 7 through its Lua session tool
# with the "None (Dummy)" audio backend. Run 1 renders a test signal through the plug-in, exports
# it as 32-bit float and saves the session; plughost renders the same signal, and the two must be
# identical sample for sample. Run 2 opens the saved session again and must read back the four
# parameter values run 1 set. Given an LV2 bundle, Ardour runs the LV2 plug-in instead (the
# reference is still plughost's render through DRIVE_SO).
#   tests/linux/ardour_test.sh DRIVE_SO PLUGHOST WORK_FOLDER [LV2_BUNDLE]
set -eu

here=$(cd "$(dirname "$0")" && pwd)
plugin=$1
plughost=$2
work=$3
lv2_bundle=${4:-}
frames=96000
values="0.8 0.3 0.6 0.5"

rm -rf "$work"
mkdir -p "$work/lxvst" "$work/home/.config/ardour7/scripts" "$work/home/.config/ardour7/export"
# A private HOME keeps the scanner's cache and Ardour's configuration away from the user's own,
# and a folder of its own keeps anything else out of the plug-in path.
cp "$plugin" "$work/lxvst/DriveEffect.so"
# Ardour trusts a cache entry only when it is newer than the plug-in, in whole seconds.
touch -d '1 minute ago' "$work/lxvst/DriveEffect.so"
cp "$here/ardour/test_signal.lua" "$work/home/.config/ardour7/scripts/"
cp "$here/ardour/float.preset" "$work/home/.config/ardour7/export/"
export HOME="$work/home"
export LXVST_PATH="$work/lxvst"
unset DISPLAY

# Ardour never scans VST at start-up: the scanner fills the cache its sessions read. LV2 plug-ins
# it finds through LV2_PATH when it starts.
plugin_globals=""
if [ -n "$lv2_bundle" ]; then
  mkdir -p "$work/lv2"
  cp -r "$lv2_bundle" "$work/lv2/"
  export LV2_PATH="$work/lv2"
  plugin_globals="plugin_id = 'urn:driveeffect:three-band-drive'; plugin_type = ARDOUR.PluginType.LV2"
else
  LD_LIBRARY_PATH=/usr/lib/ardour7 /usr/lib/ardour7/ardour-vst-scanner -f -q \
    "$work/lxvst/DriveEffect.so"
fi

# The session tool sometimes dies at shutdown, with or without plug-ins: a run counts once it has
# printed its result, and one that dies before that is run again.
run_lua() {
  name=$1
  shift
  {
    for assignment in "$@"; do
      echo "$assignment"
    done
    cat "$here/ardour/$name.lua"
  } >"$work/$name.lua"
  for attempt in 1 2 3; do
    timeout 120 ardour7-lua "$work/$name.lua" >"$work/$name.log" 2>&1 || true
    if grep -q '^RESULT' "$work/$name.log"; then
      grep '^RESULT' "$work/$name.log"
      return 0
    fi
    echo "ardour_test: $name: attempt $attempt ended without a result:" >&2
    tail -5 "$work/$name.log" >&2
    [ "$name" = render_and_save ] && rm -rf "$work/session"
  done
  return 1
}

lua_values="values = {$(echo "$values" | tr ' ' ',')}"
run_lua render_and_save "session_dir = '$work/session'" "export_dir = '$work/export'" \
  "frames = $frames" "$lua_values" "$plugin_globals"

# The same signal through plughost. Ardour runs the plug-in on silence during its export pre-roll,
# which moves its state; a second of silence first brings plughost's copy to the same state.
/usr/bin/python3 "$here/ardour/drive_signal.py" write "$work/input.wav" "$frames" 48000
# shellcheck disable=SC2046
"$plughost" process "$plugin" "$work/input.wav" "$work/plughost.wav" \
  $(i=0; for v in $values; do printf -- '--param %s=%s ' "$i" "$v"; i=$((i + 1)); done) >/dev/null
/usr/bin/python3 "$here/ardour/drive_signal.py" compare "$work/export/drive.wav" \
  "$work/plughost.wav" "$frames" 48000

reopened=$(run_lua reopen "session_dir = '$work/session'")
# What the plug-in holds is each value rounded to a 32-bit float.
expected="RESULT values $(/usr/bin/python3 -c 'import sys, numpy
print(" ".join("%.9g" % numpy.float32(v) for v in sys.argv[1:]))' $values)"
if [ "$reopened" != "$expected" ]; then
  echo "ardour_test: the reopened session gave '$reopened', expected '$expected'" >&2
  exit 1
fi
echo "ardour_test: the reopened session read back the saved values: ${reopened#RESULT values }"
