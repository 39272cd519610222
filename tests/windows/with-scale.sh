#!/usr/bin/env bash
# Runs a command with the display scale chosen in the test prefix, as
# Settings > Display > Scale chooses it (150: 144 dots an inch), and 100 %
# again after.
#   with-scale.sh PERCENT COMMAND...
set -uo pipefail
percent=$1; shift
key='HKCU\Control Panel\Desktop'
wine reg add "$key" /v LogPixels /t REG_DWORD /d $((96 * percent / 100)) /f >/dev/null 2>&1
"$@"
status=$?
wine reg delete "$key" /v LogPixels /f >/dev/null 2>&1
exit $status
