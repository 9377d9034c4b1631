#!/bin/sh
# Holds docs/architecture.md to the tree: every file, folder, class, function or field it names
# in backticks must still exist. A map that names what was renamed or removed sends the next
# reader to nothing, and nobody notices until then.
#
# Usage: tests/docs/check_architecture_map.sh [ROOT [MAP]]; exits 1 naming each stale name.
#
# What a span is taken for:
#   PATH: NAME       the file exists and NAME is found in it
#   a path           (has a '/', or ends in a file extension or '.*'): a file or folder of the
#                    tree, given whole or by its last parts (`validate/effect.*`); a glob must
#                    match one; a system header must be included by some source (`<windows.h>`)
#   Class::member    found as written in the sources, or Class is defined in a file that also
#                    has the word member (fields and declarations in the class's header)
#   a.b, ns:local    each part (a, b; local) a word of the sources
#   name             a word of the sources
#   anything else    (a command, an expression: `ctest --preset P`) is prose, not checked
# Template arguments, call arguments, subscripts and a trailing '*' are checked as names of their
# own or dropped. Build outputs are not in the tree: the table below says which file makes each,
# and that file must still say so.
set -eu

root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root"
map=${2:-docs/architecture.md}
[ -f "$map" ] || {
  echo "check_architecture_map: no map at $map" >&2
  exit 2
}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Build outputs the map names: NAME|FILE THAT MAKES IT|TEXT IN THAT FILE.
cat >"$tmp/generated" <<'EOF'
panel_bitmap_data.cpp|editor/CMakeLists.txt|panel_bitmap_data.cpp
DriveEffect.dll|CMakeLists.txt|add_library(DriveEffect SHARED
DriveEffect.so|CMakeLists.txt|add_library(DriveEffect MODULE
DriveEffect_dsp.so|cmake/lv2_bundle.cmake|DriveEffect_dsp
DriveEffect_ui.so|cmake/lv2_bundle.cmake|DriveEffect_ui
plughost.exe|tools/plughost/CMakeLists.txt|add_executable(plughost
kernel_timing.exe|CMakeLists.txt|add_executable(kernel_timing
build/*/wine-run.sh|CMakeLists.txt|${CMAKE_BINARY_DIR}/wine-run.sh
bench/drive_bench|bench/CMakeLists.txt|add_executable(drive_bench
EOF

# The tree: what git tracks or would track (a build folder is ignored), or every file outside
# the build and output folders where there is no git.
if git rev-parse --show-toplevel >/dev/null 2>&1; then
  git ls-files --cached --others --exclude-standard
else
  find . \( -path ./build -o -path ./out -o -path ./release -o -path ./.git \) -prune -o \
    -type f -print | sed 's|^\./||'
fi | while IFS= read -r f; do
  [ -f "$f" ] && printf '%s\n' "$f"
done | sort >"$tmp/files"
# Every folder that holds a file, and the folders above it.
awk -F/ '{ d = $1; for (i = 2; i <= NF; i++) { print d; d = d "/" $i } }' "$tmp/files" |
  sort -u >"$tmp/dirs"
# The same as strings, for lookups that start no process.
files=" $(tr '\n' ' ' <"$tmp/files")"
dirs=" $(tr '\n' ' ' <"$tmp/dirs")"
# Names are looked up in the code and build files, not in prose (a name the map shares with the
# README proves nothing) nor in this check.
grep -v -e '\.md$' -e '^docs/' -e '^tests/docs/' "$tmp/files" >"$tmp/sources"
# One text of them all, its words, and where each class, struct and namespace is defined
# (FILE:KIND NAME), so that each lookup is one grep.
tr '\n' '\0' <"$tmp/sources" | xargs -0 grep -Ih '' >"$tmp/all"
# Words are names and qualified names with every run of their parts (`a::b::c` gives a, b, c,
# a::b, b::c and a::b::c), kept in one string so that a lookup starts no process.
grep -oE '~?[A-Za-z_][A-Za-z0-9_]*(::~?[A-Za-z_][A-Za-z0-9_]*)*' "$tmp/all" | sort -u |
  awk -F '::' '{
    for (i = 1; i <= NF; i++) {
      name = $i
      print name
      for (j = i + 1; j <= NF; j++) { name = name "::" $j; print name }
    }
  }' | sort -u >"$tmp/words"
words=" $(tr '\n' ' ' <"$tmp/words")"
tr '\n' '\0' <"$tmp/sources" |
  xargs -0 grep -IHoE '(class|struct|union|namespace) [A-Za-z_][A-Za-z0-9_]*([^;A-Za-z0-9_]|$)' |
  sed 's/[^A-Za-z0-9_]$//' >"$tmp/definitions"

# in_sources TEXT: TEXT occurs as written in some source.
in_sources() { grep -qF -- "$1" "$tmp/all"; }
# has_word WORD [FILE]: WORD is a whole word of the sources, or of FILE.
has_word() {
  case "$1" in
    *-*)
      # A preset or test name: words split at '-'.
      if [ -n "${2:-}" ]; then
        grep -IqwF -- "$1" "$2"
      else
        grep -qwF -- "$1" "$tmp/all"
      fi
      return
      ;;
  esac
  if [ -n "${2:-}" ]; then
    grep -IqwF -- "$1" "$2"
  else
    case "$words" in *" $1 "*) return 0 ;; esac
    return 1
  fi
}

# find_path PATH: prints the tree's file or folder that PATH names (whole or by its last parts,
# globs allowed; a trailing '/' a folder), or fails.
find_path() {
  p=${1%/}
  if [ "$p" != "$1" ]; then
    lists="$tmp/dirs"
  else
    lists="$tmp/files $tmp/dirs"
  fi
  # The path as a pattern: '*' within one folder, everything else as written.
  re=$(printf '%s' "$p" | sed -e 's/[].[^$\\+?(){}|]/\\&/g' -e 's/\*/[^\/]*/g')
  case "$p" in
    _*) re=".*$re" ;; # `_win.*` after `host_window_x11.*`: the end of a name
  esac
  # shellcheck disable=SC2086 # two lists
  cat $lists | grep -E -m 1 "(^|/)$re\$"
}

check_generated() {
  entry=$(grep -F -- "$1|" "$tmp/generated" | head -n 1)
  [ -n "$entry" ] || return 1
  maker=$(printf '%s' "$entry" | cut -d'|' -f2)
  text=$(printf '%s' "$entry" | cut -d'|' -f3-)
  if [ -f "$maker" ] && grep -qF -- "$text" "$maker"; then
    return 0
  fi
  reason="a build output whose maker $maker no longer has '$text'"
  return 1
}

# has_path PATH: PATH (no glob) names a file or folder of the tree, whole or by its last parts.
has_path() {
  p=${1%/}
  in=$dirs
  [ "$p" != "$1" ] || in="$files$dirs"
  case "$p" in
    _*) case "$in" in *"$p "*) return 0 ;; esac ;;
    *) case "$in" in *" $p "* | *"/$p "*) return 0 ;; esac ;;
  esac
  return 1
}

