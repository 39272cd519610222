#!/usr/bin/env bash
# Runs the Linux and the Windows itemdump over the same folders and compares
# what they wrote byte for byte.
#   same_items.sh LINUX_ITEMDUMP WINDOWS_ITEMDUMP.exe FOLDER...
set -euo pipefail
source "$(dirname "$0")/../../scripts/wine-env.sh"
linux=$1 windows=$2
shift 2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$linux" "$out/linux.txt" "$@"
folders=()
for folder in "$@"; do folders+=("Z:$folder"); done
wine "$windows" "Z:$out/windows.txt" "${folders[@]}" </dev/null
cmp "$out/linux.txt" "$out/windows.txt"
echo "same items: $(grep -c '^== ' "$out/linux.txt") results, $(wc -c <"$out/linux.txt") bytes"
