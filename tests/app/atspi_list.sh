#!/usr/bin/env bash
# Runs the program with a short list on a session bus of its own with the
# accessibility bus up, and reads its window as a screen reader would.
# Usage: atspi_list.sh PROGRAM (under an X server)
set -euo pipefail
if [[ ${ZD_OWN_BUS:-} != 1 ]]; then
  exec env ZD_OWN_BUS=1 dbus-run-session -- "$0" "$@"
fi
program=$1
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
pids+=($!)
items=(http://one.example/ http://two.example/ http://three.example/)
printf '%s\r\n' "${items[@]}" >"$work/list.txt"
XDG_CONFIG_HOME="$work" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb "$program" "$work/list.txt" \
  >/dev/null 2>&1 &
pids+=($!)
/usr/bin/python3 "$(dirname "$0")/atspi_list.py" "${pids[-1]}" "${items[@]}"
