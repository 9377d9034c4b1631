#!/bin/sh
# The bundle as the LV2 tools see it.
#   lv2_tools_test.sh validate BUNDLE   lv2_validate must find 0 errors
#   lv2_tools_test.sh ports BUNDLE      lv2info must list the class and the nine ports,
#                                      and the zoom port's choices and properties
set -eu

check=$1
bundle=$2
# The bundle's parent alone, then the system's folder for the standard's own data.
lv2_path="$(dirname "$bundle"):/usr/lib/lv2"
uri=urn:driveeffect:three-band-drive

case "$check" in
validate)
  out=$(LV2_PATH="$lv2_path" lv2_validate "$bundle"/*.ttl 2>&1) || {
    echo "$out"
    echo "lv2_validate failed" >&2
    exit 1
  }
  verdict=$(echo "$out" | grep '^Found ' || true)
  echo "$verdict"
  case "$verdict" in
  "Found 0 errors"*) ;;
  *)
    echo "$out"
    exit 1
    ;;
  esac
  # Any line of its own beyond the files it skipped and its verdict is a complaint.
  others=$(echo "$out" | grep -v -e '^Found ' -e '^Skipping file' -e '^Loading file' || true)
  if [ -n "$others" ]; then
    echo "lv2_validate said more than its verdict:" >&2
    echo "$others" >&2
    exit 1
  fi
  ;;
ports)
  info=$(LV2_PATH="$lv2_path" lv2info "$uri")
  # One line per port: index, kinds, symbol, name, range and default.
  got=$(echo "$info" | awk '
    /^\tPort [0-9]+:/ { if (line != "") print line; sub(":", "", $2); line = $2; kinds = "" }
    /lv2core#(Audio|Control|Input|Output)Port$/ {
      sub(/.*lv2core#/, ""); kinds = kinds " " $0; next }
    /^\t\tSymbol:/ { split(kinds, k, " ")
      if (k[1] > k[2]) { t = k[1]; k[1] = k[2]; k[2] = t }
      line = line " " k[1] "," k[2] " " $2 }
    /^\t\tName:/ { sub(/^\t\tName: +/, ""); line = line " \"" $0 "\"" }
    /^\t\t(Minimum|Maximum|Default):/ { line = line " " $2 }
    END { if (line != "") print line }')
  expected='0 AudioPort,InputPort in_left "In Left"
1 AudioPort,InputPort in_right "In Right"
2 AudioPort,OutputPort out_left "Out Left"
3 AudioPort,OutputPort out_right "Out Right"
4 ControlPort,InputPort low "LOW" 0.000000 1.000000 0.500000
5 ControlPort,InputPort mid "MID" 0.000000 1.000000 0.500000
6 ControlPort,InputPort high "HIGH" 0.000000 1.000000 0.500000
7 ControlPort,InputPort level "LEVEL" 0.000000 1.000000 0.200000
8 ControlPort,InputPort zoom "Panel zoom" 0.000000 300.000000 0.000000'
  if [ "$got" != "$expected" ]; then
    echo "lv2info ports differ; got:" >&2
    echo "$got" >&2
    echo "expected:" >&2
    echo "$expected" >&2
    exit 1
  fi
  # The zoom port: its choices, sorted, and the properties that keep it out of hosts' controls
  # and automation.
  zoom=$(echo "$info" | sed -n '/^\tPort 8:/,$p')
  points=$(echo "$zoom" | sed -n 's/^\t\t\t\([0-9]*\) = "\(.*\)"$/\1 \2/p' | sort -n | tr '\n' ';')
  if [ "$points" != '0 Follow the host;100 100 %;150 150 %;200 200 %;250 250 %;300 300 %;' ]; then
    echo "lv2info zoom scale points: $points" >&2
    exit 1
  fi
  for property in lv2core#integer lv2core#enumeration lv2core#connectionOptional \
    port-props#notOnGUI port-props#notAutomatic; do
    echo "$zoom" | grep -q "$property\$" || {
      echo "lv2info: the zoom port lacks $property" >&2
      exit 1
    }
  done
  class=$(echo "$info" | sed -n 's/^\tClass: *//p')
  echo "$info" | grep -q "Required Features" && {
    echo "lv2info lists required features" >&2
    exit 1
  }
  [ "$class" = "Distortion Plugin" ] || {
    echo "lv2info class '$class', expected Distortion Plugin" >&2
    exit 1
  }
  echo "lv2info: class $class, ports:"
  echo "$got"
  ;;
*)
  echo "usage: lv2_tools_test.sh validate|ports BUNDLE" >&2
  exit 2
  ;;
esac
