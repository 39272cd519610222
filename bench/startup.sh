#!/usr/bin/env bash
# Start-up of the program against a bare Qt window of the same size: from
# exec to the window on screen, a poller at 2 ms, RUNS runs of each (20 by
# default) in turn, under Xvfb with openbox; medians with min and max.
#   bench/startup.sh [BUILD_DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}; runs=${2:-20}
if [[ -z ${ZD_STARTUP_INNER:-} ]]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZD_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" --target zd_startup zd_barewindow zentavia-desk >/dev/null
  exec env ZD_STARTUP_INNER=1 QT_QPA_PLATFORM=xcb scripts/with-x11.sh "$0" "$@"
fi
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
export XDG_CONFIG_HOME=$config
program=() bare=() caption=()
for _ in $(seq 1 "$runs"); do
  program+=("$("$build/bench/zd_startup" "$build/zentavia-desk" 2>/dev/null | awk '{print $2}')")
  bare+=("$("$build/bench/zd_startup" "$build/bench/zd_barewindow" 2>/dev/null | awk '{print $2}')")
  caption+=("$("$build/bench/zd_startup" "$build/bench/zd_barewindow" --caption 2>/dev/null | awk '{print $2}')")
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {printf "%.1f ms (min %.1f, max %.1f)", a[int((NR+1)/2)], a[1], a[NR]}'; }
[[ ${#program[@]} -eq $runs && ${#bare[@]} -eq $runs ]] || { echo "a run did not show its window"; exit 1; }
p=$(printf '%s\n' "${program[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
b=$(printf '%s\n' "${bare[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
c=$(printf '%s\n' "${caption[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
echo "fonts: $(fc-list | wc -l) faces (Qt's font database reads them all before any text is measured)"
echo "zentavia-desk     $(median "${program[@]}")"
echo "bare Qt window    $(median "${bare[@]}")"
echo "  with a caption measured before it shows  $(median "${caption[@]}")"
ratio=$(echo "$p / $b" | bc -l)
printf '%s start-up within 1.5x of a bare Qt window: %.2fx\n' "$( (( $(echo "$ratio <= 1.5" | bc) )) && echo met || echo MISSED)" "$ratio"
printf '     (against the bare window with its caption measured: %.2fx)\n' "$(echo "$p / $c" | bc -l)"
