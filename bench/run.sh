#!/usr/bin/env bash
# Generates the inputs (about 1.7 GB) and runs every benchmark beside wc -l
# and ripgrep on the same files, in the same run; prints medians, a scaling
# table and the targets.
#   bench/run.sh [BUILD_DIR] [--small]   (default build-bench, Release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
shift || true
command -v rg >/dev/null || apt-get install -y -qq ripgrep
command -v busybox >/dev/null || apt-get install -y -qq busybox
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZD_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target zd_bench >/dev/null
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
python3 bench/generate.py "$data" "$@"
bench="$build/bench/zd_bench"
# Under Xvfb with openbox: the X11 figures (the list, the clipboard pasted
# by xclip) beside the offscreen ones.
command -v xclip >/dev/null || apt-get install -y -qq xclip
scripts/with-x11.sh python3 bench/run.py "$bench" "$data" "$@"
echo "== list helpers: paste, remove duplicates, remove blank lines (1 M lines; 10 M above) =="
[[ " $* " == *" --small "* ]] || "$bench" helpers "$data/sites-1m.txt" | grep -v '^RESULT'
echo "== start-up: exec to the window on screen =="
bench/startup.sh "$build" 20
echo "== waiting for a browser window (30 s bound) =="
"$bench" wait | grep -v '^RESULT'
