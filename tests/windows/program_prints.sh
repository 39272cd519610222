#!/usr/bin/env bash
# The Windows program's --help and --version under Wine: they print on the
# console it was started from and end, as on Linux.
#   program_prints.sh zentavia-desk.exe VERSION
set -euo pipefail
source "$(dirname "$0")/../../scripts/wine-env.sh"
program=$1 version=$2
version_text=$(wine "$program" --version </dev/null | tr -d '\r')
[[ $version_text == *"$version"* ]] || { echo "--version printed: $version_text" >&2; exit 1; }
help_text=$(wine "$program" --help </dev/null | tr -d '\r')
[[ $help_text == *"--start"* ]] || { echo "--help printed: $help_text" >&2; exit 1; }
# "/?" asks for the same, as of any Windows program.
windows_help=$(wine "$program" '/?' </dev/null | tr -d '\r')
[[ $windows_help == "$help_text" ]] || { echo "/? printed: $windows_help" >&2; exit 1; }
status=0
wine "$program" --no-such-option </dev/null >/dev/null 2>&1 || status=$?
((status != 0)) || { echo "an unknown option ended with status 0" >&2; exit 1; }
echo "--version: $version_text"
