#!/bin/sh
# Checks the sources' format and clang-tidy's findings, builds every preset with warnings as
# errors and runs every test: the portable code natively under AddressSanitizer and
# UndefinedBehaviorSanitizer, a thread stress run under ThreadSanitizer, short libFuzzer runs,
# the plain native build as Linux hosts load it (its panel on a private Xvfb display, Ardour), the
# real 32-bit and 64-bit DLLs under Wine in private prefixes and displays, and last the
# comparisons between builds (the same sound bit for bit, the same panel pixel for pixel) and the
# release artefacts installed and used as a user would.
set -eu
cd "$(dirname "$0")/.."

./tools/install-deps.sh
mkdir -p build

# Wine runs 32-bit Windows programs through a 32-bit Linux loader. Where this machine cannot
# start it, the 32-bit DLL is still built and its export and import tables checked, but nothing
# of it runs.
if tools/can-run-32bit.sh; then
  runs_32bit=yes
else
  runs_32bit=no
  echo "run-tests: the win32 build is checked, not run" >&2
fi

status=0
echo "== format: clang-format on every C++ source (.clang-format)"
if git ls-files -- '*.cpp' '*.h' | xargs clang-format --dry-run --Werror; then
  echo "every C++ source is formatted"
else
  echo "run-tests: clang-format would change the files above" >&2
  status=1
fi

for preset in native native-asan native-tsan fuzz win32 win64; do
  echo "== $preset: configure and build (log: build/$preset.log)"
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset" -j2; } >"build/$preset.log" 2>&1; then
    tail -n 60 "build/$preset.log"
    echo "run-tests: building $preset failed" >&2
    status=1
    continue
  fi
  echo "== $preset: test"
  if [ "$preset" = win32 ] && [ "$runs_32bit" = no ]; then
    ctest --preset win32 -R '^dll_exports_and_imports$' || status=1
  else
    ctest --preset "$preset" || status=1
  fi
done

echo "== clang-tidy (.clang-tidy) on the sources the native build compiles"
tools/run-clang-tidy.sh build/native || status=1

echo "== builds compared"
RUNS_32BIT="$runs_32bit" tests/cross_build/compare_builds.sh || status=1

echo "== release artefacts, installed as a user would"
if tools/make-release.sh >build/release.log 2>&1; then
  RUNS_32BIT="$runs_32bit" tests/release/check_release.sh || status=1
else
  tail -n 40 build/release.log
  echo "run-tests: making the release failed" >&2
  status=1
fi
exit $status
