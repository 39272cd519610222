#!/usr/bin/env bash
# Runs a command with the test web server on 127.0.0.1, its port in
# ZD_TEST_HTTP_PORT: a Windows program under Wine cannot start it itself.
#   with-http-server.sh COMMAND...
set -euo pipefail
coproc SERVER { exec python3 "$(dirname "$0")/../support/httpserver.py"; }
server_pid=$SERVER_PID
to_server=${SERVER[1]}
from_server=${SERVER[0]}
# The server ends when its standard input closes.
trap 'exec {to_server}>&-; wait "$server_pid" 2>/dev/null || true' EXIT
read -r -t 20 port <&"$from_server" || { echo "the test server did not start" >&2; exit 1; }
status=0
ZD_TEST_HTTP_PORT=$port "$@" {to_server}>&- {from_server}<&- || status=$?
exit $status
