#!/bin/sh
# Exit status 0 when this machine runs 32-bit x86 Linux programs natively, which Wine's 32-bit
# loader needs to run the 32-bit DLL's test programs. Some virtual machines run 64-bit programs
# only; a user-mode emulator registered for 32-bit programs (qemu through binfmt_misc) makes them
# start there, but far too slowly for the test suite, so emulation counts as no.
if grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386; then
  echo "32-bit programs run only under emulation (qemu-i386) on this machine" >&2
  exit 1
fi
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "this machine runs no 32-bit programs (its kernel refuses them)" >&2
  exit 1
fi
exit 0
