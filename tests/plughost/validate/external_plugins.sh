#!/bin/sh
# Validates other projects' Linux VST 2 plug-ins, to show that the validator is general.
#   external_plugins.sh PLUGHOST LEVEL PLUGIN...
# Plug-ins that are not installed are left out; with none installed the test is skipped (77).
# What the validator finds in them is printed, and is not this test's failure: the test fails
# only when the validator does not run to completion (no summary line, or an exit status other
# than 0 or 1), since every check runs in a child process and a crash is one check's finding.
set -u
plughost=$1
level=$2
shift 2

ran=0
status=0
for plugin in "$@"; do
  [ -f "$plugin" ] || continue
  ran=$((ran + 1))
  echo "=== $plugin"
  output=$("$plughost" validate "$plugin" --level "$level" --seed 1 --timeout 120 2>&1)
  rc=$?
  echo "$output"
  summary=$(printf '%s\n' "$output" | tail -n 1)
  if ! printf '%s\n' "$summary" | grep -Eq '^[0-9]+ passed, [0-9]+ failed(, [0-9]+ skipped)?$'; then
    echo "the validator did not finish on $plugin (exit status $rc)"
    status=1
  elif [ "$rc" -ne 0 ] && [ "$rc" -ne 1 ]; then
    echo "the validator ended with exit status $rc on $plugin"
    status=1
  fi
done
if [ "$ran" -eq 0 ]; then
  echo "none of the plug-ins is installed (Debian: dpf-plugins-vst, lsp-plugins-vst)"
  exit 77
fi
exit $status
