#!/bin/sh
# Regenerates every bitmap of the panel in this folder: the sixteen small ones from the pixel
# tables of tools/make_bitmaps, and bitfond.bmp from panel.svg. The generator also refuses a
# background whose display boxes or buttons have moved.
#
#   resources/regenerate.sh [MAKE_BITMAPS]
#
# MAKE_BITMAPS is a built make_bitmaps; without it the generator is compiled on the spot.
# Needs rsvg-convert (Debian librsvg2-bin) and the DejaVu Sans font (fonts-dejavu-core).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

if ! fc-list "DejaVu Sans:style=Bold" | grep -q .; then
  echo "regenerate.sh: DejaVu Sans Bold is not installed (apt-get install fonts-dejavu-core)" >&2
  exit 1
fi

generator=${1:-}
if [ -z "$generator" ]; then
  ${CXX:-c++} -std=c++20 -O2 -Wall -Wextra -ffp-contract=off -I"$root" \
    "$root/tools/make_bitmaps/make_bitmaps.cpp" "$root/tools/make_bitmaps/panel_bitmaps.cpp" \
    -o "$work/make_bitmaps"
  generator=$work/make_bitmaps
fi

rsvg-convert --format png --output "$work/panel.png" "$here/panel.svg"
"$generator" "$here" --background "$work/panel.png"
