#!/usr/bin/env bash
# Runs a command while watching, from the X side, the state Wine gives the
# fake browsers' windows; afterwards a window of each class must have been
# seen in its state: CLASS=STATE... (STATE: an _NET_WM_STATE atom's tail).
#   with-x-states.sh firefox.exe=MAXIMIZED_VERT chrome.exe=HIDDEN -- COMMAND...
set -uo pipefail
wanted=()
while [[ $1 != -- ]]; do wanted+=("$1"); shift; done
shift
seen=$(mktemp)
watch() {
  while :; do
    for window in $(xdotool search --class '\.exe$' 2>/dev/null); do
      class=$(xprop -id "$window" WM_CLASS 2>/dev/null | sed -n 's/.*= "\([^"]*\)".*/\1/p')
      state=$(xprop -id "$window" _NET_WM_STATE 2>/dev/null)
      echo "$class $state" >>"$seen"
    done
    sleep 0.2
  done
}
watch &
watcher=$!
trap 'kill $watcher 2>/dev/null; rm -f "$seen"' EXIT
"$@"
status=$?
kill $watcher 2>/dev/null
for pair in "${wanted[@]}"; do
  class=${pair%%=*} state=${pair#*=}
  if ! grep -i "^$class .*_NET_WM_STATE_$state" "$seen" >/dev/null; then
    echo "FAIL: no $class window was seen $state from the X side" >&2
    sort -u "$seen" | grep -i "^$class" | head -5 >&2
    status=1
  fi
done
exit $status
