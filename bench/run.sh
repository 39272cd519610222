#!/usr/bin/env bash
# Generates the inputs and runs every benchmark beside the floor (wc -l) and
# ripgrep on the same files, in the same run.
#   bench/run.sh [BUILD_DIR]   (default build-bench, Release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
command -v rg >/dev/null && command -v bc >/dev/null || apt-get install -y -qq ripgrep bc
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZD_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target zd_bench >/dev/null
data=$(mktemp -d)
trap 'rm -rf "$data"; kill $server 2>/dev/null || true' EXIT
python3 bench/generate.py "$data"
ls -l "$data"
bench="$build/bench/zd_bench"
t() { local s=$(date +%s.%N); "$@" >/dev/null; printf '%-45s %6.3f s\n' "$*" "$(echo "$(date +%s.%N) - $s" | bc)"; }

echo "== site list =="
t wc -l "$data/sites.txt"
"$bench" load "$data/sites.txt"
"$bench" save "$data/sites.txt" "$data/saved.txt"
"$bench" clipboard "$data/sites.txt"
echo "== list helpers: paste, remove duplicates, remove blank lines =="
"$bench" helpers "$data/sites.txt"
echo "== page scans =="
t rg -o -i 'href="[^"]*"' "$data/page.html"
"$bench" hrefs "$data/page.html"
"$bench" hrefs-count "$data/page.html"
t rg -o -i 'https?://[^ \r\n]*' "$data/page.html"
"$bench" text "$data/page.html"
"$bench" text-count "$data/page.html"
echo "== extraction from 127.0.0.1 =="
python3 -m http.server --bind 127.0.0.1 8765 --directory "$data" >/dev/null 2>&1 &
server=$!
sleep 1
"$bench" extract "http://127.0.0.1:8765/page.html"
echo "== waiting for a browser window (30 s bound) =="
"$bench" wait
