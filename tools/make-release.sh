#!/bin/sh
# Makes the release artefacts in release/: the Debian package of the Linux build
# (driveeffect_VERSION_amd64.deb), the zip of both Windows builds
# (DriveEffect-VERSION-windows.zip) and SHA256SUMS. Builds the presets it needs.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)

./tools/install-deps.sh
# The commit's own time stamps the package's changelog, so that the same commit gives the same
# package contents whenever it is built.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
export SOURCE_DATE_EPOCH

mkdir -p build
for preset in native win32 win64; do
  echo "== $preset: configure and build (log: build/release-$preset.log)"
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset" -j2; } \
    >"build/release-$preset.log" 2>&1; then
    tail -n 40 "build/release-$preset.log" >&2
    echo "make-release: building $preset failed" >&2
    exit 1
  fi
done

rm -rf release build/native/release build/win64/release
echo "== Debian package"
(cd build/native && cpack -G DEB) >build/release-cpack.log 2>&1 || {
  cat build/release-cpack.log >&2
  exit 1
}
echo "== Windows archive"
# One archive of both Windows builds: each installs its DLL and plughost.exe into its own
# bitness folder, and its VST 3 binary into the one DriveEffect.vst3 bundle.
(cd build/win64 && cpack -G ZIP \
  -D "CPACK_INSTALL_CMAKE_PROJECTS=$root/build/win32;DriveEffect;ALL;/;$root/build/win64;DriveEffect;ALL;/") \
  >>build/release-cpack.log 2>&1 || {
  cat build/release-cpack.log >&2
  exit 1
}

mkdir -p release
cp build/native/release/*.deb build/win64/release/*.zip release/
(cd release && sha256sum -- *.deb *.zip >SHA256SUMS)
echo "== release/"
(cd release && ls -l -- *.deb *.zip && cat SHA256SUMS)
