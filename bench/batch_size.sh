#!/usr/bin/env bash
# How long a running browser takes N addresses given in one start, the
# measurement behind the run's batch size: for N of 1 to 200, the time the
# started program needs to hand them over and end (what Stop waits for) and
# until the server has seen all N (the tabs that still open after a Stop).
# Real firefox-esr and chromium in a loopback-only network namespace.
#   bench/batch_size.sh [RUNS]    (needs root)
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ ${ZD_ISOLATED:-} != 1 ]]; then
  exec scripts/with-x11.sh tests/launch/run_isolated.sh "$0" "$@"
fi
runs=${1:-3}
work=$(mktemp -d)
lead=
trap '[[ -n $lead ]] && kill -KILL -- "-$lead" 2>/dev/null; rm -rf "$work"' EXIT
python3 tests/support/httpserver.py --log "$work/visits" > "$work/port" 2>/dev/null < <(sleep 100000) &
for _ in $(seq 1 50); do [[ -s "$work/port" ]] && break; sleep 0.1; done
base="http://127.0.0.1:$(head -1 "$work/port")"
export HOME=$work/home MOZ_LEGACY_PROFILES=1
mkdir -p "$HOME/.mozilla/firefox/test"
printf '[Profile0]\nName=test\nIsRelative=1\nPath=test\nDefault=1\n[General]\nStartWithLastProfile=1\n' \
  > "$HOME/.mozilla/firefox/profiles.ini"
printf 'user_pref("%s", %s);\n' browser.shell.checkDefaultBrowser false browser.aboutwelcome.enabled false \
  browser.startup.homepage_override.mstone '"ignore"' > "$HOME/.mozilla/firefox/test/user.js"
now() { date +%s.%N; }
for program in firefox-esr chromium; do
  flags=()
  [[ $program == chromium ]] && flags=(--no-sandbox --no-first-run --password-store=basic "--user-data-dir=$HOME/chromium")
  : > "$work/visits"
  setsid "$program" "${flags[@]}" "$base/visit/warm-up" > /dev/null 2>&1 &
  lead=$!
  for _ in $(seq 1 300); do [[ -s "$work/visits" ]] && break; sleep 0.1; done
  sleep 2
  k=0
  for n in 1 10 25 50 100 200; do
    for _ in $(seq 1 "$runs"); do
      urls=()
      for _ in $(seq 1 "$n"); do k=$((k + 1)); urls+=("$base/visit/$k"); done
      : > "$work/visits"
      t0=$(now)
      "$program" "${flags[@]}" "${urls[@]}" > /dev/null 2>&1
      t1=$(now)
      for _ in $(seq 1 1500); do (($(wc -l < "$work/visits") >= n)) && break; sleep 0.02; done
      t2=$(now)
      printf '%-12s N=%3d  hand-over %.3f s  all visited %.3f s\n' "$program" "$n" \
        "$(echo "$t1 - $t0" | bc)" "$(echo "$t2 - $t0" | bc)"
      sleep 1
    done
  done
  kill -TERM -- "-$lead" 2>/dev/null || true
  sleep 3
  kill -KILL -- "-$lead" 2>/dev/null || true
  lead=
done
