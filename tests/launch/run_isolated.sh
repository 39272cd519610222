#!/usr/bin/env bash
# Runs a test where no traffic can leave the machine: in a network namespace
# with only loopback, a PID namespace of its own (so that ending browsers
# ends only the test's) and a private D-Bus session bus, as a desktop has.
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
exec dbus-run-session -- "$@"