check_path() {
  reason="no such file or folder in the tree"
  case "$1" in
    *'*'*) find_path "$1" >/dev/null && return 0 ;;
    *) has_path "$1" && return 0 ;;
  esac
  check_generated "$1" && return 0
  case "$1" in *'*'*) return 1 ;; esac
  # A system header: some source includes it.
  in_sources "#include <$1>"
}

# check_identifier NAME [FILE]: NAME without decorations; in FILE when given.
check_identifier() {
  n=$1
  file=${2:-}
  reason="not found in the sources${file:+ of $file}"
  case "$n" in
    *::*)
      owner=${n%::*}
      member=${n##*::}
      if [ -n "$file" ]; then
        grep -qF -- "$n" "$file" && return 0
      else
        has_word "$n" && return 0
      fi
      # The member where its class (or namespace) is defined (in FILE, when given).
      has_word "$member" "$file" || return 1
      grep -E "^${file:-[^:]*}:[a-z]+ ${owner##*::}\$" "$tmp/definitions" | cut -d: -f1 | sort -u |
        while IFS= read -r f; do grep -qwF -- "$member" "$f" && echo "$f"; done | grep -q .
      ;;
    *.*)
      rest=$n
      while [ -n "$rest" ]; do
        has_word "${rest%%.*}" "$file" || return 1
        case "$rest" in *.*) rest=${rest#*.} ;; *) rest="" ;; esac
      done
      ;;
    *:*) has_word "${n#*:}" "$file" ;;
    *) has_word "$n" "$file" ;;
  esac
}

