#!/usr/bin/env bash
# Runs a test where no traffic can leave the machine: in a network namespace
# with only loopback, a PID namespace of its own and a private D-Bus session
# bus, as a desktop has.
# X is reached through its file socket. Exit 77 (skipped) without root.
set -euo pipefail
if [[ ${ZD_ISOLATED:-} != 1 ]]; then
  if ! unshare -n -p -f --mount-proc true 2>/dev/null; then
    echo "SKIP: a loopback-only network namespace needs root; CI runs this test"
    exit 77
  fi
  exec unshare -n -p -f --mount-proc env ZD_ISOLATED=1 "$0" "$@"
fi
ip link set lo up
# This shell stays the namespace's first process: it, not dbus-run-session,
# then adopts and quietly reaps the browsers the test leaves detached.
# The bus daemon's own messages are no part of the test's output.
quiet_daemon=$(mktemp)
trap 'rm -f "$quiet_daemon"' EXIT
printf '#!/bin/sh\nexec dbus-daemon "$@" 2>/dev/null\n' >"$quiet_daemon"
chmod +x "$quiet_daemon"
dbus-run-session --dbus-daemon="$quiet_daemon" -- "$@"
