#!/usr/bin/env bash
# The screen check's live scale row, run inside with-wayland.sh sway: the
# check asks sway, over its own socket, for scale 2 while the window is up.
set -euo pipefail
sock=$(find "$(dirname "$WAYLAND_DISPLAY")" -maxdepth 1 -name 'sway-ipc.*' -print -quit)
[[ -n "$sock" ]] || { echo "SKIP: no sway socket"; exit 77; }
ZD_SCALE_COMMAND="swaymsg -s '$sock' output HEADLESS-1 scale 2" exec "$1" followsALiveScaleChange
