#!/usr/bin/env bash
# Runs a command with a private Xvfb server and the openbox window manager.
set -euo pipefail
display=""
for n in $(seq 90 140); do
  if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then display=":$n"; break; fi
done
[[ -n "$display" ]] || { echo "no free X display" >&2; exit 1; }
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
wm_pid=""
cleanup() { kill $wm_pid "$xvfb_pid" 2>/dev/null || true; wait 2>/dev/null || true; }
trap cleanup EXIT
for _ in $(seq 1 100); do [[ -e /tmp/.X11-unix/X${display#:} ]] && break; sleep 0.05; done

# The window manager owns the screen once it sets _NET_SUPPORTING_WM_CHECK;
# the tests need one, so start it again if it did not come up.
wm_up() { DISPLAY="$display" xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; }
for attempt in 1 2 3; do
  DISPLAY="$display" openbox >/dev/null 2>&1 &
  wm_pid=$!
  for _ in $(seq 1 200); do wm_up && break; sleep 0.05; done
  wm_up && break
  echo "openbox did not come up (attempt $attempt)" >&2
  kill "$wm_pid" 2>/dev/null || true
done
wm_up || { echo "no window manager on $display" >&2; exit 1; }
DISPLAY="$display" "$@"
