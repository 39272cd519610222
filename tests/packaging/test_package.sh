#!/usr/bin/env bash
# Installs into a scratch folder, validates the desktop files, builds the
# Debian package and starts the program from the unpacked package.
#   test_package.sh BUILD_DIR   (needs DISPLAY with a window manager)
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "-- cmake --install"
DESTDIR="$scratch/install" cmake --install "$build" --prefix /usr >/dev/null
root="$scratch/install/usr"
[[ -x $root/bin/zentavia-desk ]] || fail "no executable installed"
desktop-file-validate "$root/share/applications/zentavia-desk.desktop"
appstreamcli validate --no-net "$root/share/metainfo/com.quillmoor.ZentaviaDesk.metainfo.xml"
[[ -f $root/share/icons/hicolor/scalable/apps/zentavia-desk.svg ]] || fail "no scalable icon"
for size in 16 22 24 32 48 64 128 256; do
  png="$root/share/icons/hicolor/${size}x${size}/apps/zentavia-desk.png"
  file "$png" | grep -q "PNG image data, $size x $size" || fail "icon $size missing or wrong size"
done

echo "-- cpack"
(cd "$build" && cpack -G DEB -B "$scratch/pkg" >/dev/null)
deb=$(ls "$scratch"/pkg/zentavia-desk_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libqt6widgets6 libcurl4 libproxy1v5 libqt6dbus6 libxcb-ewmh2 libwayland-client0 libc6 fonts-liberation2 qt6-wayland; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib"
done
recommends=$(dpkg-deb -f "$deb" Recommends)
for plugin in libproxy1-plugin-gsettings libproxy1-plugin-kconfig; do
  grep -q "$plugin" <<<"$recommends" || fail "Recommends lacks $plugin"
done
contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/zentavia-desk ./usr/share/applications/zentavia-desk.desktop \
            ./usr/share/metainfo/com.quillmoor.ZentaviaDesk.metainfo.xml \
            ./usr/share/icons/hicolor/48x48/apps/zentavia-desk.png; do
  grep -q " $path\$" <<<"$contents" || fail "package lacks $path"
done
if [[ $(id -u) -eq 0 ]]; then
  apt-get install -s -qq "$deb" >/dev/null || fail "apt-get cannot install the package"
fi

echo "-- lintian"
# Debian's own checker, as a packager runs it: no error, no warning.
findings=$(lintian --allow-root "$deb" 2>&1 | grep -E '^[EW]: ' || true)
[[ -z $findings ]] || fail "lintian: $findings"

echo "-- the manual page and --help"
# Every option --help lists is in the manual page, so the two cannot drift apart.
zcat "$root/share/man/man1/zentavia-desk.1.gz" >"$scratch/page.1"
man --warnings -l "$scratch/page.1" >/dev/null 2>"$scratch/man.log" || true
[[ ! -s $scratch/man.log ]] || fail "the manual page: $(cat "$scratch/man.log")"
for option in $("$root/bin/zentavia-desk" --help | grep -oE -- '(^|[ ,])--?[a-z][a-z-]*' | tr -d ' ,'); do
  grep -qF -- "$(sed 's/-/\\-/g' <<<"$option")" "$scratch/page.1" || fail "the manual page lacks $option"
done

echo "-- start the packaged program"
dpkg-deb -x "$deb" "$scratch/root"
export XDG_CONFIG_HOME="$scratch/config"
"$scratch/root/usr/bin/zentavia-desk" &
pid=$!
for _ in $(seq 1 100); do
  xwininfo -name "Zentavia Desk" >/dev/null 2>&1 && break
  sleep 0.1
done
xwininfo -name "Zentavia Desk" | grep -q "Width: 536" || fail "window did not appear"
# A close request sent while the window manager is still taking the window
# in can be lost: ask again until the program has ended, for 10 s at most.
for _ in $(seq 1 50); do
  kill -0 "$pid" 2>/dev/null || break
  wmctrl -c "Zentavia Desk" 2>/dev/null || true
  sleep 0.2
done
if kill -0 "$pid" 2>/dev/null; then
  kill "$pid"
  fail "closing the window did not end the program"
fi
wait "$pid" || fail "program exited with an error"
grep -q "Option1=True" "$XDG_CONFIG_HOME/Quillmoor.ini" || fail "settings not written"
echo "1 passed, 0 failed"
