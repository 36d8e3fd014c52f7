#!/usr/bin/env bash
# Compares the no-board trace of the Windows build with the Linux one, line for line, after
#  - dropping carriage returns (the Windows C runtime writes text files with CRLF), and
#  - dropping the devices that only Wine has: its virtual HID devices (vendor 0x845e), each a
#    "Found USB device" line with its VID and PID lines.
# The window was closed by hand, so either run may have done more of the search the window
# repeats every two seconds: the longer trace may go on past the shorter with whole repeats of
# one block, provided that block occurs in the shorter one already.
#   compare-trace.sh LINUX-TRACE WINDOWS-TRACE
set -euo pipefail

normalize() {
    tr -d '\r' <"$1" | awk '
        pending { pending = 0
                  if ($0 == "VID = 0x 0000845e") { skip = 1; next }
                  print "Found USB device" }
        skip { skip = 0; if ($0 ~ /^PID = 0x /) next }
        $0 == "Found USB device" { pending = 1; next }
        { print }
        END { if (pending) print "Found USB device" }'
}

mapfile -t linux < <(normalize "$1")
mapfile -t windows < <(normalize "$2")
if [ ${#linux[@]} -eq 0 ]; then
    echo "compare-trace.sh: the Linux trace is empty" >&2
    exit 1
fi

if [ ${#linux[@]} -le ${#windows[@]} ]; then
    short=("${linux[@]}") long=("${windows[@]}") longer=Windows
else
    short=("${windows[@]}") long=("${linux[@]}") longer=Linux
fi
n=${#short[@]}
for ((i = 0; i < n; i++)); do
    if [ "${short[i]}" != "${long[i]}" ]; then
        echo "the traces differ at line $((i + 1)):" >&2
        diff <(printf '%s\n' "${linux[@]}") <(printf '%s\n' "${windows[@]}") \
            --label linux --label windows -u | head -n 40 >&2 || true
        exit 1
    fi
done

extra=("${long[@]:n}")
e=${#extra[@]}
if [ "$e" -eq 0 ]; then
    echo "traces agree line for line ($n lines)"
    exit 0
fi
# The shortest block whose repeats make up the extra lines.
for ((p = 1; p <= e; p++)); do
    ((e % p == 0)) || continue
    periodic=1
    for ((i = p; i < e; i++)); do
        [ "${extra[i]}" = "${extra[i % p]}" ] || { periodic=0; break; }
    done
    ((periodic)) && break
done
block=$(printf '%s\n' "${extra[@]:0:p}")
found=0
for ((i = 0; i + p <= n; i++)); do
    [ "$(printf '%s\n' "${short[@]:i:p}")" = "$block" ] && { found=1; break; }
done
if ((!found)); then
    echo "the $longer trace goes on past the other with lines that are not a repeated search:" >&2
    printf '  %s\n' "${extra[@]:0:20}" >&2
    exit 1
fi
echo "traces agree line for line ($n lines); the $longer run repeated its $p-line search" \
     "$((e / p)) more time(s) before it was closed"
