#!/bin/sh
# The LV2 UI against the VST 2 panel of the same build, without Wine: each script played on both
# through plughost snapshot must give the same pixels and the same reports (values, and port
# writes where the VST 2 panel reports automation).
#   lv2_panel_pixels_test.sh PLUGHOST DRIVE_SO BUNDLE WORK_FOLDER
set -u

here=$(cd "$(dirname "$0")" && pwd)
plughost=$1
vst=$2
bundle=$3
work=$4
rm -rf "$work"
mkdir -p "$work"

# name|plughost snapshot options
scripts='defaults|
knobs_and_pad|--drag 40,43:70,43 --drag 134,30:120,60 --press 100,250 --press 100,350
buttons|--press 78,79 --press 155,88 --press 236,79 --press 195,120
host_values|--param 1=0.999 --host-set 0=0.25 --host-set 3=-1.5 --press 100,303 --host-set 2=-0.004'

status=0
echo "$scripts" >"$work/scripts"
while IFS='|' read -r name options; do
  for form in vst lv2; do
    plugin=$vst
    [ "$form" = lv2 ] && plugin=$bundle
    # shellcheck disable=SC2086
    if ! "$here/../linux/with_xvfb.sh" "$plughost" snapshot "$plugin" "$work/$name-$form.png" \
      $options >"$work/$name-$form.txt" 2>&1 </dev/null; then
      echo "FAIL: $name: the $form snapshot failed: $(tail -n 1 "$work/$name-$form.txt")"
      status=1
      continue 2
    fi
    grep -v '^wrote ' "$work/$name-$form.txt" >"$work/$name-$form.reports"
  done
  /usr/bin/python3 "$here/../cross_build/same_pixels.py" "$name (VST 2, LV2)" \
    "$work/$name-vst.png" "$work/$name-lv2.png" || status=1
  if ! cmp -s "$work/$name-vst.reports" "$work/$name-lv2.reports"; then
    echo "FAIL: $name: the reports differ:"
    diff "$work/$name-vst.reports" "$work/$name-lv2.reports"
    status=1
  fi
done <"$work/scripts"
[ $status -eq 0 ] && echo "PASS: the LV2 UI shows and reports what the VST 2 panel does"
exit $status
