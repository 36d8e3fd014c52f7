#!/usr/bin/env bash
# CTest's emulator for the cross-built QtTest programs: runs one under Wine and passes its exit
# code back.
#   WINEPREFIX            the Wine prefix of this test run; made on first use
#   QD7310_WINE_DLL_DIRS  colon-separated folders with the DLLs the program loads
# Wine hands a program none of the caller's QT_ variables, only WINEQT_ ones (as QT_), and a
# QtTest program's results on a redirected standard output can be lost, so they go to a file
# that is printed afterwards.
set -u
exe=$1
shift
: "${WINEPREFIX:?wine-qtest.sh: set WINEPREFIX}"
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all}
# Headless: a Wine server that once saw an X display would keep using it.
unset DISPLAY WAYLAND_DISPLAY

winepath=
IFS=: read -r -a dirs <<<"${QD7310_WINE_DLL_DIRS:-}"
for dir in "${dirs[@]}"; do
    [ -n "$dir" ] && winepath+="Z:${dir//\//\\};"
done
export WINEPATH="$winepath${WINEPATH:-}"
for name in $(compgen -e); do
    case $name in QT_*) export "WINE$name=${!name}" ;; esac
done

# Parallel tests share the prefix; the first one makes it while the others wait.
mkdir -p "$(dirname "$WINEPREFIX")"
(
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wineboot -i >/dev/null 2>&1
        wineserver -w
    fi
) 9>"$WINEPREFIX.lock"

results=$(mktemp "${TMPDIR:-/tmp}/wine-qtest.XXXXXX")
trap 'rm -f "$results"' EXIT
wine "$exe" "$@" -o "Z:${results//\//\\},txt"
status=$?
tr -d '\r' <"$results"
exit "$status"
