#!/bin/sh
# clang-tidy (.clang-tidy) over the project's own sources as the native build compiles them.
# Windows-only files are not in the native compilation database and are left to the compilers'
# warnings. Usage: tools/run-clang-tidy.sh [BUILD_DIR] [FOLDER...]
#
# Exit status: 0 no findings; 1 findings in the project's sources (listed, each once however many
# files include its header); 2 nothing or not everything was checked: clang-tidy missing, or
# failing on a file (a compile error in its own run included). A run that checked nothing must
# never read as clean.
#
# Each file's result is kept in BUILD_DIR/clang-tidy-cache under a key of everything it depends
# on: clang-tidy's version, .clang-tidy, the compile command, and the contents of the source and
# of every header the build's dependency file lists for it. A file whose key is unchanged is not
# analysed again (its findings are reported from the cache all the same); a file without a
# dependency file (not built yet) always is.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build/native}
[ $# -gt 0 ] && shift
folders=${*:-host effect editor tools bench tests}

broken() {
  echo "run-clang-tidy: $*" >&2
  exit 2
}
command -v clang-tidy >/dev/null 2>&1 ||
  broken "clang-tidy is not installed (tools/install-deps.sh installs it): nothing was checked"
version=$(clang-tidy --version 2>&1) || broken "clang-tidy does not run: $version"
[ -f "$build/compile_commands.json" ] ||
  broken "no $build/compile_commands.json (configure that build first): nothing was checked"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cache="$build/clang-tidy-cache"
mkdir -p "$cache" "$work/out" "$work/stderr"
started=$(date +%s)

# KEY FILE per line, each file once though several targets may compile it; the files with the
# most headers (the slowest to analyse) first, so that the two runners finish together.
# shellcheck disable=SC2086 # one argument per folder
/usr/bin/python3 - "$build/compile_commands.json" "$version" $folders >"$work/jobs" <<'PY'
import hashlib, json, os, shlex, sys

root = os.getcwd() + "/"
database, version, folders = sys.argv[1], sys.argv[2], tuple(f.rstrip("/") + "/" for f in sys.argv[3:])
with open(".clang-tidy", "rb") as f:
    config = f.read()
digests = {}

def digest(path):
    if path not in digests:
        try:
            with open(path, "rb") as f:
                digests[path] = hashlib.sha256(f.read()).hexdigest()
        except OSError:
            digests[path] = "missing"
    return digests[path]

def dependencies(entry):
    args = shlex.split(entry["command"]) if "command" in entry else entry["arguments"]
    if "-o" not in args[:-1]:
        return None
    depfile = os.path.join(entry["directory"], args[args.index("-o") + 1] + ".d")
    try:
        with open(depfile) as f:
            text = f.read()
    except OSError:
        return None
    return [p for p in text.split(":", 1)[1].split() if p != "\\"]

jobs = {}
for entry in json.load(open(database)):
    file = entry["file"]
    rel = file[len(root):] if file.startswith(root) else file
    if not rel.startswith(folders) or rel in jobs:
        continue
    deps = dependencies(entry)
    if deps is None:
        jobs[rel] = (1 << 30, "-")
        continue
    key = hashlib.sha256()
    for part in (version.encode(), config, entry.get("command", " ".join(entry.get("arguments", []))).encode()):
        key.update(hashlib.sha256(part).digest())
    for dep in deps:
        key.update(f"{dep}\0{digest(dep)}\0".encode())
    jobs[rel] = (len(deps), key.hexdigest())
for rel, (weight, key) in sorted(jobs.items(), key=lambda j: (-j[1][0], j[0])):
    print(key, rel)
PY
[ -s "$work/jobs" ] || broken "no source of $folders in $build/compile_commands.json: nothing was checked"

# One file: its diagnostics into out/, from the cache or from clang-tidy; a file clang-tidy fails
# on goes into the list of failures with its output.
cat >"$work/one.sh" <<'SH'
build=$1 work=$2 cache=$3 key=$4 file=$5
name=$(printf '%s' "$file" | tr / _)
out="$work/out/$name"
if [ "$key" != - ] && [ -f "$cache/$key" ]; then
  cp "$cache/$key" "$out"
  touch "$cache/$key"
  echo "$file" >>"$work/cached"
  exit 0
fi
if clang-tidy -p "$build" --quiet "$file" >"$out" 2>"$work/stderr/$name"; then
  if [ "$key" != - ]; then
    cp "$out" "$cache/$key.$$" && mv "$cache/$key.$$" "$cache/$key"
  fi
else
  echo "$file" >>"$work/failed"
fi
SH
xargs -P 2 -L 1 sh "$work/one.sh" "$build" "$work" "$cache" <"$work/jobs" ||
  broken "running clang-tidy over the files failed"
# Results of sources as they were long ago will not be asked for again.
find "$cache" -type f -mtime +30 -delete

total=$(wc -l <"$work/jobs")
elapsed=$(($(date +%s) - started))
if [ -s "$work/failed" ]; then
  while IFS= read -r file; do
    name=$(printf '%s' "$file" | tr / _)
    echo "-- clang-tidy on $file:" >&2
    grep -E ': error:' "$work/out/$name" | head -n 20 >&2 || true
    tail -n 5 "$work/stderr/$name" >&2
  done <"$work/failed"
  broken "clang-tidy failed on $(wc -l <"$work/failed") of $total files (above): they were not checked"
fi

# Findings inside third-party headers (stb, CLI11, GoogleTest) are not ours to fix. A finding in a
# header comes once from every file that includes it: each is shown once, with its notes.
pattern="^$(pwd)/($(echo "$folders" | tr ' ' '|'))/[^:]*:[0-9]+:[0-9]+: (warning|error):"
cat "$work"/out/* | awk -v pattern="$pattern" '
  /^[^ ]+:[0-9]+:[0-9]+: (warning|error):/ { keep = $0 ~ pattern && !seen[$0]++ }
  keep { print }
' >"$work/findings"
cached=0
[ -f "$work/cached" ] && cached=$(wc -l <"$work/cached")
summary="$total files ($cached unchanged, from the cache) in ${elapsed}s"
count=$(grep -cE "$pattern" "$work/findings" || true)
if [ "$count" -gt 0 ]; then
  cat "$work/findings"
  echo "clang-tidy: $count findings in the project's sources ($summary):" >&2
  grep -E "$pattern" "$work/findings" >&2
  exit 1
fi
echo "clang-tidy: no findings in $folders: $summary"
