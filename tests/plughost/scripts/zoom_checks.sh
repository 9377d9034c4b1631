# shellcheck shell=sh
# shellcheck disable=SC2034,SC2154 # status is the sourcing script's; work, plugin, root its own
# Shared by the zoom tests of each build (sourced): plughost snapshot runs kept in a work folder,
# and the checks between a zoomed run and its 100 % twin. The sourcing script sets `work`,
# `plugin` and `root` and defines run_plughost ARGS... (plughost as that build runs it).
status=0

fail() {
  echo "FAIL: $*"
  status=1
}

# snapshot NAME [OPTIONS...]: the picture in $work/NAME.png, the report in NAME.txt (line ends
# as on Linux). Shell functions share their caller's variables: theirs have names of their own.
snapshot() {
  shot=$1
  shift
  if ! run_plughost snapshot "$plugin" "$work/$shot.png" "$@" >"$work/$shot.out" 2>&1 </dev/null; then
    fail "$shot: plughost snapshot failed: $(tail -n 1 "$work/$shot.out")"
    return 1
  fi
  tr -d '\r' <"$work/$shot.out" >"$work/$shot.txt"
}

# What the host was told, whatever the zoom: the values and automation after each step, the
# actions named without their positions, the sizes left out.
reports() {
  sed -E -e '/^wrote /d' -e '/^the editor is now /d' \
    -e 's/^opened the editor, [0-9]+ x [0-9]+ pixels/opened the editor/' \
    -e 's/^(press|drag|right-press) [0-9,:]+: /\1: /' "$1"
}

# same_reports NAME OTHER: both runs told the host the same.
same_reports() {
  reports "$work/$1.txt" >"$work/$1.reports"
  reports "$work/$2.txt" >"$work/$2.reports"
  if ! cmp -s "$work/$1.reports" "$work/$2.reports"; then
    fail "$2: what the host was told differs from $1:"
    diff "$work/$1.reports" "$work/$2.reports"
  fi
}

# replicated NAME ZOOMED K: the zoomed picture is NAME's with each pixel a K x K block (K = 1:
# the same picture). Prints how many pixels were checked.
replicated() {
  /usr/bin/python3 "$root/tests/cross_build/same_pixels.py" "$2" "$work/$1.png" "$work/$2.png" \
    "$3" || status=1
}

# has_line NAME TEXT: the report has that line exactly.
has_line() {
  if ! grep -qxF "$2" "$work/$1.txt"; then
    fail "$1: no line '$2' in:"
    cat "$work/$1.txt"
  fi
}

# lacks_line NAME PATTERN: no line of the report matches the (basic) pattern.
lacks_line() {
  if grep -q "$2" "$work/$1.txt"; then
    fail "$1: a line matches '$2':"
    cat "$work/$1.txt"
  fi
}

# The scripts every build snapshots, one "NAME|OPTIONS" a line.
panel_scripts() {
  grep -v '^#' "$root/tests/plughost/scripts/panel_scripts.txt"
}

# zoomed_options K OPTIONS: the script's positions in the window pixels of a panel at K00 %,
# each at its pixel's centre (x * K + K / 2).
zoomed_options() {
  echo "$2" | awk -v k="$1" '
    function scale(t,   out, n) {
      out = ""
      while (match(t, /[0-9]+/)) {
        n = substr(t, RSTART, RLENGTH) + 0
        out = out substr(t, 1, RSTART - 1) (n * k + int(k / 2))
        t = substr(t, RSTART + RLENGTH)
      }
      return out t
    }
    {
      for (i = 1; i <= NF; i++) {
        word = $i
        if (previous == "--press" || previous == "--drag" || previous == "--right-press") {
          word = scale(word)
        }
        printf "%s%s", (i > 1 ? " " : ""), word
        previous = $i
      }
      print ""
    }'
}

# The zoom menu opens at the right-click point; at panel pixels 100,100 its items are 13 rows
# apart from row 102, 100 % first, over columns 101 to 132. menu_item N: the middle of item N
# (0: 100 %, ..., 4: 300 %) in 100 % pixels.
menu_item() {
  echo "115,$((108 + 13 * $1))"
}
