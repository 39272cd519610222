#!/usr/bin/env bash
# The launch run with the real browsers, cold start, N addresses each (50 by
# default), inside a loopback-only network namespace: addresses delivered in
# order, seconds per address and the program's CPU while it waits; each
# figure the median of RUNS runs (3 by default) with min and max. On X11
# (Xvfb + openbox), then with the browsers as Wayland programs on each
# headless Wayland desktop of ZD_BENCH_DESKTOPS (default: sway kwin mutter
# weston), each beside the X11 figure of the same browser. First, on X11,
# the run at delay 0 beside one command that gives the browser all N
# addresses (`chromium URL1 ... URLN`), cold and warm.
#   bench/real_browsers.sh [BUILD_DIR] [N] [RUNS]    (needs root)
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ ${ZD_ISOLATED:-} != 1 ]]; then
  build=${1:-build-bench}
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZD_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" --target zd_bench >/dev/null
  exec scripts/with-x11.sh tests/launch/run_isolated.sh "$0" "$@"
fi
build=${1:-build-bench}; n=${2:-50}; runs=${3:-3}
bench="$PWD/$build/bench/zd_bench"
work=$(mktemp -d)
# The browsers the benchmark started, by the pids it names: each leads a
# process group of its own (the browser and its helpers).
end_started() {
  local pids
  pids=$(awk '/^STARTED/ {print $2}' "$work/started" 2>/dev/null || true)
  for pid in $pids; do kill -TERM -- "-$pid" "$pid" 2>/dev/null || true; done
  for _ in $(seq 1 50); do
    local alive=0
    for pid in $pids; do kill -0 -- "-$pid" 2>/dev/null && alive=1; done
    ((alive)) || break
    sleep 0.1
  done
  for pid in $pids; do kill -KILL -- "-$pid" "$pid" 2>/dev/null || true; done
  : > "$work/started"
}
trap 'end_started; rm -rf "$work"' EXIT
python3 tests/support/httpserver.py --log "$work/visits" > "$work/port" 2>/dev/null < <(sleep 100000) &
for _ in $(seq 1 50); do [[ -s "$work/port" ]] && break; sleep 0.1; done
base="http://127.0.0.1:$(head -1 "$work/port")"

fresh_home() {
  export HOME="$work/home$1" XDG_CONFIG_HOME="$work/home$1/.config" XDG_DATA_HOME="$work/home$1/.local/share"
  mkdir -p "$HOME/.mozilla/firefox/test" "$HOME/bin" "$XDG_DATA_HOME/applications" "$XDG_CONFIG_HOME"
  printf '[Profile0]\nName=test\nIsRelative=1\nPath=test\nDefault=1\n[General]\nStartWithLastProfile=1\n' \
    > "$HOME/.mozilla/firefox/profiles.ini"
  printf 'user_pref("%s", %s);\n' browser.shell.checkDefaultBrowser false \
    browser.startup.homepage_override.mstone '"ignore"' browser.aboutwelcome.enabled false \
    datareporting.policy.dataSubmissionEnabled false toolkit.telemetry.reportingpolicy.firstRun false \
    app.update.enabled false > "$HOME/.mozilla/firefox/test/user.js"
  printf '#!/bin/sh\nexec /usr/bin/chromium --no-sandbox --no-first-run --password-store=basic --user-data-dir="%s/chromium" "$@"\n' \
    "$HOME" > "$HOME/bin/chromium"
  chmod +x "$HOME/bin/chromium"
  printf '[Desktop Entry]\nType=Application\nName=Chromium\nExec=%s/bin/chromium %%U\nStartupWMClass=chromium\n' \
    "$HOME" > "$XDG_DATA_HOME/applications/chromium.desktop"
  printf '[Default Applications]\nx-scheme-handler/http=firefox-esr.desktop\n' > "$XDG_CONFIG_HOME/mimeapps.list"
  export PATH="$HOME/bin:$ORIGINAL_PATH"
  # Otherwise firefox-esr makes a profile of its own and ignores this one.
  export MOZ_LEGACY_PROFILES=1
}
ORIGINAL_PATH=$PATH

median() { sort -g | awk '{a[NR]=$1} END {printf "%.3f (min %.3f, max %.3f)", a[int((NR+1)/2)], a[1], a[NR]}'; }
middle() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# Runs COMMAND... in the background; prints the seconds from its start (or
# the run's, below) until the server has seen N visits (120 s at most). Whatever it starts is ended
# by end_started: the benchmark names the browsers it starts, and a browser
# started here leads a session of its own, named as it starts.
until_all_visited() {
  : > "$work/visits"
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >> "$work/started" 2>/dev/null &
  while (($(wc -l < "$work/visits") < n)); do
    sleep 0.02
    (($(echo "$(date +%s.%N) - $t0 > 120" | bc))) && break
  done
  t1=$(date +%s.%N)
  # The program is timed from its Start Opening, as a user's program is
  # already up; a command from its start, which it needs.
  local pressed
  pressed=$(awk '/^RUN_STARTED/ {t = $2} END {print t}' "$work/started")
  [[ -n $pressed ]] && t0=$pressed
  echo "$t1 - $t0" | bc -l
}
# The browser PROGRAM started with ARGS..., leading a session of its own.
one_command() {
  local program=$1; shift
  (echo "STARTED $BASHPID"; exec setsid "$program" "$@" > /dev/null 2>&1)
}
# Each address requested exactly once.
each_once() {
  [[ $(wc -l < "$work/visits") == "$n" && $(sort -u "$work/visits" | wc -l) == "$n" ]]
}

