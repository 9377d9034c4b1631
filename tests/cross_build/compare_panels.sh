#!/bin/sh
# The same scripted panel actions through every build's editor (the Windows DLLs through
# plughost.exe under Wine, the Linux shared object through the native plughost on a private Xvfb
# display): the pictures must be identical pixel for pixel, and what the host was told (values and
# automation after every action) must be identical line for line.
set -u
. "$(dirname "$0")/builds.sh"
trap stop_wine EXIT

# name|plughost snapshot options, one script a line.
scripts=$(grep -v '^#' "$root/tests/plughost/scripts/panel_scripts.txt")

# The native build's LV2 UI too, in plughost's LV2 host window, and each build's VST 3 view in
# plughost's VST 3 host window: the same panel, the same reports.
panel_builds=$builds
lv2_bundle="$native_dir/lv2/DriveEffect.lv2"
if [ -n "$native_dir" ] && [ -f "$lv2_bundle/manifest.ttl" ]; then
  panel_builds="$panel_builds lv2"
fi
for build in $builds; do
  case "$build" in
  native) dir="$native_dir" ;;
  *) dir="$root/build/$build" ;;
  esac
  [ -d "$dir/vst3/DriveEffect.vst3" ] && panel_builds="$panel_builds $build-vst3"
done

# run_in sets `build`: the loop below keeps its own name in `form`.
snapshot() {
  target=$1
  shift
  case "$target" in
  native | lv2 | native-vst3)
    "$root/tests/linux/with_xvfb.sh" "$native_dir/tools/plughost/plughost" snapshot "$@" ;;
  *) run_in "${target%-vst3}" tools/plughost/plughost snapshot "$@" ;;
  esac
}

panel_plugin_of() {
  case "$1" in
  lv2) echo "$lv2_bundle" ;;
  native-vst3) echo "$native_dir/vst3/DriveEffect.vst3" ;;
  *-vst3) echo "$root/build/${1%-vst3}/vst3/DriveEffect.vst3" ;;
  *) plugin_of "$1" ;;
  esac
}

# What the host was told, as every format can say it. A VST 3 controller lists bypass and the
# program change after the four controls; they are left out.
reports_of() {
  case "$1" in
  *-vst3) sed -E 's/ 4=[^ ;]+ 5=[^ ;]+//' ;;
  *) cat ;;
  esac
}

set -- $panel_builds
if [ $# -lt 2 ]; then
  echo "FAIL: fewer than two builds to compare ($panel_builds)"
  exit 1
fi
first=$1
status=0
scripts_file="$out/panel-scripts"
echo "$scripts" >"$scripts_file"
while IFS='|' read -r name options; do
  for form in $panel_builds; do
    # A VST 3 parameter is normalized: a host cannot set one below 0 or above 1.
    case "$form:$name" in
    *-vst3:negative_values) continue ;;
    esac
    # shellcheck disable=SC2086
    if ! snapshot "$form" "$(panel_plugin_of "$form")" "$out/$name-$form.png" $options \
      >"$out/$name-$form.txt" 2>&1 </dev/null; then
      echo "FAIL: $name: the $form snapshot failed: $(tail -n 1 "$out/$name-$form.txt")"
      status=1
      continue
    fi
    tr -d '\r' <"$out/$name-$form.txt" | grep -v '^wrote ' | reports_of "$form" \
      >"$out/$name-$form.reports"
    [ "$form" = "$first" ] && continue
    /usr/bin/python3 "$(dirname "$0")/same_pixels.py" "$name ($first, $form)" \
      "$out/$name-$first.png" "$out/$name-$form.png" || status=1
    if ! cmp -s "$out/$name-$first.reports" "$out/$name-$form.reports"; then
      echo "FAIL: $name: what the host was told differs between $first and $form:"
      diff "$out/$name-$first.reports" "$out/$name-$form.reports" || true
      status=1
    fi
  done
done <"$scripts_file"
[ $status -eq 0 ] && echo "PASS: every panel picture and host report identical across $panel_builds"
exit $status
