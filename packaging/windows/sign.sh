#!/usr/bin/env bash
# Signs Windows programs in place, Authenticode with SHA-256, with the release's code-signing
# certificate: what SmartScreen and application-control policies look for.
#   sign.sh --check          checks that the certificate can be read and signs code, signs nothing
#   sign.sh [--name TEXT] [--url URL] FILE...
#                            signs each FILE (programs, the installer, the uninstaller); Windows
#                            shows TEXT and URL as the signed program's name and its web page
# The certificate comes from the environment, so that it reaches cpack and makensis, which call
# this, without ever being written into the build tree:
#   QD7310_SIGN_PKCS12     the PKCS#12 file with the key and its certificate chain
#   QD7310_SIGN_PASSWORD   its password, which may be empty: openssl reads it from the
#                          environment and osslsigncode from a pipe, so no command line that ps
#                          shows carries it. osslsigncode drops the line breaks at its end, so
#                          the check does too, and a password that ends in one cannot be used
#   QD7310_SIGN_TIMESTAMP  an RFC 3161 timestamp server (optional), so that the signature stays
#                          valid after the certificate expires
# Any failure is one line on standard error and status 1. A file is replaced only once it is
# signed, so a failed signing leaves it as it was, never half-written.
set -euo pipefail

fail() {
    echo "code signing: $*" >&2
    exit 1
}

p12=${QD7310_SIGN_PKCS12:-}
[ -n "$p12" ] || fail "QD7310_SIGN_PKCS12 is not set: give the path of the PKCS#12 file"
[ -n "${QD7310_SIGN_PASSWORD+set}" ] || fail "QD7310_SIGN_PASSWORD is not set"
[ -f "$p12" ] && [ -r "$p12" ] || fail "cannot read the certificate file $p12"
# The password as osslsigncode reads it from its pipe; the pipe always ends in a line break,
# since osslsigncode refuses an empty one.
password=$QD7310_SIGN_PASSWORD
while [[ $password == *[$'\r\n'] ]]; do password=${password%?}; done
command -v osslsigncode >/dev/null || fail "osslsigncode is missing (apt-get install osslsigncode)"

if [ "${1:-}" = "--check" ]; then
    # Files exported by older Windows need OpenSSL's legacy algorithms, which osslsigncode loads.
    certificate() {
        QD7310_SIGN_PASSWORD=$password openssl pkcs12 -in "$p12" \
            -passin env:QD7310_SIGN_PASSWORD -nokeys -clcerts "$@" 2>/dev/null
    }
    dropped=
    [ "$password" = "$QD7310_SIGN_PASSWORD" ] ||
        dropped=" (without the line break at its end, which osslsigncode drops)"
    pem=$(certificate || certificate -legacy) ||
        fail "cannot open $p12 with QD7310_SIGN_PASSWORD$dropped: a wrong password, or not a" \
            "PKCS#12 file"
    [ -n "$pem" ] || fail "$p12 holds no certificate"
    subject=$(openssl x509 -noout -subject -nameopt oneline <<<"$pem" | sed 's/^subject=//')
    expiry=$(openssl x509 -noout -enddate <<<"$pem" | cut -d= -f2)
    openssl x509 -noout -checkend 0 <<<"$pem" >/dev/null ||
        fail "the certificate of $subject expired on $expiry"
    openssl x509 -noout -ext extendedKeyUsage <<<"$pem" 2>/dev/null | grep -q "Code Signing" ||
        fail "the certificate of $subject is not for code signing"
    stamped=${QD7310_SIGN_TIMESTAMP:+ (timestamped by $QD7310_SIGN_TIMESTAMP)}
    echo "signing with the certificate of $subject, valid until $expiry$stamped"
    exit 0
fi

described=()
while [ $# -gt 0 ]; do
    case $1 in
        --name) described+=(-n "$2") ;;
        --url) described+=(-i "$2") ;;
        *) break ;;
    esac
    shift 2
done
timestamp=()
[ -n "${QD7310_SIGN_TIMESTAMP:-}" ] && timestamp=(-ts "$QD7310_SIGN_TIMESTAMP")
for file in "$@"; do
    signed="$file.signed"
    rm -f "$signed"
    if ! output=$(printf '%s\n' "$password" |
            osslsigncode sign -pkcs12 "$p12" -readpass /dev/stdin -h sha256 \
                "${described[@]}" "${timestamp[@]}" -in "$file" -out "$signed" 2>&1); then
        rm -f "$signed"
        # osslsigncode's own first line says why; OpenSSL's error stack after it says no more.
        why=$(grep -v -m1 -e '^$' -e '^Failed$' -e '^[0-9A-F]\{8,\}:error:' <<<"$output")
        fail "could not sign $(basename "$file"): $why"
    fi
    mv -f "$signed" "$file"
done
