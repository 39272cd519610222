#!/usr/bin/env bash
# Runs a command with Windows' dark app mode chosen in the test prefix, as
# Settings > Personalization > Colors chooses it, and light again after.
#   with-dark-mode.sh COMMAND...
set -uo pipefail
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize'
wine reg add "$key" /v AppsUseLightTheme /t REG_DWORD /d 0 /f >/dev/null 2>&1
"$@"
status=$?
wine reg delete "$key" /v AppsUseLightTheme /f >/dev/null 2>&1
exit $status
