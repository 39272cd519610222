#!/usr/bin/env bash
# Runs a command with a private Xvfb server and the openbox window manager;
# ZD_X11_SCREEN sets the screen (default 1280x1024x24).
set -euo pipefail
# Xvfb picks a free display itself and names it on a pipe: runs started
# side by side never race for the same number.
numbers=$(mktemp -u)
mkfifo "$numbers"
Xvfb -displayfd 3 -screen 0 "${ZD_X11_SCREEN:-1280x1024x24}" -nolisten tcp 3>"$numbers" >/dev/null 2>&1 &
xvfb_pid=$!
wm_pid=""
cleanup() { kill $wm_pid "$xvfb_pid" 2>/dev/null || true; wait 2>/dev/null || true; rm -f "$numbers"; }
trap cleanup EXIT
number=""
read -r -t 20 number <"$numbers" || true
[[ -n "$number" ]] || { echo "Xvfb did not start" >&2; exit 1; }
display=":$number"

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

# A window mapped while openbox is still starting was seen never managed
# (under load: not framed, never shown), so the command starts once openbox
# has framed a window of ours.
probe_framed() { DISPLAY="$display" xprop -name zd-wm-probe WM_STATE 2>/dev/null | grep -q "window state"; }
framed=""
for attempt in 1 2 3 4; do
  DISPLAY="$display" xmessage -title zd-wm-probe -geometry +0+0 probe >/dev/null 2>&1 &
  probe_pid=$!
  for _ in $(seq 1 100); do probe_framed && framed=yes && break; sleep 0.05; done
  kill "$probe_pid" 2>/dev/null || true
  wait "$probe_pid" 2>/dev/null || true
  [[ -n "$framed" ]] && break
  echo "openbox did not frame a window (attempt $attempt)" >&2
done
[[ -n "$framed" ]] || { echo "openbox on $display frames no window" >&2; exit 1; }
DISPLAY="$display" "$@"
