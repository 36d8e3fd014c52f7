#!/usr/bin/env bash
# The Windows build and its tests, from Linux: cross-builds the tool and its packages
# (build-windows/), unsigned and signed with a throwaway certificate, checks the signatures and
# the zip's DLLs, runs the test suites under Wine, and starts the installed program under Wine
# against the Linux build's trace.
# A few lines per stage; a failing stage prints its log's tail and ends the run with status 1.
# Without the cached cross-built Qt it says so in one line and does nothing.
set -uo pipefail
cd "$(dirname "$0")/../.."
if ! scripts/windows/build-qt.sh --check; then
    echo "Windows build and tests skipped: the cached cross-built Qt is not there" \
         "(build it once with scripts/windows/build-qt.sh, about 35 minutes)"
    exit 0
fi
source scripts/setup.sh
qd7310_require_packages "${QD7310_PACKAGES[@]}" "${QD7310_WINDOWS_PACKAGES[@]}"

logs=build-windows/logs
mkdir -p "$logs"
started=$SECONDS

# stage NAME COMMAND...: runs COMMAND with its output in $logs/NAME.log.
stage() {
    local name=$1 begin=$SECONDS
    shift
    if "$@" >"$logs/$name.log" 2>&1; then
        echo "  $name: ok ($((SECONDS - begin)) s)"
    else
        echo "  $name: FAILED ($((SECONDS - begin)) s), the end of $logs/$name.log:"
        tail -n 40 "$logs/$name.log" | sed 's/^/    /'
        exit 1
    fi
}

check_zip_dlls() {
    local dir
    dir=$(mktemp -d "${TMPDIR:-/tmp}/qd7310-zip.XXXXXX")
    unzip -q build-windows/qd7310-eval-*-win64.zip -d "$dir" &&
        cmake -DQD7310_DLL_DIR="$(echo "$dir"/*)" -P packaging/windows/checkdlls.cmake
    local status=$?
    rm -rf "$dir"
    return $status
}

# A throwaway self-signed code-signing certificate, for this run only, stands in for the release's.
signing=$(mktemp -d "${TMPDIR:-/tmp}/qd7310-signing.XXXXXX") password=$(openssl rand -hex 16)
trap 'rm -rf "$signing"' EXIT
throwaway_certificate() {
    openssl req -x509 -newkey rsa:3072 -days 2 -noenc -subj "/CN=QD7310 throwaway signing" \
        -addext extendedKeyUsage=codeSigning -keyout "$signing/key.pem" -out "$signing/cert.pem" &&
        QD7310_SIGN_PASSWORD=$password openssl pkcs12 -export -inkey "$signing/key.pem" \
            -in "$signing/cert.pem" -out "$signing/sign.p12" -passout env:QD7310_SIGN_PASSWORD
}
signed() { QD7310_SIGN_PKCS12=$signing/sign.p12 QD7310_SIGN_PASSWORD=$password "$@"; }
# signatures FILE...: each FILE is signed with SHA-256 by that certificate.
signatures() {
    local file out
    for file in "$@"; do
        out=$(osslsigncode verify -CAfile "$signing/cert.pem" -in "$file" 2>&1) &&
            [[ $out == *"Message digest algorithm  : SHA256"* ]] || { echo "$out"; return 1; }
    done
}

# The Python client rides along in python\qd7310\, where the README sends a Windows Python:
# every source file of it with its configured version, and nothing else; and its wheel beside.
check_zip_python() {
    diff <(cd python && { ls qd7310/*.py qd7310/py.typed; echo qd7310/_version.py; } | sort) \
        <(unzip -Z1 build-windows/qd7310-eval-*-win64.zip | sed -n 's|^[^/]*/python/\(qd7310/[^/]\+\)$|\1|p' | sort) &&
        echo "python/qd7310: $(ls python/qd7310/*.py python/qd7310/py.typed | wc -l) files, as in the source" &&
        unzip -Z1 build-windows/qd7310-eval-*-win64.zip | grep -x '[^/]*/python/qd7310-[0-9.]*-py3-none-any\.whl'
}

# With its tests, for the program that emulates the board under the Linux window.
linux_reference() {
    cmake -S . -B build-windows-linuxref -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQD7310_BUILD_BENCH=OFF &&
        cmake --build build-windows-linuxref -j "$(nproc)" &&
        cmake --install build-windows-linuxref --prefix build-windows-linuxref/install
}

echo "=== Windows build and tests ==="
stage build scripts/build-windows.sh
stage certificate throwaway_certificate
stage signed-build signed scripts/build-windows.sh
for package in build-windows/*-win64.zip build-windows/*-win64-setup.exe; do
    echo "    $(basename "$package"): $(du -k "$package" | cut -f1) KiB"
done
stage signatures eval 'unzip -q -d "$signing" build-windows/*-win64.zip "*.exe" &&
    signatures "$signing"/*/*.exe build-windows/*-win64-setup.exe'
stage password-kept eval '! grep -rlF -- "$password" build-windows'
stage dll-check check_zip_dlls
grep -o 'DLL check: .*' "$logs/dll-check.log" | sed 's/^/    /'
stage python-package check_zip_python
stage wine-tests ctest --test-dir build-windows -j "$(nproc)" --output-on-failure
grep -E 'tests passed|tests failed' "$logs/wine-tests.log" | sed 's/^/    /'
sed -nE 's/^[[:space:]]+[0-9]+ - (.*) \(Disabled\)$/    not run under Wine: \1/p' "$logs/wine-tests.log"
stage linux-reference linux_reference
stage smoke scripts/windows/smoke-wine.sh build-windows/qd7310-eval-*-win64-setup.exe \
    build-windows/qd7310-eval-*-win64.zip build-windows-linuxref/install/bin/qd7310-eval \
    build-windows/smoke build-windows/tests/qd7310-wineboard.exe \
    build-windows-linuxref/tests/qd7310-usbboard
grep -E '^(silent|traces agree|current sweep|qd7310-boardcheck)' "$logs/smoke.log" | sed 's/^/    /'
stage uninstaller-signature signatures build-windows/smoke/Uninstall.exe
echo "Windows build and tests passed in $((SECONDS - started)) s"
