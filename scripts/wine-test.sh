#!/usr/bin/env bash
# Runs a test program of the Windows build under Wine:
#   scripts/wine-test.sh PROGRAM.exe [ARGUMENTS...]
# Qt Test writes its report where Wine shows nothing (OutputDebugString), so
# a tst_ program writes it to a file, printed here; the exit status is the
# program's (for Qt Test, the number of failures).
set -uo pipefail
program=$1; shift
: "${WINEPREFIX:?WINEPREFIX names the test prefix}"
source "$(dirname "$0")/wine-env.sh"
if [[ $(basename "$program") == tst_* ]]; then
  report=$(mktemp --suffix=.txt)
  trap 'rm -f "$report"' EXIT
  wine "$program" "$@" -o "Z:$report,txt" </dev/null
  status=$?
  cat "$report"
  exit $status
fi
exec wine "$program" "$@" </dev/null
