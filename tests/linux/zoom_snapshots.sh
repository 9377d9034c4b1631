#!/bin/sh
# The Linux VST 2 panel at the desktop's zoom and at the zoom chosen from its own menu, as a host
# on an X display sees it: plughost snapshot on the display DISPLAY names, whose resource
# database (the root window's RESOURCE_MANAGER, as xrdb leaves it) says Xft.dpi. The display's
# screen must hold a 300 % panel (810 x 1200): tests/linux/with_xvfb.sh with XVFB_SCREEN.
#   zoom_snapshots.sh PART PLUGHOST PLUGIN WORK_DIR
# PART:
#   open_sizes  each Xft.dpi opens the editor at the offered zoom at or below dpi / 96, whatever
#               --scale says (VST 2 has no host scale)
#   scripts     every scripted snapshot of tests/plughost/scripts/panel_scripts.txt, at 200 % and
#               300 % with the positions multiplied into window pixels: the 100 % picture with
#               every pixel replicated 2 x 2 / 3 x 3, and the same values and automation reports
#   menu        a choice on the right-click menu resizes the editor through the host
#               (audioMasterSizeWindow), a host that refuses keeps its size, and the pointer works
#               on the new size as on the old
set -u
part=$1
plughost=$2
plugin=$3
work=$4
root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$work"
. "$root/tests/plughost/scripts/zoom_checks.sh"
run_plughost() {
  "$plughost" "$@"
}

# Xft.dpi as a desktop's resource database holds it among others; "none" for no database.
set_dpi() {
  if [ "$1" = none ]; then
    xprop -root -remove RESOURCE_MANAGER
  else
    xprop -root -format RESOURCE_MANAGER 8s -set RESOURCE_MANAGER \
      "$(printf 'Xft.antialias:\t1\nXft.dpi:\t%s\nXft.hinting:\t1\n' "$1")"
  fi
}

case "$part" in
open_sizes)
  # The offered zoom at or below dpi / 96: 120 dpi is 125 %, still 100 %.
  for case in none:270x400 96:270x400 120:270x400 144:405x600 192:540x800 240:675x1000 \
    288:810x1200; do
    dpi=${case%%:*}
    size=${case#*:}
    width=${size%x*}
    height=${size#*x}
    set_dpi "$dpi"
    snapshot "dpi-$dpi" || continue
    has_line "dpi-$dpi" "opened the editor, $width x $height pixels: parameters 0=0.5 1=0.5 2=0.5 3=0.2"
    has_line "dpi-$dpi" "wrote $work/dpi-$dpi.png: $width x $height pixels"
    echo "Xft.dpi $dpi: the editor opened at $width x $height"
  done
  # A VST 2 host has no scale of its own to tell: the desktop's is the one followed.
  set_dpi 144
  snapshot scale_ignored --scale 2
  has_line scale_ignored "wrote $work/scale_ignored.png: 405 x 600 pixels"
  ;;
scripts)
  scripts=$(panel_scripts)
  count=0
  while IFS='|' read -r name options; do
    set_dpi none
    # shellcheck disable=SC2086
    snapshot "$name-100" $options || continue
    for k in 2 3; do
      set_dpi $((96 * k))
      zoomed=$(zoomed_options "$k" "$options")
      # shellcheck disable=SC2086
      snapshot "$name-${k}00" $zoomed --pointer-grid "$k" || continue
      has_line "$name-${k}00" "wrote $work/$name-${k}00.png: $((270 * k)) x $((400 * k)) pixels"
      replicated "$name-100" "$name-${k}00" "$k"
      same_reports "$name-100" "$name-${k}00"
    done
    count=$((count + 1))
  done <<SCRIPTS
$scripts
SCRIPTS
  [ "$count" -ge 10 ] || fail "only $count scripts ran"
  echo "$count scripts, each at 200 % and 300 %"
  ;;
menu)
  set_dpi none
  snapshot defaults
  snapshot menu_open --right-press 100,100
  has_line menu_open "right-press 100,100: parameters 0=0.5 1=0.5 2=0.5 3=0.2; automation: none"
  snapshot choose_200 --right-press 100,100 --press "$(menu_item 2)"
  has_line choose_200 "the editor is now 540 x 800 pixels (it was 270 x 400)"
  replicated defaults choose_200 2
  snapshot choose_300 --right-press 100,100 --press "$(menu_item 4)"
  has_line choose_300 "the editor is now 810 x 1200 pixels (it was 270 x 400)"
  replicated defaults choose_300 3
  # A host that refuses keeps its window, and the panel its size.
  snapshot refused_200 --right-press 100,100 --press "$(menu_item 2)" --fixed-size
  has_line refused_200 "wrote $work/refused_200.png: 270 x 400 pixels"
  lacks_line refused_200 "the editor is now"
  replicated defaults refused_200 1
  # After the choice the pointer works on the larger window as on the panel: a press on the
  # first button, in the new window's pixels, does what it does at 100 %.
  snapshot button_100 --press 78,79
  snapshot button_after_choice --right-press 100,100 --press "$(menu_item 2)" --press 157,159
  replicated button_100 button_after_choice 2
  reports "$work/button_100.txt" | tail -n 1 >"$work/button_100.last"
  reports "$work/button_after_choice.txt" | tail -n 1 >"$work/button_after_choice.last"
  cmp -s "$work/button_100.last" "$work/button_after_choice.last" ||
    fail "button_after_choice: $(cat "$work/button_after_choice.last"), at 100 %: $(cat "$work/button_100.last")"
  # From the desktop's 200 % back to 100 %.
  set_dpi 192
  snapshot choose_100_from_200 --right-press 201,201 --press 231,217
  has_line choose_100_from_200 "the editor is now 270 x 400 pixels (it was 540 x 800)"
  replicated defaults choose_100_from_200 1
  ;;
*)
  echo "usage: zoom_snapshots.sh open_sizes|scripts|menu PLUGHOST PLUGIN WORK_DIR" >&2
  exit 2
  ;;
esac
[ $status -eq 0 ] && echo "PASS: $part"
exit $status
