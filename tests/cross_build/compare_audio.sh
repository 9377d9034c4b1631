#!/bin/sh
# One long scenario (varied signal, automation and program changes between blocks, block sizes
# from 1 to 4096, both process entries, in-place buffers) through every build: the outputs must
# be the same bytes. Pointer truncation, stray x87 arithmetic or misaligned loads would show here.
set -u
. "$(dirname "$0")/builds.sh"
trap stop_wine EXIT

count=0
first=""
status=0
for build in $builds; do
  echo "-- $build: $(run_in "$build" tests/cross_build/render_scenario "$(plugin_of "$build")" \
    "$out/scenario-$build.f32")" || status=1
  count=$((count + 1))
  if [ -z "$first" ]; then
    first="$build"
  elif ! cmp -s "$out/scenario-$first.f32" "$out/scenario-$build.f32"; then
    echo "FAIL: the $build output differs from the $first output: $(cmp "$out/scenario-$first.f32" "$out/scenario-$build.f32")"
    status=1
  fi
done

# The scenario every format takes (automation inside the blocks, at chosen frames) through every
# form of the plug-in of every build: VST 2, VST 3 and LV2 must give the same bytes.
forms=0
reference=""
for build in $builds; do
  for plugin in $(formats_of "$build"); do
    name="$build-$(basename "$plugin" | sed 's/^DriveEffect\.//')"
    echo "-- $name: $(run_in "$build" tests/cross_build/render_scenario "$plugin" \
      "$out/every-format-$name.f32" --every-format)" || status=1
    forms=$((forms + 1))
    if [ -z "$reference" ]; then
      reference="$name"
    elif ! cmp -s "$out/every-format-$reference.f32" "$out/every-format-$name.f32"; then
      echo "FAIL: the $name output differs from the $reference output: $(cmp "$out/every-format-$reference.f32" "$out/every-format-$name.f32")"
      status=1
    fi
  done
done
[ $status -eq 0 ] && echo "PASS: automation inside blocks identical across $forms forms of the plug-in:" \
  "$(sha256sum "$out/every-format-$reference.f32" | cut -c1-16)..."
if [ "$count" -lt 2 ]; then
  echo "FAIL: fewer than two builds to compare ($builds)"
  exit 1
fi
[ $status -eq 0 ] && echo "PASS: audio identical across$(echo " $builds" | sed 's/ /, /g; s/^,//'):" \
  "$(sha256sum "$out/scenario-$first.f32" | cut -c1-16)..."
exit $status
