#!/bin/sh
# The demo, from a fresh checkout: installs what is missing, builds what it runs (the plug-ins,
# plughost and the demo's signal, not the tests) in the native and Windows presets, synthesises ten seconds of a plucked-string riff (out/demo-dry.wav), runs it through
# the Windows DriveEffect.dll under Wine with plughost at the default program (out/demo-drive.wav)
# and, through both the 32-bit and the 64-bit DLL, the Linux VST 2 plug-in and the LV2 bundle,
# at a hotter setting (out/demo-hot.wav, the same bytes from every build), prints what a host
# sees of the plug-in and how fast each DLL runs, saves pictures of the panel (out/panel.png at
# the defaults, out/panel-hot.png with the knobs turned, out/panel-200.png at 200 % chosen from
# its right-click menu), and plots dry against processed
# (out/demo-plot.png). A machine that runs no 32-bit programs uses the 64-bit DLL alone.
set -eu

cd "$(dirname "$0")/.."
mkdir -p out

# Each step's duration, as it ends and in a table at the end: on a fresh machine the packages and
# the first builds take minutes, and it should be plain which.
steps=out/demo-steps
: >"$steps"
started=$(date +%s)
step_name=""
step_began=$started
seconds() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }
finish_step() {
  if [ -n "$step_name" ]; then
    took=$(($(date +%s) - step_began))
    printf '%s\t%s\n' "$step_name" "$took" >>"$steps"
    echo "-- $(seconds "$took")"
  fi
}
step() {
  finish_step
  step_name=$*
  step_began=$(date +%s)
  printf '\n== %s\n' "$*"
}

# Build output goes to a log; on failure its end is shown.
quietly() {
  log="$1"
  shift
  if ! "$@" >>"out/$log" 2>&1; then
    tail -n 40 "out/$log" >&2
    echo "run-demo: '$*' failed; the whole log is out/$log" >&2
    exit 1
  fi
}

rm -f out/build-native.log out/build-win32.log out/build-win64.log

step "Installing missing packages"
tools/install-deps.sh

# Wine runs 32-bit programs through a 32-bit Linux loader, which some virtual machines cannot
# start (they run 64-bit programs only). There the demo runs the 64-bit DLL alone, and does not
# build the 32-bit one.
if tools/can-run-32bit.sh; then
  bitnesses="32 64"
else
  bitnesses="64"
  echo "note: the demo builds and uses the 64-bit DLL only" >&2
fi
main_bits=${bitnesses%% *}

# Only the targets the demo runs: the presets' tests (most of a full build) are the test
# command's. Native: the VST 2 plug-in, the LV2 bundle (binaries and .ttl files), plughost and the
# dry signal's synthesiser; Windows: the DLL and plughost.exe.
presets=native
for b in $bitnesses; do presets="$presets win$b"; done
for preset in $presets; do
  case "$preset" in
    native) targets="DriveEffect DriveEffect_lv2 plughost demo-signal" ;;
    *) targets="DriveEffect plughost" ;;
  esac
  step "Building $targets in the $preset preset (log: out/build-$preset.log)"
  quietly "build-$preset.log" cmake --preset "$preset"
  # shellcheck disable=SC2086 # one argument per target
  quietly "build-$preset.log" cmake --build --preset "$preset" -j 2 --target $targets
done
# wine BITS ARGS...: plughost of the 32-bit or 64-bit build under Wine.
wine() {
  bits=$1
  shift
  "build/win$bits/wine-run.sh" "build/win$bits/tools/plughost/plughost.exe" "$@"
}
dll() { echo "build/win$1/DriveEffect.dll"; }
# The private displays and Wine servers go away with the demo, however it ends.
trap 'for b in $bitnesses; do "build/win$b/wine-run.sh" --stop; done' EXIT
hot="--param 0=0.9 --param 1=0.8 --param 2=0.95 --param 3=0.35"

