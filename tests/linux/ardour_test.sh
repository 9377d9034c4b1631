#!/bin/sh
# DriveEffect.so in a real Linux host, headless: Debian's Ardour 7 through its Lua session tool
# with the "None (Dummy)" audio backend. For each of three settings of the four parameters, run 1
# renders a test signal through the plug-in, exports it as 32-bit float and saves the session;
# plughost renders the same signal through DRIVE_SO, and the two must be identical sample for
# sample. Run 2 opens the saved session again and must read back the four values run 1 set. Given
# an LV2 bundle (NAME.lv2) or a VST 3 bundle (NAME.vst3), Ardour runs that plug-in instead; the
# reference is still plughost's render through DRIVE_SO. A VST 3 plug-in must also bring the
# values back from its own state alone; an LV2 session keeps the panel's zoom port.
#   tests/linux/ardour_test.sh DRIVE_SO PLUGHOST WORK_FOLDER [LV2_BUNDLE | VST3_BUNDLE]
set -eu

here=$(cd "$(dirname "$0")" && pwd)
plugin=$1
plughost=$2
work=$3
bundle=${4:-}
frames=96000
# A setting away from the defaults, the defaults, and the ends of the range: each session is
# saved holding one of them.
settings="0.8,0.3,0.6,0.5 0.5,0.5,0.5,0.2 1,0,1,1"

rm -rf "$work"
mkdir -p "$work/lxvst" "$work/home/.config/ardour7/scripts" "$work/home/.config/ardour7/export"
# The scanner's cache is keyed by the plug-in's path as the session looks it up: an absolute one.
work=$(cd "$work" && pwd)
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

# Ardour never scans VST at start-up: the scanners fill the cache its sessions read. LV2 plug-ins
# it finds through LV2_PATH when it starts. The names are those of the controls the session sets
# through the indices 0..3 (the VST 2 plug-in's are its historical ones).
format=vst2
plugin_globals=""
controls="' Boost' ' Volume' ' ---' ' ---'"
case "$bundle" in
  "")
    LD_LIBRARY_PATH=/usr/lib/ardour7 /usr/lib/ardour7/ardour-vst-scanner -f -q \
      "$work/lxvst/DriveEffect.so"
    ;;
  *.lv2 | *.lv2/)
    mkdir -p "$work/lv2"
    cp -r "$bundle" "$work/lv2/"
    export LV2_PATH="$work/lv2"
    format=lv2
    uri=urn:driveeffect:three-band-drive
    plugin_globals="plugin_id = '$uri'; plugin_type = ARDOUR.PluginType.LV2"
    controls="'LOW' 'MID' 'HIGH' 'LEVEL'"
    ;;
  *.vst3 | *.vst3/)
    # The session loads the bundle from VST3_PATH, where the scanner saw it, by its processor
    # class ID (32 upper-case hex digits, as the cache writes it); a copy backdated as a whole,
    # folders too, is older than the cache the scanner then writes.
    mkdir -p "$work/vst3"
    cp -r "$bundle" "$work/vst3/DriveEffect.vst3"
    find "$work/vst3" -exec touch -d '1 minute ago' {} +
    export VST3_PATH="$work/vst3"
    format=vst3
    LD_LIBRARY_PATH=/usr/lib/ardour7 /usr/lib/ardour7/ardour-vst3-scanner -f -q \
      "$work/vst3/DriveEffect.vst3"
    class_id=FD68362905E84C88A87ED6AD1B49FBAA
    plugin_globals="plugin_id = '$class_id'; plugin_type = ARDOUR.PluginType.VST3"
    controls="'LOW' 'MID' 'HIGH' 'LEVEL'"
    ;;
  *)
    echo "ardour_test: $bundle is neither an LV2 (.lv2) nor a VST 3 (.vst3) bundle" >&2
    exit 2
    ;;
esac

# The session tool sometimes dies, with or without plug-ins: at shutdown, and in one run of five
# or so during or just after an export (Debian's 7.3 corrupts its heap in its export code, with
# no plug-in on the track too). A run counts once it has printed its result; one that dies before
# that is run again, on a fresh session folder when it creates one, and each such death is shown.
run_lua() {
  name=$1
  log=$2
  fresh=$3
  shift 3
  {
    for assignment in "$@"; do
      echo "$assignment"
    done
    cat "$here/ardour/$name.lua"
  } >"$log.lua"
  for attempt in 1 2 3 4 5; do
    timeout 120 ardour7-lua "$log.lua" >"$log.log" 2>&1 || true
    if grep -q '^RESULT' "$log.log"; then
      grep '^RESULT' "$log.log"
      return 0
    fi
    echo "ardour_test: $log: attempt $attempt ended without a result:" >&2
    tail -5 "$log.log" >&2
    [ -n "$fresh" ] && rm -rf "$fresh"
  done
  return 1
}

