#!/bin/sh
# clang-tidy (.clang-tidy) over the project's own sources as the native build compiles them.
# Windows-only files are not in the native compilation database and are left to the compilers'
# warnings. Usage: tools/run-clang-tidy.sh [BUILD_DIR] [FOLDER...]; exits 1 on any finding.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build/native}
[ $# -gt 0 ] && shift
folders=${*:-host effect editor tools bench tests}
[ -f "$build/compile_commands.json" ] || { echo "no $build/compile_commands.json" >&2; exit 2; }

log=$(mktemp)
trap 'rm -f "$log"' EXIT
# Each file once, though several targets may compile it.
/usr/bin/python3 - "$build/compile_commands.json" $folders <<'PY' |
import json, os, sys
root = os.getcwd() + "/"
folders = tuple(f.rstrip("/") + "/" for f in sys.argv[2:])
files = sorted({e["file"] for e in json.load(open(sys.argv[1]))})
for f in files:
    rel = f[len(root):] if f.startswith(root) else f
    if rel.startswith(folders):
        print(rel)
PY
  xargs -P 2 -n 4 clang-tidy -p "$build" --quiet >"$log" 2>/dev/null || true
# Findings inside third-party headers (stb, CLI11, GoogleTest) are not ours to fix.
findings=$(grep -E "^$(pwd)/($(echo "$folders" | tr ' ' '|'))/[^:]*:[0-9]+:[0-9]+: (warning|error):" "$log" | sort -u || true)
if [ -n "$findings" ]; then
  cat "$log"
  echo "clang-tidy: $(printf '%s\n' "$findings" | wc -l) findings in the project's sources:" >&2
  printf '%s\n' "$findings" >&2
  exit 1
fi
echo "clang-tidy: no findings in $(echo $folders)"
