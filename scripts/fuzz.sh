#!/bin/sh
# Builds the libFuzzer targets with clang under ASan and UBSan in their own build directory and
# runs each for a bounded time (default 30 s each; FUZZ_TARGETS picks some of them). Prints each
# target's final statistics; on a finding, the crash report, and exits non-zero.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
build=${FUZZ_BUILD_DIR:-"$root/build-fuzz"}
targets=${FUZZ_TARGETS:-"fuzz_board fuzz_setupfile"}

command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ not found" >&2; exit 2; }
mkdir -p "$build"
# shellcheck disable=SC2086 # the list of targets splits at its blanks
if ! { cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo && cmake --build "$build" --target $targets; } \
        >"$build/build.log" 2>&1; then
    cat "$build/build.log" >&2
    exit 1
fi

cd "$build"
for target in $targets; do
    corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    # Seeds from the source tree start a target past the shallow refusals.
    if [ -d "$root/fuzz/seeds/$target" ]; then
        cp "$root/fuzz/seeds/$target"/* "$corpus"/
    fi
    log="$build/$target.log"
    status=0
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "./$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "$corpus" >"$log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
        # The crash report without libFuzzer's progress lines; the full log stays beside it.
        grep -Ev '^#[0-9]+[[:space:]]|^INFO: ' "$log" >&2 || true
        echo "fuzz.sh: $target failed with exit code $status; full log: $log" >&2
        exit "$status"
    fi
    echo "$target:"
    grep '^stat::' "$log"
done
