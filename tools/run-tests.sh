#!/bin/sh
# Builds everything and runs every test: the portable code natively under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the real 32-bit DLL under Wine in a private prefix and display.
set -eu
cd "$(dirname "$0")/.."

./tools/install-deps.sh

status=0
for preset in native-asan native-tsan fuzz win32; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j2 >/dev/null
  echo "== $preset: test"
  ctest --preset "$preset" || status=1
done
exit $status
