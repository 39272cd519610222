#!/usr/bin/env bash
# Runs a command on a private headless Wayland desktop: with-wayland.sh
# sway|mutter|kwin|weston|kwin-xwayland COMMAND... Without X: DISPLAY is
# unset, so the browsers the command starts run as Wayland programs; except
# on kwin-xwayland, where the command runs inside KWin's session with its
# Xwayland server as DISPLAY.
# Exit 77 (skipped) when the desktop is not installed or does not come up.
set -euo pipefail
desktop=$1; shift
runtime=$(mktemp -d)   # the command's own, for the browsers' sockets
desktop_runtime=$(mktemp -d)
chmod 700 "$runtime" "$desktop_runtime"
log=$(mktemp)
desktop_pid=""
cleanup() {
  [[ -n "$desktop_pid" ]] && kill "$desktop_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$runtime" "$desktop_runtime" "$log"
}
trap cleanup EXIT
skip() { echo "SKIP: $desktop: $*"; [[ -s "$log" ]] && tail -5 "$log"; exit 77; }

headless=(env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$desktop_runtime")
case $desktop in
  sway)
    command -v sway >/dev/null || skip "not installed"
    # sway refuses to run as root: it runs as nobody, in a folder of its own.
    chown 65534:65534 "$desktop_runtime"
    config="$desktop_runtime/config"
    printf 'output HEADLESS-1 resolution 1280x1024\n' >"$config"
    chown 65534:65534 "$config"
    "${headless[@]}" HOME="$desktop_runtime" WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
      setpriv --reuid=65534 --regid=65534 --clear-groups sway -c "$config" >"$log" 2>&1 &
    ;;
  mutter)
    command -v mutter >/dev/null || skip "not installed"
    "${headless[@]}" mutter --headless --wayland --no-x11 --virtual-monitor 1280x1024 >"$log" 2>&1 &
    ;;
  kwin)
    command -v kwin_wayland >/dev/null || skip "not installed"
    # A copy: the installed binary carries a file capability this sandbox
    # cannot grant, and would not start.
    cp "$(command -v kwin_wayland)" "$desktop_runtime/kwin_wayland"
    "${headless[@]}" "$desktop_runtime/kwin_wayland" --virtual --no-lockscreen --width 1280 --height 1024 \
      --socket wayland-zd >"$log" 2>&1 &
    ;;
  kwin-xwayland)
    command -v kwin_wayland >/dev/null || skip "not installed"
    command -v Xwayland >/dev/null || skip "Xwayland not installed"
    cp "$(command -v kwin_wayland)" "$desktop_runtime/kwin_wayland"
    # KWin gives the programs of its session DISPLAY; the command's status
    # comes back through a file.
    status="$desktop_runtime/status"
    printf '%q ' env XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$desktop_runtime/wayland-zd" \
      XDG_SESSION_TYPE=wayland ZD_WAYLAND_DESKTOP="$desktop" "$@" >"$desktop_runtime/session.sh"
    printf '>%q 2>&1\necho $? > %q\n' "$desktop_runtime/output" "$status" >>"$desktop_runtime/session.sh"
    "${headless[@]}" "$desktop_runtime/kwin_wayland" --xwayland --virtual --no-lockscreen --width 1280 \
      --height 1024 --socket wayland-zd --exit-with-session "bash $desktop_runtime/session.sh" >"$log" 2>&1 || true
    [[ -s "$status" ]] || skip "its session did not run"
    cat "$desktop_runtime/output"
    exit "$(cat "$status")"
    ;;
  weston)
    command -v weston >/dev/null || skip "not installed"
    "${headless[@]}" weston --backend=headless-backend.so --width=1280 --height=1024 --socket=wayland-zd >"$log" 2>&1 &
    ;;
  *) echo "unknown desktop: $desktop" >&2; exit 2 ;;
esac
desktop_pid=$!
# Until CHECK... holds, for 15 s at most while the desktop runs; else skip with WHY.
wait_for() {
  local why=$1; shift
  for _ in $(seq 1 150); do
    "$@" && return 0
    kill -0 "$desktop_pid" 2>/dev/null || skip "it ended at start-up"
    sleep 0.1
  done
  "$@" || skip "$why after 15 s"
}
socket=""
has_socket() {
  socket=$(find "$desktop_runtime" -maxdepth 1 -type s -name 'wayland-*' -print -quit)
  [[ -n "$socket" ]]
}
wait_for "no Wayland socket" has_socket
# The socket comes before the screen: a busy machine's sway still loads its
# fonts then, and Firefox, started on a desktop with no screen, crashes.
has_screen() {
  local globals
  globals=$(XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$socket" wayland-info 2>/dev/null || true)
  [[ $globals == *"interface: 'wl_output'"* ]]
}
wait_for "no screen" has_screen
# A path, not a name: the command keeps its own runtime folder.
env -u DISPLAY XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$socket" XDG_SESSION_TYPE=wayland \
  ZD_WAYLAND_DESKTOP="$desktop" "$@"
