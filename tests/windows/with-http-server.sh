#!/usr/bin/env bash
# Runs a command with the test web server on 127.0.0.1, its port in
# ZD_TEST_HTTP_PORT, and beside it one serving HTTPS with a self-signed
# certificate for other.invalid, its port in ZD_TEST_HTTPS_PORT: a Windows
# program under Wine cannot start them itself.
#   with-http-server.sh COMMAND...
set -euo pipefail
coproc SERVER { exec python3 "$(dirname "$0")/../support/httpserver.py"; }
server_pid=$SERVER_PID
to_server=${SERVER[1]}
from_server=${SERVER[0]}
# The server ends when its standard input closes.
trap 'exec {to_server}>&-; wait "$server_pid" 2>/dev/null || true' EXIT
read -r -t 20 port <&"$from_server" || { echo "the test server did not start" >&2; exit 1; }

keys=$(mktemp -d)
openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=other.invalid -addext subjectAltName=DNS:other.invalid -days 1 \
  -keyout "$keys/key.pem" -out "$keys/cert.pem" 2>/dev/null
# Bash keeps one coprocess: this server reads its standard input from a pipe.
mkfifo "$keys/in"
python3 "$(dirname "$0")/../support/httpserver.py" --tls "$keys/cert.pem" "$keys/key.pem" \
  <"$keys/in" >"$keys/port" &
tls_pid=$!
exec {to_tls}>"$keys/in"
trap 'exec {to_server}>&- {to_tls}>&-; wait "$server_pid" "$tls_pid" 2>/dev/null || true; rm -rf "$keys"' EXIT
for ((i = 0; i < 200; i++)); do [[ -s $keys/port ]] && break; sleep 0.1; done
tls_port=$(head -1 "$keys/port")
[[ -n $tls_port ]] || { echo "the HTTPS test server did not start" >&2; exit 1; }

status=0
ZD_TEST_HTTP_PORT=$port ZD_TEST_HTTPS_PORT=$tls_port "$@" {to_server}>&- {from_server}<&- {to_tls}>&- || status=$?
exit $status