# ZD_BENCH_DELAY0=0 leaves these rows out, =only runs only them.
if [[ ${ZD_BENCH_DELAY0:-1} != 0 ]]; then
  echo "== delay 0: the run beside one command with all $n addresses (s until the server saw all $n) =="
  urls=(); for i in $(seq 1 "$n"); do urls+=("$base/visit/$i"); done
  for choice in 3 2; do
    name=$([[ $choice == 3 ]] && echo Firefox || echo Chrome/chromium)
    program=$([[ $choice == 3 ]] && echo firefox-esr || echo chromium)
    for start in cold warm; do
      ours=(); theirs=(); once=0
      for run in $(seq 1 "$runs"); do
        for who in ours theirs; do
          fresh_home "delay0-$choice-$start-$run-$who"
          if [[ $start == warm ]]; then
            : > "$work/visits"
            one_command "$program" "$base/visit/warm-up" >> "$work/started" & disown
            for _ in $(seq 1 600); do [[ -s "$work/visits" ]] && break; sleep 0.1; done
            sleep 1
          fi
          if [[ $who == ours ]]; then
            ours+=("$(until_all_visited "$bench" browsers "$choice" "$n" "$base" 0)")
            each_once && once=$((once + 1))
          else
            theirs+=("$(until_all_visited one_command "$program" "${urls[@]}")")
          fi
          end_started; sleep 1
        done
      done
      mid=$(printf '%s\n' "${ours[@]}" | middle); yard=$(printf '%s\n' "${theirs[@]}" | middle)
      ratio=$(echo "$mid / $yard" | bc -l)
      verdict=$(awk -v r="$ratio" 'BEGIN {print (r <= 1.5 ? "met" : "MISSED")}')
      printf '%-16s %-4s program %s s; one command %s s; %.2fx (goal 1.5x: %s); each once: %d of %d runs\n' \
        "$name" "$start" "$(printf '%s\n' "${ours[@]}" | median)" "$(printf '%s\n' "${theirs[@]}" | median)" \
        "$ratio" "$verdict" "$once" "$runs"
    done
  done
  [[ ${ZD_BENCH_DELAY0:-1} == only ]] && exit 0
fi
declare -A x11_per
for desktop in x11 ${ZD_BENCH_DESKTOPS:-sway kwin mutter weston}; do
  on_desktop=()
  [[ $desktop != x11 ]] && on_desktop=(scripts/with-wayland.sh "$desktop")
  choices="3 2 1"
  [[ $desktop != x11 ]] && choices="3 2"
  for choice in $choices; do
    name=$([[ $choice == 3 ]] && echo Firefox || ([[ $choice == 2 ]] && echo Chrome/chromium || echo "default (firefox-esr)"))
    per=(); cpu=(); ok=0
    for run in $(seq 1 "$runs"); do
      fresh_home "$desktop-$choice-$run"
      : > "$work/visits"
      # RESULT browsers WALL CPU RSS STALL DETAIL
      status=0
      "${on_desktop[@]}" "$bench" browsers "$choice" "$n" "$base" > "$work/started" || status=$?
      if ((status == 77)); then echo "$desktop: the desktop did not start; skipped"; continue 3; fi
      line=$(grep '^RESULT' "$work/started" | tail -1)
      sleep 2
      got=$(cat "$work/visits" | tr '\n' ' ')
      want=$(seq 1 "$n" | tr '\n' ' ')
      if [[ "$got" == "$want" ]]; then
        ok=$((ok + 1))
      else
        # What the run said, and what the server saw, for the run that was not in order.
        echo "$desktop $name run $run: $(cut -d' ' -f7- <<<"$line"); visits: $got" >&2
      fi
      wall=$(awk '{print $3}' <<<"$line"); c=$(awk '{print $4}' <<<"$line")
      per+=("$(echo "$wall / $n" | bc -l)"); cpu+=("$(echo "100 * $c / $wall" | bc -l)")
      end_started; sleep 1
    done
    mid=$(printf '%s\n' "${per[@]}" | middle)
    versus=""
    if [[ $desktop == x11 ]]; then
      x11_per[$choice]=$mid
    elif [[ -n ${x11_per[$choice]:-} ]]; then
      ratio=$(echo "$mid / ${x11_per[$choice]}" | bc -l)
      verdict=$(awk -v r="$ratio" 'BEGIN {print (r <= 1.10 ? "met" : "MISSED")}')
      versus=$(printf '; %.2fx the X11 figure (goal 1.10x: %s)' "$ratio" "$verdict")
    fi
    printf '%-7s %-24s in order, all %d: %d of %d runs; s/address %s; CPU %% of a core %s%s\n' "$desktop" "$name" "$n" \
      "$ok" "$runs" "$(printf '%s\n' "${per[@]}" | median)" "$(printf '%s\n' "${cpu[@]}" | median)" "$versus"
  done
done
