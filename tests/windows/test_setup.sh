#!/usr/bin/env bash
# The setup program in a fresh Wine prefix that has no other DLLs: a silent
# install, the installed program started (every DLL it loads is one the
# setup installed, and every one installed is loaded), a silent uninstall
# that leaves no file behind.
#   tests/windows/test_setup.sh SETUP.exe VERSION     (under scripts/with-x11.sh)
set -euo pipefail
setup=$1
version=$2
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
unset WINEPATH QT_PLUGIN_PATH
program_pid=""
cleanup() {
  [[ -n $program_pid ]] && kill "$program_pid" 2>/dev/null
  wineserver -k 2>/dev/null || true # this prefix's own server
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

wineboot -i >/dev/null 2>&1
# Shown, its title is whole: ours, with nothing after it.
wine "$setup" >/dev/null 2>&1 &
setup_pid=$!
titled=""
for _ in $(seq 1 300); do
  titled=$(xdotool search --name '^Zentavia Desk' getwindowname %@ 2>/dev/null | head -1) || true
  [[ $titled == "Zentavia Desk $version Setup" ]] && break
  sleep 0.1
done
kill "$setup_pid" 2>/dev/null || true
wineserver -k 2>/dev/null || true
[[ $titled == "Zentavia Desk $version Setup" ]] || fail "the setup's title is '$titled'"
wine "$setup" /S
wineserver -w
user_dir=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Local | grep -v /Public/ | head -1)
installed="$user_dir/Programs/Zentavia Desk"
[[ -f $installed/zentavia-desk.exe ]] || fail "nothing installed in $installed"
shortcut=$(find "$WINEPREFIX/drive_c/users" -name 'Zentavia Desk.lnk' | head -1)
[[ -n $shortcut ]] || fail "no Start-menu shortcut"
wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZentaviaDesk' /v DisplayVersion |
  grep -q "$version" || fail "not listed under the installed programs"
# Its size as listed, in KiB: within a tenth of what was installed.
listed_kib=$(wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZentaviaDesk' /v EstimatedSize |
             tr -d '\r' | awk '/EstimatedSize/ {print $3}')
listed_kib=$((${listed_kib:-0}))
installed_kib=$(du -sk "$installed" | cut -f1)
((listed_kib > 0 && listed_kib * 10 >= installed_kib * 9 && listed_kib * 10 <= installed_kib * 11)) ||
  fail "EstimatedSize is '${listed_kib:-none}' KiB for $installed_kib KiB installed"

printed=$(wine "$installed/zentavia-desk.exe" --version | tr -d '\r')
[[ $printed == *"$version"* ]] || fail "--version printed '$printed'"

# Started for real: the DLLs and plugins it loads, as Wine's loader logs them.
WINEDEBUG=+loaddll wine "$installed/zentavia-desk.exe" 2>"$work/loaded.log" &
program_pid=$!
for _ in $(seq 1 300); do
  xdotool search --name '^Zentavia Desk$' >/dev/null 2>&1 && break
  sleep 0.1
done
xdotool search --name '^Zentavia Desk$' >/dev/null 2>&1 || fail "the installed program showed no window"
kill "$program_pid"
wait "$program_pid" 2>/dev/null || true
program_pid=""
# Wine's log doubles each backslash of a path.
loaded=$(grep -o 'Loaded L"[^"]*"' "$work/loaded.log" | sed 's/^Loaded L"//; s/"$//; s|\\\\|/|g' |
         tr 'A-Z' 'a-z' | sort -u)
install_windows_path=$(echo "$installed" | sed "s|^$WINEPREFIX/drive_c|c:|" | tr 'A-Z' 'a-z')
missing=0
while IFS= read -r file; do
  relative=${file#"$installed/"}
  [[ $relative == *.dll ]] || continue
  case $relative in
    imageformats/*) continue ;; # loaded only for the custom pointer
  esac
  grep -qxF "$install_windows_path/$(echo "$relative" | tr 'A-Z' 'a-z')" <<<"$loaded" ||
    { echo "installed but never loaded: $relative" >&2; missing=1; }
done < <(find "$installed" -type f)
((missing == 0)) || fail "the setup installs files the program does not load"
# Every non-system DLL it loaded came from the installed folder.
strays=$(grep -v "^$install_windows_path/\|^c:/windows/" <<<"$loaded" || true)
[[ -z $strays ]] || fail "loaded from elsewhere: $strays"

# The browsers' working folder, as a run leaves it.
mkdir -p "$user_dir/Zentavia Desk/Empty"
wine "$installed/uninstall.exe" /S
wineserver -w
for _ in $(seq 1 50); do [[ -e $installed ]] || break; sleep 0.2; done
[[ ! -e $installed ]] || fail "left behind: $(find "$installed")"
[[ ! -e $shortcut ]] || fail "the shortcut was left behind"
[[ ! -e "$user_dir/Zentavia Desk" ]] || fail "the browsers' working folder was left behind"
if wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZentaviaDesk' >/dev/null 2>&1; then
  fail "still listed under the installed programs"
fi
echo "setup: installed, started, uninstalled cleanly"