# Opens the session in work folder NAME again (logs: NAME-reopen.*) and requires the four values
# of the setting in $expected.
reopen() {
  reopened=$(run_lua reopen "$work/$1-reopen" "" "session_dir = '$work/$1'")
  if [ "$reopened" != "$expected" ]; then
    echo "ardour_test: $1 reopened gave '$reopened', expected '$expected'" >&2
    exit 1
  fi
  echo "ardour_test: $1 reopened: ${reopened#RESULT values }"
}

/usr/bin/python3 "$here/ardour/drive_signal.py" write "$work/input.wav" "$frames" 48000
n=0
for setting in $settings; do
  n=$((n + 1))
  values=$(echo "$setting" | tr ',' ' ')
  session="$work/session-$n"
  echo "ardour_test: setting $n ($values):"
  rendered=$(run_lua render_and_save "$work/render-$n" "$session" "session_dir = '$session'" \
    "export_dir = '$work/export-$n'" "frames = $frames" "values = {$setting}" "$plugin_globals")
  echo "$rendered"
  if [ "$rendered" != "RESULT exported and saved, controls $controls" ]; then
    echo "ardour_test: setting $n: the indices 0..3 are not the controls $controls" >&2
    exit 1
  fi

  # The same signal through plughost. Ardour runs the plug-in on silence during its export
  # pre-roll, which moves its state; a second of silence first brings plughost's copy to the same
  # state.
  # shellcheck disable=SC2046
  "$plughost" process "$plugin" "$work/input.wav" "$work/plughost-$n.wav" \
    $(i=0; for v in $values; do printf -- '--param %s=%s ' "$i" "$v"; i=$((i + 1)); done) >/dev/null
  /usr/bin/python3 "$here/ardour/drive_signal.py" compare "$work/export-$n/drive.wav" \
    "$work/plughost-$n.wav" "$frames" 48000

  # What the plug-in holds is each value rounded to a 32-bit float.
  # shellcheck disable=SC2086
  expected="RESULT values $(/usr/bin/python3 -c 'import sys, numpy
print(" ".join("%.9g" % numpy.float32(v) for v in sys.argv[1:]))' $values)"
  reopen "session-$n"

  # Ardour restores a VST 3 plug-in's controls from its own record of their values first and
  # from the plug-in's state after that, so the run above would pass with a state the plug-in
  # cannot read. In a copy whose record says 0.25 for all four, a value no setting uses, only the
  # plug-in's state can bring the setting back.
  if [ "$format" = vst3 ]; then
    cp -r "$session" "$session-overwritten"
    sed -E -i -e 's#(<Port id="[0-3]" value=")[^"]*"#\10.25"#' \
      -e 's#(<Controllable name="(LOW|MID|HIGH|LEVEL)"[^>]* value=")[^"]*"#\10.25"#' \
      "$session-overwritten/drive.ardour"
    if [ "$(grep -c 'value="0\.25"' "$session-overwritten/drive.ardour")" != 8 ]; then
      echo "ardour_test: session $n: Ardour's values of the four controls not found" >&2
      exit 1
    fi
    reopen "session-$n-overwritten"
  fi

  # The LV2 panel's zoom lives in its zoom port, which Ardour saves as it saves every control:
  # 0 (follow the host) in a session where none was chosen, and a chosen one back on reopening.
  # Once is enough: the port is the same in every setting.
  if [ "$format" = lv2 ] && [ $n -eq 1 ]; then
    grep -q '<Port symbol="zoom" value="0"/>' "$session/drive.ardour" || {
      echo "ardour_test: session $n holds no zoom port at 0" >&2
      exit 1
    }
    cp -r "$session" "$session-zoom"
    sed -i 's#<Port symbol="zoom" value="0"/>#<Port symbol="zoom" value="250"/>#' \
      "$session-zoom/drive.ardour"
    reopened=$(run_lua reopen "$work/session-$n-zoom-reopen" "" \
      "session_dir = '$session-zoom'" "zoom_index = 4")
    if [ "$reopened" != "$expected zoom 250" ]; then
      echo "ardour_test: session $n with a zoom chosen reopened gave '$reopened'," \
        "expected '$expected zoom 250'" >&2
      exit 1
    fi
    echo "ardour_test: session-$n-zoom reopened: ${reopened#RESULT values }"
  fi
done
