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
cleanup() { kill "$wm_pid" "$xvfb_pid" 2>/dev/null || true; wait 2>/dev/null || true; }
for _ in $(seq 1 100); do [[ -e /tmp/.X11-unix/X${display#:} ]] && break; sleep 0.05; done
DISPLAY="$display" openbox >/dev/null 2>&1 &
wm_pid=$!
trap cleanup EXIT
# The window manager owns the screen once it sets _NET_SUPPORTING_WM_CHECK.
for _ in $(seq 1 100); do
  DISPLAY="$display" xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  sleep 0.05
done
DISPLAY="$display" "$@"
