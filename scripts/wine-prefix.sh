#!/usr/bin/env bash
# Makes a fresh Wine prefix for the Windows build's tests and benchmarks:
#   scripts/wine-prefix.sh PREFIX
# No install prompts (Mono, Gecko); Windows 10, which the program is for
# (Wine's prefix says Windows 7 otherwise); Arial, which Wine lacks, drawn
# with its metric twin Liberation Sans, as Windows would draw it with Arial.
set -euo pipefail
export WINEPREFIX=$1 WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine' /v Version /d win10 /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /d 'Liberation Sans' /f >/dev/null 2>&1
wineserver -w
