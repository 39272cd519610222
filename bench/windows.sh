#!/usr/bin/env bash
# The Windows build under Wine beside the Linux build, in the same run, on
# the same inputs: loading a list of 1 M lines, and the links of a 100 MB page
# and of a dense 240 MB one (3.7 M links) downloaded from 127.0.0.1; then the
# transfer alone, and under Wine against plain blocking winsock calls
# (recvfloor.exe) for the same page. Runs alternate, Linux then Windows, five of each;
# each figure is the operation's own time as zd_bench measures it (Wine's
# start-up left out), and every run's item count is checked.
# Both draw the list's real view on the same X server (Xvfb with openbox).
#   bench/windows.sh [RUNS]     (after scripts/build-windows.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ -z ${ZD_BENCH_ON_X:-} ]]; then
  ZD_BENCH_ON_X=1 exec scripts/with-x11.sh "$0" "$@"
fi
runs=${1:-5}
linux_build=build-bench
cmake -S . -B "$linux_build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZD_BUILD_TESTS=OFF >/dev/null
cmake --build "$linux_build" --target zd_bench >/dev/null
cmake --build build-windows --target zd_bench recvfloor >/dev/null
# Qt6_DIR is <Qt>/lib/cmake/Qt6.
qt_bin=$(dirname "$(dirname "$(dirname "$(sed -n 's/^Qt6_DIR:PATH=//p' build-windows/CMakeCache.txt)")")")
gcc_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
pthread_dir=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)")

data=$(mktemp -d)
# Qt on Linux wants one, and says so on every run without it.
mkdir -m 700 "$data/runtime"
export WINEPREFIX=$data/prefix WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
export WINEPATH="Z:$qt_bin/bin;Z:$gcc_dir;Z:$pthread_dir"
server_pid=""
cleanup() {
  [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null
  wineserver -k 2>/dev/null || true # this prefix's own
  rm -rf "$data"
}
trap cleanup EXIT
python3 bench/generate.py "$data" --medium
scripts/wine-prefix.sh "$WINEPREFIX"
python3 -m http.server --bind 127.0.0.1 --directory "$data" 0 >"$data/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 1 100); do grep -q "port" "$data/server.log" && break; sleep 0.1; done
port=$(sed -n 's/.*port \([0-9]*\).*/\1/p' "$data/server.log" | head -1)
page_links=$(python3 -c "import json; print(json.load(open('$data/counts.json'))['page-100mb.html'])")

# One run: "seconds cpu-seconds peak-MB" of the RESULT line, its count checked.
one() {
  local platform=$1 what=$2 input=$3 expected=$4 line
  if [[ $platform == linux ]]; then
    line=$(QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$data/runtime "$linux_build/bench/zd_bench" "$what" "$input" | grep '^RESULT')
  else
    line=$(wine build-windows/bench/zd_bench.exe "$what" "$input" </dev/null | tr -d '\r' |
           grep '^RESULT')
  fi
  [[ $line == *" $expected items"* ]] || { echo "wrong result on $platform: $line" >&2; exit 1; }
  awk '{print $3, $4, $5}' <<<"$line"
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# The machine's CPU ticks, "stolen total": stolen is what the host of a
# virtual machine took from it, and the slow runs here come with it.
ticks() { awk '/^cpu /{print $9, $2+$3+$4+$5+$6+$7+$8+$9}' /proc/stat; }
stolen() { # the share stolen since "$1"
  local now; now=$(ticks)
  awk -v a="$1" -v b="$now" 'BEGIN {split(a, x, " "); split(b, y, " "); printf "%.1f %%", 100 * (y[1] - x[1]) / (y[2] - x[2] + 1)}'
}

row() {
  local label=$1 what=$2 linux_input=$3 windows_input=$4 expected=$5
  : >"$data/l" && : >"$data/w"
  local since; since=$(ticks)
  for _ in $(seq 1 "$runs"); do
    one linux "$what" "$linux_input" "$expected" >>"$data/l"
    one windows "$what" "$windows_input" "$expected" >>"$data/w"
  done
  local lw lc lm ww wc wm
  lw=$(cut -d' ' -f1 "$data/l" | median); lc=$(cut -d' ' -f2 "$data/l" | median); lm=$(cut -d' ' -f3 "$data/l" | median)
  ww=$(cut -d' ' -f1 "$data/w" | median); wc=$(cut -d' ' -f2 "$data/w" | median); wm=$(cut -d' ' -f3 "$data/w" | median)
  printf '%-34s Linux %7.3f s (cpu %6.3f, %5s MB)   Windows under Wine %7.3f s (cpu %6.3f, %5s MB)   %.2fx   stolen %s\n' \
    "$label" "$lw" "$lc" "$lm" "$ww" "$wc" "$wm" "$(echo "$ww / $lw" | bc -l)" "$(stolen "$since")"
}
echo "medians of $runs runs each, in turn"
row "load 1 M lines" load "$data/sites-1m.txt" "Z:$data/sites-1m.txt" 1000000
row "extract a 100 MB page (HTTP)" extract "http://127.0.0.1:$port/page-100mb.html" \
  "http://127.0.0.1:$port/page-100mb.html" "$page_links"
dense_links=$(python3 -c "import json; print(json.load(open('$data/counts.json'))['page-dense.html'])")
row "extract a dense 240 MB page" extract "http://127.0.0.1:$port/page-dense.html" \
  "http://127.0.0.1:$port/page-dense.html" "$dense_links"
# The same page scanned from the file, no network: what Wine's sockets add.
row "scan the 100 MB page from disk" hrefs "$data/page-100mb.html" "Z:$data/page-100mb.html" "$page_links"
row "the transfer alone (HTTP)" download "http://127.0.0.1:$port/page-100mb.html" \
  "http://127.0.0.1:$port/page-100mb.html" "$(stat -c %s "$data/page-100mb.html")"

# Under Wine: the program's transfer against plain winsock calls, in turn.
: >"$data/d" && : >"$data/f"
since=$(ticks)
for _ in $(seq 1 "$runs"); do
  one windows download "http://127.0.0.1:$port/page-100mb.html" "$(stat -c %s "$data/page-100mb.html")" >>"$data/d"
  line=$(wine build-windows/bench/recvfloor.exe "$port" /page-100mb.html </dev/null | tr -d '\r' | grep '^RESULT')
  (( $(awk '{print $7}' <<<"$line") > $(stat -c %s "$data/page-100mb.html") )) ||
    { echo "wrong result of recvfloor: $line" >&2; exit 1; }
  awk '{print $3}' <<<"$line" >>"$data/f"
done
dw=$(cut -d' ' -f1 "$data/d" | median); fw=$(median <"$data/f")
printf '%-34s program %7.3f s   plain winsock recv in 1 MB reads %7.3f s   %.2fx   stolen %s\n' \
  "the transfer under Wine" "$dw" "$fw" "$(echo "$dw / $fw" | bc -l)" "$(stolen "$since")"
