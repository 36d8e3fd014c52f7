#!/usr/bin/env bash
# Cross-builds Qt 6.4.2 (qtbase) for 64-bit Windows from Debian's own qt6-base source, with the
# posix-thread mingw-w64 compilers and Debian's Qt 6.4.2 host tools, and installs it into a cache
# outside the tree. Only what the tool needs: Core, Gui, Widgets, Test, the windows and offscreen
# platform plugins and the Windows styles. The cache is keyed by a hash of this recipe, so it is
# rebuilt only when the recipe changes. Prints the install prefix on its last line.
#
#   scripts/windows/build-qt.sh           build if the cache is missing or stale
#   scripts/windows/build-qt.sh --prefix  print where the cached Qt is (or would be) and exit
#   scripts/windows/build-qt.sh --check   exit 0 when the cached Qt is there, 1 otherwise
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
qt_version=6.4.2
toolchain=$here/mingw-w64.cmake
recipe=$(cat "$0" "$toolchain" | sha256sum | cut -c1-12)
cache=${QD7310_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/qd7310}
prefix=$cache/qt-$qt_version-mingw64-$recipe

case ${1:-} in
    --prefix) echo "$prefix"; exit 0 ;;
    --check) [ -f "$prefix/.complete" ]; exit ;;
esac
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

source "$here/../setup.sh"
qd7310_require_packages cmake ninja-build dpkg-dev g++-mingw-w64-x86-64-posix \
    qt6-base-dev qt6-base-dev-tools
host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
case $host_version in
    "$qt_version"*) ;;
    *) echo "build-qt.sh: the host tools are Qt $host_version, the target must match: $qt_version" >&2
       exit 1 ;;
esac

# apt-get source needs a deb-src entry for bookworm main beside the deb one.
src_list=/etc/apt/sources.list.d/qd7310-bookworm-src.sources
if ! apt-get source --print-uris qt6-base >/dev/null 2>&1; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "build-qt.sh: needs a deb-src entry for bookworm main; as root this script adds $src_list" >&2
        exit 1
    fi
    cat > "$src_list" <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    apt-get update -q
fi

work=$cache/qt-build-$recipe
rm -rf "$work"
mkdir -p "$work"
cd "$work"
apt-get source -q qt6-base >apt-source.log 2>&1 || { cat apt-source.log >&2; exit 1; }
src=$(find "$work" -maxdepth 1 -type d -name "qt6-base-$qt_version*" | head -n1)
[ -n "$src" ] || { echo "build-qt.sh: no qt6-base-$qt_version source after apt-get source" >&2; exit 1; }

# The toolchain is copied into the install prefix first, so the Qt it builds does not point
# into a work tree that may move. The prefix counts only once .complete is written.
rm -rf "$prefix"
mkdir -p "$prefix"
cp "$toolchain" "$prefix/mingw-w64.cmake"

# Debian's source drops the third-party wintab.h, so tablet events are off. Without OpenGL the
# windows platform plugin only compiles once its dynamic OpenGL loading is off too.
cmake -S "$src" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_QMAKE_TARGET_MKSPEC=win32-g++ \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF \
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
    -DFEATURE_dynamicgl=OFF -DFEATURE_vulkan=OFF -DFEATURE_tabletevent=OFF \
    >"$work/configure.log" 2>&1 || { tail -n 60 "$work/configure.log" >&2; exit 1; }
cmake --build "$work/build" --parallel "$(nproc)" >"$work/build.log" 2>&1 \
    || { grep -m 10 -A 4 -E '(^FAILED:| error: )' "$work/build.log" >&2 || tail -n 60 "$work/build.log" >&2
         echo "build-qt.sh: the whole log is $work/build.log" >&2; exit 1; }
cmake --install "$work/build" >"$work/install.log" 2>&1 || { tail -n 40 "$work/install.log" >&2; exit 1; }

date -u +%FT%TZ > "$prefix/.complete"
rm -rf "$work"
echo "$prefix"
