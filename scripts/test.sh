#!/usr/bin/env bash
# Set up, build and run the whole test suite, headless: the Windows cross-compile check, a
# bounded fuzzing run, then the tests once as a normal build and once under AddressSanitizer
# and UndefinedBehaviorSanitizer. Under CI, warnings are errors.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
qd7310_require_packages "${QD7310_PACKAGES[@]}" "${QD7310_TEST_PACKAGES[@]}"

export QT_QPA_PLATFORM=offscreen
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
jobs=$(nproc)

run_suite() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DQD7310_WERROR=$werror "$@"
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

# The Windows cross-compile and the bounded fuzzing run come first, so the test summaries
# close the output.
for extra in scripts/check-windows.sh scripts/fuzz.sh; do
    if [ -x "$extra" ]; then
        echo "=== $extra ==="
        "$extra"
    fi
done

echo "=== normal build ==="
run_suite build-test -DCMAKE_BUILD_TYPE=Debug

echo "=== sanitizer build ==="
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DQD7310_SANITIZE=ON

