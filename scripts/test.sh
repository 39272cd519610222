#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: once in a normal
# build, once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test
jobs=$(nproc)

run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  scripts/with-x11.sh ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 600
}

echo "== formatting =="
unformatted=$(git ls-files -co --exclude-standard '*.cpp' '*.h' | xargs clang-format --dry-run 2>&1 | grep -c warning: || true)
if ((unformatted)); then
  git ls-files -co --exclude-standard '*.cpp' '*.h' | xargs clang-format --dry-run 2>&1 | head -40
  echo "Source files not formatted as .clang-format says (clang-format -i fixes them)." >&2
  exit 1
fi

echo "== tests =="
run_suite build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZD_WERROR=ON

echo "== clang-tidy =="
run-clang-tidy -quiet -p build-test -j "$jobs" -extra-arg=-Wno-unknown-warning-option "$PWD/src/.*\.cpp\$" > build-test/clang-tidy.log 2>&1 || {
  grep -E "warning:|error:" build-test/clang-tidy.log | sort -u >&2
  echo "clang-tidy found the above." >&2
  exit 1
}
echo "== tests under ASan + UBSan =="
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DZD_SANITIZE=ON -DZD_BUILD_BENCH=OFF -DZD_WERROR=ON

echo "== Windows build: the same suites under Wine =="
ZD_WERROR=ON scripts/build-windows.sh --tests -- -DZD_LINUX_ITEMDUMP="$PWD/build-test/tests/itemdump"
run_windows_suites() {
  export WINEPREFIX=$PWD/build-windows/wineprefix-test
  scripts/wine-prefix.sh "$WINEPREFIX"
  # A small full disk, drive T: of the prefix (mounting needs root).
  local full=$PWD/build-windows/full-disk
  mkdir -p "$full"
  if mount -t tmpfs -o size=64k tmpfs "$full" 2>/dev/null; then
    trap 'umount "$full" 2>/dev/null || true' RETURN
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