# check_name SPAN [FILE]: a name with its decorations: `f()`, `f(arg)`, `T<A, B>`, `x[2]`, `p*`.
check_name() {
  s=$1
  file=${2:-}
  case "$s" in
    '#'*)
      reason="not found in the sources"
      in_sources "$s"
      return
      ;;
  esac
  inner=""
  case "$s" in
    *[\<\(\[*]* | .*)
      # Arguments are names of their own; literal ones are dropped.
      inner=$(printf '%s' "$s" | sed -n 's/^[^<(]*[<(]\(.*\)[>)]$/\1/p')
      s=$(printf '%s' "$s" | sed -e 's/<.*>$//' -e 's/(.*)$//' -e 's/\[[0-9]*\]$//' -e 's/\*$//' \
        -e 's/^\.//')
      ;;
  esac
  check_identifier "$s" "$file" || return 1
  [ -n "$inner" ] || return 0
  for arg in $(printf '%s' "$inner" | tr ',' ' '); do
    case "$arg" in
      [A-Za-z_]*) check_identifier "$arg" || return 1 ;;
    esac
  done
}

is_path() {
  case "$1" in
    .*) return 1 ;; # `.ttl`, `.dirty`: an extension or a field, a word either way
    */* | *.h | *.cpp | *.sh | *.cmake | *.in | *.rc | *.def | *.map | *.svg | *.txt | *.json | \
      *.py | *.ttl | *.so | *.dll | *.exe | *.png | *.'*') return 0 ;;
  esac
  return 1
}

# Spans outside fenced blocks, one per line: LINE<TAB>TEXT.
awk '
  /^```/ { fenced = !fenced; next }
  fenced { next }
  {
    rest = $0
    while ((start = index(rest, "`")) > 0) {
      rest = substr(rest, start + 1)
      end = index(rest, "`")
      if (end == 0) break
      if (end > 1) print NR "\t" substr(rest, 1, end - 1)
      rest = substr(rest, end + 1)
    }
  }
' "$map" >"$tmp/spans"

tab=$(printf '\t')
checked=0
stale=0
while IFS="$tab" read -r line span; do
  reason=""
  ok=yes
  case "$span" in
    *': '*)
      # A path and what is found in it.
      path=${span%%: *}
      name=${span#*: }
      checked=$((checked + 1))
      if ! file=$(find_path "$path"); then
        ok=no
        reason="no such file in the tree"
      elif ! check_name "$name" "$file"; then
        ok=no
      fi
      ;;
    '<'*'>')
      checked=$((checked + 1))
      header=${span#<}
      check_path "${header%>}" || ok=no
      ;;
    *)
      # Prose: a command line or an expression, not a name.
      bare=$span
      case "$span" in
        *[\<\(]*) bare=$(printf '%s' "$span" | sed -e 's/<[^<>]*>//g' -e 's/([^()]*)//g') ;;
      esac
      case "$bare" in
        '' | *[!A-Za-z0-9_:./*~#\[\]-]*) continue ;;
      esac
      checked=$((checked + 1))
      if is_path "$span"; then
        check_path "$span" || ok=no
      else
        check_name "$span" || ok=no
      fi
      ;;
  esac
  if [ "$ok" = no ]; then
    stale=$((stale + 1))
    echo "$map:$line: \`$span\`: $reason" >&2
  fi
done <"$tmp/spans"

if [ "$stale" -gt 0 ]; then
  echo "architecture map: $stale of $checked names no longer in the tree (see above)" >&2
  exit 1
fi
echo "architecture map: all $checked names found in the tree"
