# Sourced by the comparison scripts: which builds exist and can run here, and how to run a
# program of each. Sets `builds` (names in comparison order) and defines run_in BUILD PROGRAM ARGS.
root="$(cd "$(dirname "$0")/../.." && pwd)"
out="$root/build/cross-build"
mkdir -p "$out"

# The plain native build when there is one, else the sanitizer build the test command makes.
native_dir=""
for dir in build/native build/native-asan; do
  if [ -x "$root/$dir/tests/cross_build/render_scenario" ] && [ -f "$root/$dir/DriveEffect.so" ]; then
    native_dir="$root/$dir"
    break
  fi
done

builds=""
[ -n "$native_dir" ] && builds="native"
[ "${RUNS_32BIT:-yes}" = yes ] && [ -f "$root/build/win32/DriveEffect.dll" ] && builds="$builds win32"
[ -f "$root/build/win64/DriveEffect.dll" ] && builds="$builds win64"

# Program paths are given relative to the build folder, without the Windows suffix.
run_in() {
  build="$1"
  program="$2"
  shift 2
  case "$build" in
  native) "$native_dir/$program" "$@" ;;
  *) "$root/build/$build/wine-run.sh" "$root/build/$build/$program.exe" "$@" ;;
  esac
}

plugin_of() {
  case "$1" in
  native) echo "$native_dir/DriveEffect.so" ;;
  *) echo "$root/build/$1/DriveEffect.dll" ;;
  esac
}

# Every form of the plug-in a build makes, one per line: the VST 2 library, then the VST 3
# bundle and (native) the LV2 bundle where they were built.
formats_of() {
  plugin_of "$1"
  case "$1" in
  native) dir="$native_dir" ;;
  *) dir="$root/build/$1" ;;
  esac
  [ -d "$dir/vst3/DriveEffect.vst3" ] && echo "$dir/vst3/DriveEffect.vst3"
  [ "$1" = native ] && [ -f "$dir/lv2/DriveEffect.lv2/manifest.ttl" ] && echo "$dir/lv2/DriveEffect.lv2"
  return 0
}

stop_wine() {
  for build in $builds; do
    [ "$build" = native ] || "$root/build/$build/wine-run.sh" --stop
  done
}
