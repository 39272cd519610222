#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs; --test adds what the tests
# need, --windows what the Windows cross-build needs (MinGW-w64, Wine, NSIS).
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config qt6-base-dev libgl-dev libxcb1-dev libxcb-ewmh-dev
          libxcb-icccm4-dev zlib1g-dev fonts-liberation2 qt6-qpa-plugins libfontconfig-dev
          libwayland-dev qt6-wayland libcurl4-openssl-dev libproxy1v5)
for arg in "$@"; do
  if [[ $arg == --windows ]]; then
    packages+=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
               mingw-w64-x86-64-dev libz-mingw-w64-dev wine wine64 qt6-base-dev-tools dpkg-dev xz-utils nsis)
  fi
done
if [[ "${1:-}" == "--test" ]]; then
  packages+=(xvfb xauth openbox x11-utils wmctrl xdotool python3 openssl clang libclang-rt-14-dev
             desktop-file-utils appstream dpkg-dev file clang-format clang-tidy git
             firefox-esr chromium xdg-utils dbus iproute2 procps liblz4-dev
             qt6-gtk-platformtheme at-spi2-core python3-pyatspi xclip
             sway mutter kwin-wayland weston wayland-utils ccache lintian man-db
             libproxy1-plugin-gsettings libproxy1-plugin-kconfig libproxy1-plugin-webkit libkf5config-bin)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
