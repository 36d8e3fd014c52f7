#!/bin/sh
# Builds the board link's libFuzzer target with clang under ASan and UBSan in its own build
# directory and runs it for a bounded time (default 60 s). Prints libFuzzer's final statistics;
# on a finding, the crash report, and exits non-zero.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${FUZZ_BUILD_DIR:-"$root/build-fuzz"}

command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ not found" >&2; exit 2; }
mkdir -p "$build"
if ! { cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo && cmake --build "$build" --target fuzz_board; } \
        >"$build/build.log" 2>&1; then
    cat "$build/build.log" >&2
    exit 1
fi

corpus="$build/corpus"
mkdir -p "$corpus"
cd "$build"
log="$build/fuzz.log"
status=0
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ./fuzz_board -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    "$corpus" >"$log" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
    # The crash report without libFuzzer's progress lines; the full log stays beside it.
    grep -Ev '^#[0-9]+[[:space:]]|^INFO: ' "$log" >&2 || true
    echo "fuzz.sh: fuzz_board failed with exit code $status; full log: $log" >&2
    exit "$status"
fi
grep '^stat::' "$log"
