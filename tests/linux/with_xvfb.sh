#!/bin/sh
# Runs a command with DISPLAY set to a private Xvfb display of its own, started for it and
# stopped after it, so that no test touches the developer's desktop.
#   [XVFB_SCREEN=WxHxDEPTH] tests/linux/with_xvfb.sh COMMAND [ARG]...
# The screen is 1280x1024x24 unless XVFB_SCREEN names another (a panel at 300 % is 1200 pixels
# tall, and a window must be wholly on the screen for its pixels to be read back).
set -eu

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

# -displayfd picks a free display number and writes it once the server accepts connections;
# -noreset keeps the server up between clients (it would reset when its last client leaves).
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1280x1024x24}" -nolisten tcp -noreset 3>"$work/display" \
  >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r number <"$work/display" || {
  echo "with_xvfb.sh: Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
}
DISPLAY=":$number"
export DISPLAY
unset XAUTHORITY
"$@"