step "Synthesising the dry signal"
build/native/tools/demo/demo-signal out/demo-dry.wav --seconds 10
echo "wrote out/demo-dry.wav: 10 s of a plucked-string riff, stereo 32-bit float at 44100 Hz"

step "What a host sees: plughost info $(dll "$main_bits")"
wine "$main_bits" info "$(dll "$main_bits")"

step "Processing under Wine ($main_bits-bit DLL): default program"
wine "$main_bits" process "$(dll "$main_bits")" out/demo-dry.wav out/demo-drive.wav

for b in $bitnesses; do
  step "Processing under Wine ($b-bit DLL): hotter setting (drives 0.9, 0.8, 0.95; output 0.35)"
  # shellcheck disable=SC2086
  wine "$b" process "$(dll "$b")" out/demo-dry.wav "out/demo-hot-win$b.wav" $hot
done
step "Processing natively (Linux VST 2 and LV2): hotter setting"
# shellcheck disable=SC2086
build/native/tools/plughost/plughost process build/native/DriveEffect.so out/demo-dry.wav \
  out/demo-hot-linux.wav $hot
build/native/tools/plughost/plughost process build/native/lv2/DriveEffect.lv2 out/demo-dry.wav \
  out/demo-hot-lv2.wav --param low=0.9 --param mid=0.8 --param high=0.95 --param level=0.35
cp "out/demo-hot-win$main_bits.wav" out/demo-hot.wav
for other in $(for b in $bitnesses; do echo "win$b"; done) lv2; do
  if ! cmp -s out/demo-hot-linux.wav "out/demo-hot-$other.wav"; then
    echo "run-demo: out/demo-hot-$other.wav differs from out/demo-hot-linux.wav" >&2
    exit 1
  fi
done
echo "the same file, byte for byte, from every build: $(for b in $bitnesses; do printf '%s-bit DLL, ' "$b"; done)Linux VST 2, LV2"

for b in $bitnesses; do
  step "Speed of the $b-bit DLL: plughost bench $(dll "$b")"
  wine "$b" bench "$(dll "$b")"
done

# The README's picture is the default one, refreshed by hand only, after looking at it:
#   cp out/panel.png docs/panel.png
step "Panel: plughost snapshot at the default program"
wine "$main_bits" snapshot "$(dll "$main_bits")" out/panel.png

# The hotter setting turned by hand: each knob dragged from its top to the drives above
# (about 0.9, 0.8 and 0.95), and the upper half of the level pad pressed three times
# (0.2 to 0.35).
step "Panel: plughost snapshot with the knobs turned up"
wine "$main_bits" snapshot "$(dll "$main_bits")" out/panel-hot.png \
  --drag 55,30:66,51 --drag 134,30:159,45 --drag 218,30:229,57 \
  --press 134,260 --press 134,260 --press 134,260

# The zoom menu as a user works it: a right click at 100,100 opens it there, and a click on its
# third item (200 %) makes the plug-in ask the host for a window twice the size. The 64-bit DLL:
# the 32-bit one keeps its one size.
#   cp out/panel-200.png docs/panel-200.png
step "Panel: plughost snapshot at 200 %, chosen from the panel's right-click menu"
wine 64 snapshot "$(dll 64)" out/panel-200.png --right-press 100,100 \
  --press 110,134

step "Plot: dry against processed"
/usr/bin/python3 tools/demo/plot_demo.py out/demo-dry.wav out/demo-drive.wav out/demo-hot.wav \
  out/demo-plot.png
echo "wrote out/demo-plot.png"

finish_step

echo
echo "== Time per step"
awk -F '\t' '{ printf "%4dm%02ds  %s\n", $2 / 60, $2 % 60, $1 }' "$steps"
echo "$(printf '%8s' "$(seconds $(($(date +%s) - started)))")  in all"
echo
echo "Done. Listen to out/demo-dry.wav, out/demo-drive.wav and out/demo-hot.wav."
