#!/bin/sh
# Builds everything and runs every test: the portable code natively under AddressSanitizer and
# UndefinedBehaviorSanitizer, a thread stress run under ThreadSanitizer, short libFuzzer runs,
# the plain native build as Linux hosts load it (its panel on a private Xvfb display, Ardour), and
# the real 32-bit DLL under Wine in a private prefix and display.
set -eu
cd "$(dirname "$0")/.."

./tools/install-deps.sh
mkdir -p build

status=0
for preset in native native-asan native-tsan fuzz win32; do
  echo "== $preset: configure and build (log: build/$preset.log)"
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset" -j2; } >"build/$preset.log" 2>&1; then
    tail -n 60 "build/$preset.log"
    echo "run-tests: building $preset failed" >&2
    status=1
    continue
  fi
  echo "== $preset: test"
  ctest --preset "$preset" || status=1
done
exit $status
