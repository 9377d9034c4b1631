#!/bin/sh
# The LV2 plug-in in a host that is not ours: lv2apply (lilv-utils) runs it one frame per run()
# and passes no features. At each setting its output must be bit for bit what plughost renders
# through the VST 2 plug-in at block size 1; plughost's own LV2 render, at an odd block size,
# must match the VST 2 render at that block size too.
#   lv2apply_test.sh BUNDLE DRIVE_SO PLUGHOST WORK_FOLDER
set -eu

here=$(cd "$(dirname "$0")" && pwd)
signal="$here/../linux/ardour/drive_signal.py"
bundle=$1
vst=$2
plughost=$3
work=$4
uri=urn:driveeffect:three-band-drive
frames=24000
silence=480

rm -rf "$work"
mkdir -p "$work"
/usr/bin/python3 "$signal" write "$work/input.wav" "$frames" "$silence"
total=$((frames + silence))

same() {
  /usr/bin/python3 - "$1" "$2" "$signal" <<'PY'
import sys
sys.path.insert(0, __import__("os").path.dirname(sys.argv[3]))
import numpy as np
from drive_signal import read_float_wav
a, b = read_float_wav(sys.argv[1]), read_float_wav(sys.argv[2])
if a.shape != b.shape:
    print(f"  frame counts differ: {a.shape} and {b.shape}")
    sys.exit(1)
differing = np.nonzero(np.any(a.view(np.uint32) != b.view(np.uint32), axis=1))[0]
if len(differing):
    first = differing[0]
    print(f"  {len(differing)} of {len(a)} frames differ, first {first}: {a[first]} and {b[first]}")
    sys.exit(1)
print(f"  {len(a)} stereo frames, bit for bit the same")
PY
}

status=0
# low mid high level; the defaults first, then hot, extreme and quiet settings.
for setting in "0.5 0.5 0.5 0.2" "0.8 0.3 0.6 0.5" "1 1 1 1" "0 0.05 1 0.9"; do
  set -- $setting
  name=$(echo "$setting" | tr ' ' '_')
  LV2_PATH="$(dirname "$bundle")" lv2apply -i "$work/input.wav" -o "$work/lv2apply-$name.wav" \
    -c low "$1" -c mid "$2" -c high "$3" -c level "$4" "$uri"
  "$plughost" process "$vst" "$work/input.wav" "$work/vst-$name.wav" --block 1 \
    --param 0="$1" --param 1="$2" --param 2="$3" --param 3="$4" >/dev/null
  echo "lv2apply against VST 2 at block 1, low=$1 mid=$2 high=$3 level=$4:"
  same "$work/lv2apply-$name.wav" "$work/vst-$name.wav" || status=1

  "$plughost" process "$bundle" "$work/input.wav" "$work/plughost-lv2-$name.wav" --block 333 \
    --param low="$1" --param mid="$2" --param high="$3" --param level="$4" >/dev/null
  "$plughost" process "$vst" "$work/input.wav" "$work/vst-333-$name.wav" --block 333 \
    --param 0="$1" --param 1="$2" --param 2="$3" --param 3="$4" >/dev/null
  echo "plughost LV2 against VST 2 at block 333:"
  same "$work/plughost-lv2-$name.wav" "$work/vst-333-$name.wav" || status=1
done
[ "$status" -eq 0 ] && echo "lv2apply_test: every render identical ($total frames each)"
exit $status
