#!/bin/sh
# Installs the Debian 12 packages that building and testing need; quiet and idempotent.
set -eu

packages="cmake g++ make g++-mingw-w64-i686-posix binutils-mingw-w64-i686 \
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
  wine wine32:i386 wine64 xvfb xauth x11-utils \
  googletest libgtest-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev libstb-dev \
  clang libclang-rt-14-dev sox python3 python3-numpy python3-matplotlib librsvg2-bin \
  libxcb1-dev libxcb-xtest0-dev ardour dpkg-dev lintian unzip \
  lv2-dev sordi lilv-utils liblilv-dev clang-format clang-tidy git"

missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages:$missing (run as root to install them)" >&2
  exit 1
fi
echo "install-deps: installing$missing" >&2
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $missing >/dev/null
