#!/usr/bin/env bash
# Builds the Windows program on Debian 12: installs the MinGW-w64 compilers and
# Wine, cross-builds Qt's qtbase and libcurl from Debian's own source (cached
# outside the clone), then the program into build-windows/ and, with NSIS, its setup program.
#
#   scripts/build-windows.sh [--tests] [--deps-only] [-- CMAKE_OPTION...]
#
# --tests also builds the test suites (run them with ctest, through Wine);
# --deps-only builds only Qt and libcurl (the test command starts it early);
# options after -- go to the program's CMake configuration.
# ZD_WINDOWS_CACHE overrides the cache folder (default /var/cache/zentavia-desk).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

with_tests=OFF
deps_only=0
while (($#)); do
  case $1 in
    --tests) with_tests=ON ;;
    --deps-only) deps_only=1 ;;
    --) shift; break ;;
    *) echo "usage: $0 [--tests] [--deps-only] [-- CMAKE_OPTION...]" >&2; exit 2 ;;
  esac
  shift
done

sudo_cmd=()
[[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)

qt_version=6.4.2
triple=x86_64-w64-mingw32
cache_root=${ZD_WINDOWS_CACHE:-/var/cache/zentavia-desk}
jobs=$(nproc)

# --- what the build needs ---------------------------------------------------
scripts/install-deps.sh --windows

# --- Qt for Windows, cached -------------------------------------------------
# Only the modules the program uses. Left out, each for a reason:
#  - tabletevent: needs wintab.h, which neither Debian nor MinGW ship;
#  - directwrite3: Qt 6.4.2's platform plugin then links only with direct2d on,
#    and its default font engine is GDI anyway (DirectWrite is opt-in);
#  - direct2d, opengl, vulkan: the widgets draw with the raster engine;
#  - network, xml, dbus, sql, printsupport, concurrent, icu, openssl: not used
#    on Windows (pages come through libcurl, TLS by schannel);
#  - pdf, the ODF and Markdown readers and writers: no document is written or
#    read as rich text;
#  - system fontconfig/freetype: Windows draws with GDI.
qt_options=(-release -xplatform win32-g++ -qt-host-path /usr -nomake examples -nomake tests
            -no-opengl -no-dbus -no-feature-network -no-feature-xml -no-feature-pdf
            -no-feature-textodfwriter -no-feature-textmarkdownreader -no-feature-textmarkdownwriter
            -no-feature-sql -no-feature-printsupport -no-feature-concurrent
            -no-feature-vulkan -no-feature-direct2d -no-feature-directwrite3
            -no-feature-tabletevent -no-icu -no-openssl -schannel -no-zstd -no-pkg-config
            -no-freetype -no-fontconfig -qt-zlib -qt-pcre -qt-harfbuzz -qt-libpng -no-libjpeg
            -no-gif)
# Named after the options and the compilers (not the rest of the toolchain
# file, which only the program's build uses).
options_id=$( (echo "$qt_version" "${qt_options[@]}"; grep -E '^set\(CMAKE_(SYSTEM|[A-Z]+_COMPILER)' cmake/mingw-w64.cmake) \
               | sha256sum | cut -c1-10)
qt_prefix=$cache_root/qt-$qt_version-$triple-$options_id
marker=$qt_prefix/.zd-build-complete

# Debian's source packages: deb-src entries beside the binary ones, once.
need_source() {
  local src_list=/etc/apt/sources.list.d/zentavia-desk-src.sources
  if ! apt-cache showsrc "$1" 2>/dev/null | grep -q "^Version: $2"; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      | "${sudo_cmd[@]}" tee "$src_list" >/dev/null
    "${sudo_cmd[@]}" apt-get update -qq
  fi
}

build_qt() {
  echo "== building Qt $qt_version for $triple into $qt_prefix =="
  "${sudo_cmd[@]}" mkdir -p "$cache_root"
  # A build cut short after its configuration goes on where it stopped (the
  # folder is named after the options); anything earlier starts over.
  if [[ ! -f $qt_prefix.src/build/.zd-configured ]]; then
    rm -rf "$qt_prefix" "$qt_prefix.src"
    mkdir -p "$qt_prefix.src"
    need_source qt6-base "$qt_version"
    (cd "$qt_prefix.src" && apt-get source -qq qt6-base >/dev/null 2>&1)
    local src
    src=$(find "$qt_prefix.src" -maxdepth 1 -type d -name "qt6-base-$qt_version*" | head -1)
    [[ -n $src ]] || { echo "Debian's qt6-base $qt_version source was not found." >&2; exit 1; }
    mkdir -p "$qt_prefix.src/build"
    (cd "$qt_prefix.src/build" &&
      "$src/configure" -prefix "$qt_prefix" "${qt_options[@]}" -- -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >configure.log 2>&1 ||
        { tail -40 configure.log >&2; exit 1; })
    touch "$qt_prefix.src/build/.zd-configured"
  fi
  cmake --build "$qt_prefix.src/build" --parallel "$jobs"
  cmake --install "$qt_prefix.src/build" >/dev/null
  rm -rf "$qt_prefix.src"
  printf '%s\n' "$qt_version" "${qt_options[@]}" >"$marker"
}

if [[ -f $marker ]]; then
  echo "== Qt $qt_version for $triple: cached in $qt_prefix =="
else
  build_qt
fi

# --- libcurl for Windows, cached ------------------------------------------------
# From Debian's own source (its security fixes applied), static, HTTP and
# HTTPS only, TLS by schannel; nothing it could load at run time. NTLM and
# Negotiate by SSPI: a company proxy may ask for the user's Windows sign-in.
curl_options=(-DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF
              -DHTTP_ONLY=ON -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF
              -DCURL_ZSTD=OFF -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBPSL=OFF
              -DUSE_NGHTTP2=OFF -DCURL_DISABLE_COOKIES=ON -DCURL_DISABLE_NETRC=ON -DCURL_DISABLE_ALTSVC=ON
              -DCURL_DISABLE_HSTS=ON -DCURL_DISABLE_MIME=ON -DCURL_DISABLE_DOH=ON -DCURL_WINDOWS_SSPI=ON)
curl_version=$(apt-cache policy libcurl4 | sed -n 's/^  Candidate: \([0-9.]*\).*/\1/p')
curl_id=$( (echo "$curl_version" "${curl_options[@]}"; grep -E '^set\(CMAKE_(SYSTEM|[A-Z]+_COMPILER)' cmake/mingw-w64.cmake) \
            | sha256sum | cut -c1-10)
curl_prefix=$cache_root/curl-$curl_version-$triple-$curl_id

build_curl() {
  echo "== building libcurl $curl_version for $triple into $curl_prefix =="
  rm -rf "$curl_prefix" "$curl_prefix.src"
  mkdir -p "$curl_prefix.src"
  need_source curl "$curl_version"
  (cd "$curl_prefix.src" && apt-get source -qq curl >/dev/null 2>&1)
  local src
  src=$(find "$curl_prefix.src" -mindepth 1 -maxdepth 1 -type d -name "curl-$curl_version*" | head -1)
  [[ -n $src ]] || { echo "Debian's curl $curl_version source was not found." >&2; exit 1; }
  cmake -S "$src" -B "$curl_prefix.src/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_INSTALL_PREFIX="$curl_prefix" \
    "${curl_options[@]}" >"$curl_prefix.src/configure.log" 2>&1 ||
    { tail -40 "$curl_prefix.src/configure.log" >&2; exit 1; }
  cmake --build "$curl_prefix.src/build" --parallel "$jobs" >/dev/null
  cmake --install "$curl_prefix.src/build" >/dev/null
  rm -rf "$curl_prefix.src"
  printf '%s\n' "$curl_version" "${curl_options[@]}" >"$curl_prefix/.zd-build-complete"
}

if [[ -f $curl_prefix/.zd-build-complete ]]; then
  echo "== libcurl $curl_version for $triple: cached in $curl_prefix =="
else
  build_curl
fi
[[ $deps_only == 1 ]] && exit 0

# --- the program ---------------------------------------------------------------
echo "== building the Windows program into build-windows/ =="
cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_PREFIX_PATH="$qt_prefix;$curl_prefix" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DZD_PLATFORM=windows -DZD_BUILD_TESTS="$with_tests" -DZD_BUILD_BENCH="$with_tests" \
  -DZD_WERROR="${ZD_WERROR:-OFF}" "$@" >/dev/null
cmake --build build-windows --parallel "$jobs"

# What the program needs at run time, beside it as an installed copy has it.
rm -rf build-windows/deploy
cmake --install build-windows --prefix build-windows/deploy >/dev/null
# Debug information stays in the build; a user's copy does without it.
find build-windows/deploy -type f \( -name '*.dll' -o -name '*.exe' \) -exec $triple-strip --strip-unneeded {} +
echo "Run-time files: $(find build-windows/deploy -type f | wc -l), $(du -sh build-windows/deploy | cut -f1)"

# --- the setup program -----------------------------------------------------------
# The uninstaller removes exactly these files, then the folders they leave empty.
(cd build-windows/deploy &&
  find . -type f | sed 's|^\./||; s|/|\\|g; s|.*|  Delete "$INSTDIR\\&"|' &&
  find . -mindepth 1 -type d | sort -r | sed 's|^\./||; s|/|\\|g; s|.*|  RMDir "$INSTDIR\\&"|') \
  >build-windows/deploy-files.nsh
version=$(sed -n 's/^project(ZentaviaDesk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
makensis -V2 -DVERSION="$version" -DSIZE_KB="$(du -sk build-windows/deploy | cut -f1)" -DDEPLOY="$root/build-windows/deploy" \
  -DICON="$root/build-windows/zentavia-desk.ico" \
  -DOUTFILE="$root/build-windows/zentavia-desk-$version-setup.exe" packaging/windows/setup.nsi
echo "Setup program: build-windows/zentavia-desk-$version-setup.exe"
