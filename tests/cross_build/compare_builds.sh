#!/bin/sh
# Once every preset is built: the builds that can run here must give the same sound bit for bit
# and the same panel pixel for pixel. RUNS_32BIT=no leaves the 32-bit DLL out.
set -u
cd "$(dirname "$0")"
status=0
./compare_audio.sh || status=1
./compare_panels.sh || status=1
exit $status
