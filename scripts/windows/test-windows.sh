#!/usr/bin/env bash
# The Windows build and its tests, from Linux: cross-builds the tool and its packages
# (build-windows/), unsigned and then signed with a throwaway certificate, checks every
# signature, the zip's DLLs against their import tables, runs the test suites under Wine, and
# starts the installed program under Wine against the Linux build's trace.
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

# The zip's folder, unpacked afresh.
unzipped=build-windows/unzipped
unzip_package() {
    rm -rf "$unzipped" && unzip -q build-windows/qd7310-eval-*-win64.zip -d "$unzipped" &&
        echo "$PWD/$unzipped"/*
}

check_zip_dlls() {
    local dir
    dir=$(unzip_package) && cmake -DQD7310_DLL_DIR="$dir" -P packaging/windows/checkdlls.cmake
}

# A throwaway self-signed code-signing certificate with a random password, made for this run and
# removed after it, stands in for the release's: the build signs with it as with the real one.
signing=$(mktemp -d "${TMPDIR:-/tmp}/qd7310-signing.XXXXXX")
trap 'rm -rf "$signing"' EXIT
password=$(openssl rand -hex 16)
throwaway_certificate() {
    openssl req -x509 -newkey rsa:3072 -sha256 -days 2 -noenc -subj "/CN=QD7310 throwaway signing" \
        -addext keyUsage=critical,digitalSignature -addext extendedKeyUsage=codeSigning \
        -keyout "$signing/key.pem" -out "$signing/certificate.pem" &&
        QD7310_SIGN_PASSWORD=$password openssl pkcs12 -export -inkey "$signing/key.pem" \
            -in "$signing/certificate.pem" -out "$signing/signing.p12" -passout env:QD7310_SIGN_PASSWORD &&
        rm "$signing/key.pem"
}
# signed COMMAND...: runs COMMAND with the throwaway certificate in its environment.
signed() {
    QD7310_SIGN_PKCS12=$signing/signing.p12 QD7310_SIGN_PASSWORD=$password "$@"
}

# signatures none|throwaway FILE...: no FILE is signed, or each is signed with SHA-256 by the
# throwaway certificate.
signatures() {
    local want=$1 file out status
    shift
    for file in "$@"; do
        out=$(osslsigncode verify -CAfile "$signing/certificate.pem" -in "$file" 2>&1)
        status=$?
        case $want in
            none) [[ $out == *"No signature found"* ]] ;;
            throwaway) [[ $status -eq 0 && $out == *"Message digest algorithm  : SHA256"* ]] ;;
        esac || { echo "$out"; echo "$file: not signed as expected ($want)"; return 1; }
    done
    echo "$# files signed: $want ($(for file in "$@"; do basename "$file"; done | paste -sd ' '))"
}

# Either build's programs in the zip, and its installer.
packaged_programs() {
    local dir
    dir=$(unzip_package) && signatures "$1" "$dir"/*.exe build-windows/*-win64-setup.exe
}

# A wrong password stops the build at once with one line; a signing that fails inside cpack (a
# timestamp server that does not answer) stops it too. Neither leaves a package.
check_refused() {
    local line
    if line=$(QD7310_SIGN_PKCS12=$signing/signing.p12 QD7310_SIGN_PASSWORD=wrong \
                  scripts/build-windows.sh 2>&1 >/dev/null) ||
       [ "$(wc -l <<<"$line")" -ne 1 ]; then
        echo "a wrong password did not stop the build with one line: $line"
        return 1
    fi
    echo "wrong password: $line"
    if QD7310_SIGN_TIMESTAMP=http://127.0.0.1:9/ signed scripts/build-windows.sh ||
       ls build-windows/*-win64*; then
        echo "a failed signing did not stop the build, or left a package"
        return 1
    fi
    echo "failed signing left no package"
}

# The password reached the programs that sign through their environment and a pipe only.
check_password_kept() {
    ! grep -rlF -- "$password" build-windows
}

# The Python client rides along in python\qd7310\, where the README sends a Windows Python:
# every source file of it, and nothing else.
check_zip_python() {
    diff <(cd python && ls qd7310/*.py qd7310/py.typed | sort) \
        <(unzip -Z1 build-windows/qd7310-eval-*-win64.zip | sed -n 's|^[^/]*/python/\(qd7310/[^/]\+\)$|\1|p' | sort) &&
        echo "python/qd7310: $(ls python/qd7310/*.py python/qd7310/py.typed | wc -l) files, as in the source"
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
stage unsigned packaged_programs none
grep -E '^unsigned build' "$logs/build.log" | sed 's/^/    /'
stage signing-refused check_refused
grep -E '^(wrong password|failed signing)' "$logs/signing-refused.log" | sed 's/^/    /'
stage signed-build signed scripts/build-windows.sh
grep -E '^signing with' "$logs/signed-build.log" | sed 's/^/    /'
for package in build-windows/*-win64.zip build-windows/*-win64-setup.exe; do
    echo "    $(basename "$package"): $(du -k "$package" | cut -f1) KiB"
done
stage signed packaged_programs throwaway
grep -E '^[0-9]+ files signed' "$logs/signed.log" | sed 's/^/    /'
stage password-kept check_password_kept
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
stage uninstaller-signed signatures throwaway build-windows/smoke/Uninstall.exe
grep -E '^[0-9]+ files signed' "$logs/uninstaller-signed.log" | sed 's/^/    /'
echo "Windows build and tests passed in $((SECONDS - started)) s"
