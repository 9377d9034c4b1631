#!/bin/sh
# The Windows DLL's panel at the desktop's DPI and at the zoom chosen from its own menu, as a
# Windows host sees it: plughost.exe under Wine in a private prefix whose desktop is set to
# 192 dots per inch (LogPixels, Wine's DPI setting), on a display of its own.
#   zoom_dpi_test.sh WINE_RUN PLUGHOST_EXE DRIVE_DLL WORK_DIR BITS
# 64-bit: a DPI-aware host (--dpi-aware) gets the panel at 200 % (540 x 800), the 100 % picture
# replicated, with the same values and reports for every scripted snapshot; an unaware one gets
# 96 and the panel at 100 %; a menu choice resizes the editor through audioMasterSizeWindow and a
# host that refuses keeps 270 x 400.
# 32-bit: the DLL keeps its one size and ignores the right button. Its programs run only where
# 32-bit programs do (tools/can-run-32bit.sh): elsewhere the test is skipped (exit status 77).
set -u
wine_run=$1
plughost=$2
plugin=$3
work=$4
bits=$5
root=$(cd "$(dirname "$0")/../.." && pwd)

if [ "$bits" = 32 ] && ! "$root/tools/can-run-32bit.sh"; then
  echo "SKIP: the 32-bit DLL's zoom test needs a machine that runs 32-bit programs"
  exit 77
fi

rm -rf "$work"
mkdir -p "$work"
. "$root/tests/plughost/scripts/zoom_checks.sh"

# A prefix and display of the test's own: the DPI setting must not reach the other tests.
DRIVE_WINE_HOME="$work/wine"
export DRIVE_WINE_HOME
trap '"$wine_run" --stop' EXIT
run_plughost() {
  "$wine_run" "$plughost" "$@"
}

"$wine_run" --start
"$wine_run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 192 /f \
  >/dev/null 2>&1 || fail "cannot set LogPixels in the private prefix"
# The server writes the registry out as it stops; programs from the next one on start with the
# desktop at 192 DPI.
"$wine_run" --stop

snapshot defaults
has_line defaults "opened the editor, 270 x 400 pixels: parameters 0=0.5 1=0.5 2=0.5 3=0.2"
snapshot aware --dpi-aware

if [ "$bits" = 64 ]; then
  has_line aware "opened the editor, 540 x 800 pixels: parameters 0=0.5 1=0.5 2=0.5 3=0.2"
  replicated defaults aware 2

  # Every scripted snapshot at the desktop's 200 %, the positions in window pixels.
  count=0
  scripts=$(panel_scripts)
  while IFS='|' read -r name options; do
    # shellcheck disable=SC2086
    snapshot "$name-100" $options || continue
    # shellcheck disable=SC2046 # one word an option or value
    snapshot "$name-200" $(zoomed_options 2 "$options") --pointer-grid 2 --dpi-aware || continue
    has_line "$name-200" "wrote $work/$name-200.png: 540 x 800 pixels"
    replicated "$name-100" "$name-200" 2
    same_reports "$name-100" "$name-200"
    count=$((count + 1))
  done <<SCRIPTS
$scripts
SCRIPTS
  echo "$count scripts at 200 %"

  # The menu, in a host that is not DPI-aware: the panel opens at 100 % and asks for 200 %.
  snapshot choose_200 --right-press 100,100 --press "$(menu_item 2)"
  has_line choose_200 "the editor is now 540 x 800 pixels (it was 270 x 400)"
  replicated defaults choose_200 2
  snapshot refused_200 --right-press 100,100 --press "$(menu_item 2)" --fixed-size
  has_line refused_200 "wrote $work/refused_200.png: 270 x 400 pixels"
  lacks_line refused_200 "the editor is now"
  replicated defaults refused_200 1
  # From the desktop's 200 % back to 100 %.
  snapshot choose_100 --dpi-aware --right-press 201,201 --press 231,217
  has_line choose_100 "the editor is now 270 x 400 pixels (it was 540 x 800)"
  replicated defaults choose_100 1
else
  # One size whatever the desktop says, and the right button does nothing: the press where the
  # menu's 200 % item would be is the plain press it always was.
  has_line aware "opened the editor, 270 x 400 pixels: parameters 0=0.5 1=0.5 2=0.5 3=0.2"
  replicated defaults aware 1
  snapshot right_press --dpi-aware --right-press 100,100
  has_line right_press "right-press 100,100: parameters 0=0.5 1=0.5 2=0.5 3=0.2; automation: none"
  replicated defaults right_press 1
  snapshot plain_press --press "$(menu_item 2)"
  snapshot right_then_press --right-press 100,100 --press "$(menu_item 2)"
  lacks_line right_then_press "the editor is now"
  replicated plain_press right_then_press 1
  reports "$work/plain_press.txt" | tail -n 1 >"$work/plain_press.last"
  reports "$work/right_then_press.txt" | tail -n 1 >"$work/right_then_press.last"
  cmp -s "$work/plain_press.last" "$work/right_then_press.last" ||
    fail "right_then_press: $(cat "$work/right_then_press.last"), without the right press: $(cat "$work/plain_press.last")"
fi
[ $status -eq 0 ] && echo "PASS: the $bits-bit DLL at 192 DPI"
exit $status
