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

# Each stage's duration and result, for the table at the end: where the time goes decides what to
# make faster, and a failure is named there again after pages of output.
stages=build/run-tests-stages
: >"$stages"
started=$(date +%s)
minutes() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }
stage_began=$started
begin() { stage_began=$(date +%s); }
# end STAGE STATUS: records the stage since begin (STATUS 0: passed).
end() {
  took=$(($(date +%s) - stage_began))
  result=passed
  [ "$2" -eq 0 ] || result=FAILED
  printf '%s\t%s\t%s\n' "$1" "$took" "$result" >>"$stages"
  echo "-- $1: $result in $(minutes "$took")"
}

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
echo "== format: clang-format on every C++ source of ours (.clang-format; third_party/ is vendored as released)"
begin
if git ls-files -- '*.cpp' '*.h' ':!third_party/' | xargs clang-format --dry-run --Werror; then
  echo "every C++ source is formatted"
  end format 0
else
  echo "run-tests: clang-format would change the files above" >&2
  status=1
  end format 1
fi

for preset in native native-asan native-tsan fuzz win32 win64; do
  echo "== $preset: configure and build (log: build/$preset.log)"
  begin
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset" -j2; } >"build/$preset.log" 2>&1; then
    tail -n 60 "build/$preset.log"
    echo "run-tests: building $preset failed" >&2
    status=1
    end "$preset: build" 1
    continue
  fi
  end "$preset: build" 0
  echo "== $preset: test"
  begin
  ok=0
  if [ "$preset" = win32 ] && [ "$runs_32bit" = no ]; then
    ctest --preset win32 -R '^(vst3_)?dll_exports_and_imports$' || ok=1
    end "win32: DLL tables only" "$ok"
  else
    ctest --preset "$preset" || ok=1
    end "$preset: tests" "$ok"
  fi
  [ "$ok" -eq 0 ] || status=1
done

echo "== clang-tidy (.clang-tidy) on the sources the native build compiles"
begin
ok=0
tools/run-clang-tidy.sh build/native || ok=1
[ "$ok" -eq 0 ] || status=1
end clang-tidy "$ok"

echo "== builds compared"
begin
ok=0
RUNS_32BIT="$runs_32bit" tests/cross_build/compare_builds.sh || ok=1
[ "$ok" -eq 0 ] || status=1
end comparisons "$ok"

echo "== release artefacts, installed as a user would"
begin
ok=0
if tools/make-release.sh >build/release.log 2>&1; then
  RUNS_32BIT="$runs_32bit" tests/release/check_release.sh || ok=1
else
  tail -n 40 build/release.log
  echo "run-tests: making the release failed" >&2
  ok=1
fi
[ "$ok" -eq 0 ] || status=1
end release "$ok"

total=$(($(date +%s) - started))
echo
echo "== stages"
awk -F '\t' '{ printf "%-22s %4dm%02ds  %s\n", $1, $2 / 60, $2 % 60, $3 }' "$stages"
printf '%-22s %8s  %s\n' total "$(minutes "$total")" "$([ "$status" -eq 0 ] && echo passed || echo FAILED)"
echo
# The last line is what a reader of a green run sees: it must not pass for the 32-bit DLL having
# run when it has not.
failed=$(awk -F '\t' '$3 == "FAILED" { printf "%s%s", sep, $1; sep = ", " }' "$stages")
if [ "$status" -eq 0 ]; then
  verdict="every stage passed"
else
  verdict="FAILED: ${failed:-see above}"
fi
if [ "$runs_32bit" = no ]; then
  echo "run-tests: $verdict; the 32-bit DLL was built but not run on this machine"
else
  echo "run-tests: $verdict"
fi
exit $status
