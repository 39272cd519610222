#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: once in a normal
# build, once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
phase() { printf '== %s (at %d:%02d) ==\n' "$1" $(((SECONDS - start) / 60)) $(((SECONDS - start) % 60)); }
scripts/install-deps.sh --test --windows
jobs=$(nproc)
# Compiled objects and clean clang-tidy results are kept beside the Windows
# Qt, so that a later run rebuilds and rechecks only what changed; the
# checkout's own path is left out of what they are keyed on.
# ZD_CACHE names another folder (a run as on a fresh machine).
cache=${ZD_CACHE:-/var/cache/zentavia-desk}
mkdir -p "$cache" 2>/dev/null || cache=$PWD/.cache
export ZD_WINDOWS_CACHE=$cache
export CCACHE_DIR=$cache/ccache CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1 CCACHE_MAXSIZE=4G
launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# Qt and libcurl for Windows take most of an hour of CPU when not cached:
# built from the start, niced, they use what the Linux suites leave idle
# while they wait on browsers and desktops.
mkdir -p build-windows
windows_deps_log=$PWD/build-windows/deps.log
setsid nice -n 10 scripts/build-windows.sh --deps-only >"$windows_deps_log" 2>&1 &
windows_deps=$!  # its own process group, ended with this script
trap 'kill -- "-$windows_deps" 2>/dev/null || true' EXIT

run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  scripts/with-x11.sh ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 600
}

phase formatting
unformatted=$(git ls-files -co --exclude-standard '*.cpp' '*.h' | xargs clang-format --dry-run 2>&1 | grep -c warning: || true)
if ((unformatted)); then
  git ls-files -co --exclude-standard '*.cpp' '*.h' | xargs clang-format --dry-run 2>&1 | head -40
  echo "Source files not formatted as .clang-format says (clang-format -i fixes them)." >&2
  exit 1
fi

phase tests
run_suite build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZD_WERROR=ON

phase clang-tidy
scripts/clang-tidy-cached.py build-test "^$PWD/src/.*\.cpp\$" "$cache/clang-tidy" build-test/clang-tidy.log || {
  grep -E "warning:|error:" build-test/clang-tidy.log | sort -u >&2
  echo "clang-tidy found the above." >&2
  exit 1
}
phase "tests under ASan + UBSan"
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DZD_SANITIZE=ON -DZD_BUILD_BENCH=OFF -DZD_WERROR=ON

phase "Windows build: waiting for Qt and libcurl"
if ! wait "$windows_deps"; then
  tail -40 "$windows_deps_log" >&2
  echo "Qt or libcurl for Windows did not build (all of it in $windows_deps_log)." >&2
  exit 1
fi
trap - EXIT
grep '^== ' "$windows_deps_log" || true
phase "Windows build: the program"
ZD_WERROR=ON scripts/build-windows.sh --tests -- -DZD_LINUX_ITEMDUMP="$PWD/build-test/tests/itemdump" "${launcher[@]}"
phase "Windows build: the same suites under Wine"
run_windows_suites() {
  export WINEPREFIX=$PWD/build-windows/wineprefix-test
  scripts/wine-prefix.sh "$WINEPREFIX"
  # A small full disk, drive T: of the prefix (mounting needs root),
  # unmounted however the script ends, a failed suite too.
  full=$PWD/build-windows/full-disk
  mkdir -p "$full"
  if mount -t tmpfs -o size=64k tmpfs "$full" 2>/dev/null; then
    trap 'umount "$full" 2>/dev/null || true' EXIT
    printf 'precious\r\n' >"$full/list.txt"
    dd if=/dev/zero of="$full/filler" bs=4k 2>/dev/null || true
    ln -sfn "$full" "$WINEPREFIX/dosdevices/t:"
    export ZD_FULL_DRIVE=T:
  else
    echo "(no small disk could be mounted: the full-disk row is left out)"
  fi
  scripts/with-x11.sh ctest --test-dir build-windows --output-on-failure -j "$jobs" --timeout 600
}
run_windows_suites
phase done
