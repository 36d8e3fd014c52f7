#!/usr/bin/env bash
# Checks the Debian package that scripts/package-deb.sh left in build-deb/: validates its desktop
# entries, AppStream metainfo and the package itself (lintian), installs it with apt-get, checks
# every expected file is in place, runs the installed program headless against the freshly built
# one, drives the installed qd7310-ctl from the installed Python client, then removes and purges
# it and checks nothing of it is left. Prints a line per stage; details only on failure.
# The install stages need root or password-less sudo, and never touch a qd7310-eval that was
# installed before this check ran (someone's own installation): in either case they are skipped
# with one line saying why, and the validators alone decide the outcome.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
# shared-mime-info and desktop-file-utils rebuild the databases that the setup files' type goes in.
qd7310_require_packages lintian desktop-file-utils appstream shared-mime-info

# Every program a user runs: each must be in /usr/bin with a man page.
PROGRAMS=(qd7310-eval qd7310-eval-demo qd7310-boardcheck qd7310-ctl)
# Every program with a menu entry.
DESKTOP_ENTRIES=(qd7310-eval qd7310-eval-demo)
# The setup files' type, which the window's entry opens.
SETUP_TYPE=application/x-qd7310-setup

package=qd7310-eval
build=build-deb
deb=$(ls "$build"/${package}_*_amd64.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { echo "check-deb: no package in $build/: run scripts/package-deb.sh" >&2; exit 1; }
vendor=$(sed -n 's/^QD7310_BOARD_VENDOR_ID:[A-Z]*=0x//p' "$build/CMakeCache.txt" | tr 'A-F' 'a-f')
product=$(sed -n 's/^QD7310_BOARD_PRODUCT_ID:[A-Z]*=0x//p' "$build/CMakeCache.txt" | tr 'A-F' 'a-f')

root=()
if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    root=(sudo)
fi
as_root() {
    "${root[@]}" "$@"
}

# Why the install stages must not run here, if they must not.
skip_install=
state=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null)
if [ -n "$state" ] && [ "$state" != not-installed ] && [ "$state" != config-files ]; then
    skip_install="$package $(dpkg-query -W -f='${Version}' "$package") was installed before this \
check, which would replace and then purge it"
elif [ "$(id -u)" -ne 0 ] && [ ${#root[@]} -eq 0 ]; then
    skip_install="installing needs root or password-less sudo"
fi

work=$(mktemp -d)
# Once this check has installed the package, it leaves only after purging it again, even when it
# stops half-way.
installed_here=0
cleanup() {
    if [ "$installed_here" -eq 1 ]; then
        as_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q "$package" >/dev/null 2>&1
    fi
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
    echo "  FAIL: $*"
    failures=$((failures + 1))
}
# Runs a command quietly; on failure shows what it said.
quiet() {
    local what=$1
    shift
    if ! "$@" >"$work/out" 2>&1; then
        fail "$what"
        sed 's/^/    /' "$work/out"
        return 1
    fi
}

echo "check-deb: $deb"

echo "== validators"
mkdir "$work/tree"
dpkg-deb -x "$deb" "$work/tree"
desktops=("$work"/tree/usr/share/applications/*.desktop)
quiet "desktop-file-validate" desktop-file-validate "${desktops[@]}" \
    && echo "  desktop-file-validate: ${#desktops[@]} entries"
quiet "appstreamcli validate" appstreamcli validate --no-net "$work"/tree/usr/share/metainfo/*.xml \
    && echo "  appstreamcli validate --no-net: ok"
# Lintian warns when run as root; that line is not about the package.
if lintian --fail-on error,warning "$deb" >"$work/lintian" 2>&1; then
    echo "  lintian: no errors or warnings"
else
    fail "lintian"
    grep -v 'running with root privileges' "$work/lintian" | sed 's/^/    /'
fi

if [ -n "$skip_install" ]; then
    echo "== install, run, remove and purge: skipped: $skip_install"
    if [ "$failures" -ne 0 ]; then
        echo "check-deb: $failures check(s) failed"
        exit 1
    fi
    echo "check-deb: the validators passed; the package was not installed"
    exit 0
fi

echo "== install"
installed_here=1
if ! as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --reinstall "./$deb" \
    >"$work/install" 2>&1; then
    fail "apt-get install ./$deb"
    sed 's/^/    /' "$work/install"
    exit 1
fi
dpkg -L "$package" | sort >"$work/files"
echo "  installed $(dpkg-query -W -f='${Package} ${Version}' "$package"): $(wc -l <"$work/files") paths"

echo "== installed files"
before=$failures
expect_file() {
    [ -f "$1" ] || fail "missing $1"
}
missing=()
for program in "${PROGRAMS[@]}"; do
    [ -x "/usr/bin/$program" ] || missing+=("$program")
    expect_file "/usr/share/man/man1/$program.1.gz"
done
[ ${#missing[@]} -eq 0 ] || fail "programs missing from /usr/bin: ${missing[*]}"
for entry in "${DESKTOP_ENTRIES[@]}"; do
    expect_file "/usr/share/applications/$entry.desktop"
done
expect_file /usr/share/icons/hicolor/48x48/apps/qd7310-eval.png
expect_file /usr/share/icons/hicolor/scalable/apps/qd7310-eval.svg
expect_file /usr/lib/python3/dist-packages/qd7310/__init__.py
expect_file /usr/share/doc/$package/copyright
expect_file /usr/share/doc/$package/changelog.gz
expect_file /usr/share/mime/packages/qd7310-eval.xml
metainfo=$(ls /usr/share/metainfo/*.metainfo.xml 2>/dev/null | xargs -r grep -l "<binary>qd7310-eval<" | head -n 1)
if [ -z "$metainfo" ]; then
    fail "no AppStream metainfo for qd7310-eval in /usr/share/metainfo"
else
    modalias="usb:v$(echo "$vendor" | tr 'a-f' 'A-F')p$(echo "$product" | tr 'a-f' 'A-F')d\*"
    grep -q "<modalias>$modalias</modalias>" "$metainfo" || fail "$metainfo lacks modalias $modalias"
fi
# The udev rule: in /usr/lib (never /etc), before 73-seat-late, the board's IDs, uaccess, no 0666.
rules=$(grep -l 'qd7310\|QD7310' /usr/lib/udev/rules.d/*.rules 2>/dev/null)
if [ "$(echo "$rules" | grep -c .)" -ne 1 ]; then
    fail "expected one udev rule of ours in /usr/lib/udev/rules.d, found: ${rules:-none}"
else
    number=$(basename "$rules" | sed -n 's/^\([0-9][0-9]\)-.*/\1/p')
    [ -n "$number" ] && [ "$number" -lt 73 ] || fail "$rules must be numbered below 73"
    grep -q "SUBSYSTEM==\"usb\".*ATTR{idVendor}==\"$vendor\".*ATTR{idProduct}==\"$product\".*TAG+=\"uaccess\"" \
        "$rules" || fail "$rules does not tag the board $vendor:$product uaccess on the usb subsystem"
    ! grep -q '0666' "$rules" || fail "$rules sets MODE 0666"
fi
grep -q '^/etc/' "$work/files" && fail "the package installs into /etc: $(grep '^/etc/' "$work/files")"
[ "$failures" -eq "$before" ] && echo "  all in place: ${PROGRAMS[*]}, man pages, desktop entries, icons, metainfo, udev rule $(basename "${rules:-}"), Python package qd7310"
if ! grep -qs ":$SETUP_TYPE:\*\.qd7310\$" /usr/share/mime/globs2; then
    fail "the MIME database does not know $SETUP_TYPE for *.qd7310"
elif ! grep -qs "^$SETUP_TYPE=.*qd7310-eval\.desktop" /usr/share/applications/mimeinfo.cache; then
    fail "qd7310-eval.desktop does not open $SETUP_TYPE"
else
    echo "  $SETUP_TYPE: *.qd7310, opened by qd7310-eval.desktop"
fi

echo "== run"
# The program has no signal handler, so the time-out ends it; line-buffered output means every
# trace line is out by then. 1.5 s ends it before the first two-second check, so the trace is
# the start-up's alone.
startup_trace() {
    QT_QPA_PLATFORM=offscreen timeout -s TERM 1.5 stdbuf -oL "$1" -platform offscreen \
        >"$2" 2>"$2.err"
    local rc=$?
    # 124: still running when the time-out came, which is what a window does.
    [ $rc -eq 124 ] || { fail "$1 ended by itself with exit code $rc"; sed 's/^/    /' "$2.err"; }
}
built=$(find "$build" -path "$build/_CPack_Packages" -prune -o -type f -name qd7310-eval -perm -u+x -print | head -n 1)
startup_trace "$built" "$work/expected"
startup_trace /usr/bin/qd7310-eval "$work/actual"
if ! grep -qx usb_hid_init "$work/expected"; then
    fail "the built program's start-up trace has no search"
    sed 's/^/    /' "$work/expected"
elif ! cmp -s "$work/expected" "$work/actual"; then
    fail "the installed program's trace differs from the built one's"
    diff "$work/expected" "$work/actual" | sed 's/^/    /'
else
    echo "  /usr/bin/qd7310-eval: start-up trace as built ($(wc -l <"$work/actual") lines)"
fi

# Debian's own Python finds the client with no help (-I ignores PYTHONPATH and the user's site),
# and the client drives the installed qd7310-ctl, found on PATH.
version=$(dpkg-query -W -f='${Version}' "$package")
expected="/usr/lib/python3/dist-packages/qd7310/__init__.py $version $version"
if env -u QD7310_CTL PATH=/usr/bin:/bin /usr/bin/python3 -I -c '
import qd7310
with qd7310.Session(simulated=True) as s:
    s.prepare()
    s.spi_write(15, 20)
    assert s.spi_read(15)["value"] == 20
print(qd7310.__file__, qd7310.__version__, s.version)' >"$work/python" 2>&1 \
    && [ "$(cat "$work/python")" = "$expected" ]; then
    echo "  python3 -I: import qd7310 from /usr/lib/python3/dist-packages drives /usr/bin/qd7310-ctl session $version"
else
    fail "the installed Python client with the installed qd7310-ctl"
    sed 's/^/    /' "$work/python"
fi

echo "== remove and purge"
quiet "apt-get remove" as_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y -q "$package"
quiet "apt-get purge" as_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q "$package" \
    && installed_here=0
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q installed; then
    fail "$package is still installed"
fi
# A file of ours must be gone; a directory of ours may stay only if another package owns it or
# something else put files in it.
left=()
while read -r path; do
    [ -e "$path" ] || continue
    if [ -d "$path" ]; then
        dpkg -S "$path" >/dev/null 2>&1 && continue
        [ -z "$(ls -A "$path")" ] || continue
    fi
    left+=("$path")
done <"$work/files"
# The byte code that installing compiled goes with the package.
[ ! -e /usr/lib/python3/dist-packages/qd7310 ] || left+=(/usr/lib/python3/dist-packages/qd7310)
# The triggers take the type out of the MIME and desktop databases again.
grep -qs "$SETUP_TYPE" /usr/share/mime/globs2 /usr/share/applications/mimeinfo.cache &&
    left+=("$SETUP_TYPE in the MIME or desktop database")
if [ ${#left[@]} -ne 0 ]; then
    fail "left behind after purge: ${left[*]}"
else
    echo "  removed and purged: none of $(wc -l <"$work/files") paths left, $SETUP_TYPE unknown"
fi

if [ "$failures" -ne 0 ]; then
    echo "check-deb: $failures check(s) failed"
    exit 1
fi
echo "check-deb: all checks passed"
