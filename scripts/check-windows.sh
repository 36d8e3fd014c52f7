#!/bin/sh
# Cross-compiles the board link with its Windows platform layer and links the console check
# program, so the Windows backend cannot rot on a Linux CI. Needs x86_64-w64-mingw32-g++.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-"$root/build-windows-check"}
cxx=${CXX_MINGW:-x86_64-w64-mingw32-g++}

mkdir -p "$out/generated"
cmake -DOUTPUT_DIR="$out/generated" -P "$root/board/writeidentity.cmake"

"$cxx" -std=c++17 -Wall -Wextra -Wpedantic -Wshadow -Werror -O2 \
    -I"$root/board" -I"$out/generated" \
    "$root/board/usbhid2.cpp" "$root/board/usbhid2_commands.cpp" "$root/board/boardtrace.cpp" \
    "$root/board/platform/hidplatform_windows.cpp" \
    "$root/board/tools/boarddebug_stderr.cpp" "$root/board/tools/boardcheck_main.cpp" \
    -static -o "$out/qd7310-boardcheck.exe" -lhid -lsetupapi
echo "built $out/qd7310-boardcheck.exe"
