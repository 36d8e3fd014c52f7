#!/usr/bin/env bash
# Set up, build and run the whole test suite, headless: the Windows cross-compile check, a
# bounded fuzzing run, the Debian package checked by a real install, the Windows build with its
# tests under Wine (when the cross-built Qt is cached), then the tests once as a normal build and
# once under AddressSanitizer and UndefinedBehaviorSanitizer. Under CI, warnings are errors.
# Each stage prints a header and its outcome; build logs are shown only when something fails.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
qd7310_require_packages "${QD7310_PACKAGES[@]}" "${QD7310_TEST_PACKAGES[@]}"

export QT_QPA_PLATFORM=offscreen
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
jobs=$(nproc)
logs=build-logs
mkdir -p "$logs"

# quietly LOG COMMAND...: the command's output goes to LOG, and is shown only if it fails.
quietly() {
    local log=$1
    shift
    if ! "$@" >"$log" 2>&1; then
        echo "FAILED: $*  (the end of $log:)"
        tail -n 60 "$log"
        return 1
    fi
}

run_suite() {
    local dir=$1
    shift
    quietly "$logs/$dir-configure.log" cmake -S . -B "$dir" -G Ninja -DQD7310_WERROR=$werror "$@"
    quietly "$logs/$dir-build.log" cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

# The extra stages come first, so the test summaries close the output.
echo "=== Windows cross-compile check of the board link ==="
quietly "$logs/check-windows.log" scripts/check-windows.sh && echo "ok"

echo "=== fuzzing the board link, the setup reader and the session ==="
scripts/fuzz.sh

echo "=== Debian package ==="
quietly "$logs/package-deb.log" scripts/package-deb.sh && echo "built $(ls build-deb/*.deb)"
scripts/check-deb.sh

# It prints its own header, or one line saying why it skipped.
scripts/windows/test-windows.sh

echo "=== normal build ==="
run_suite build-test -DCMAKE_BUILD_TYPE=Debug

echo "=== sanitizer build ==="
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DQD7310_SANITIZE=ON
