#!/bin/sh
# Builds the board link's libFuzzer target with clang under ASan and UBSan in its own build
# directory and runs it for a bounded time (default 60 s). Exits non-zero on any finding.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${FUZZ_BUILD_DIR:-"$root/build-fuzz"}

command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ not found" >&2; exit 2; }
cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target fuzz_board

corpus="$build/corpus"
mkdir -p "$corpus"
cd "$build"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ./fuzz_board -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "$corpus"
