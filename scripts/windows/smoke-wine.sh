#!/usr/bin/env bash
# Starts the real Windows program the way a user would, under Wine on a virtual X display: in a
# fresh Wine prefix, installs it silently into a chosen folder and removes it again, then
# installs it with its installer in its default folder, checks what the installer left
# (files, Start-menu entries, uninstaller), starts the window from a command prompt with its
# standard output redirected to a file, takes a screenshot, closes it with File > Close and
# compares that trace with the Linux build's, started and closed the same way.
# Then the same with a board present: the emulated board of the Wine bus tests in this prefix
# (WINE-BOARD, qd7310-wineboard.exe beside the test driver), and on Linux the board emulated by
# umockdev (LINUX-BOARD, qd7310-usbboard). There the zip's qd7310-ctl.exe runs the README's current
# sweep, which must print what the Linux qd7310-ctl --simulated prints, and qd7310-boardcheck.exe
# must find the board answering.
#   smoke-wine.sh INSTALLER ZIP LINUX-PROGRAM OUTPUT-FOLDER [WINE-BOARD LINUX-BOARD]
# Leaves trace-windows.txt, trace-linux.txt, main-window.png and the installed Uninstall.exe in
# OUTPUT-FOLDER, and with a board also trace-windows-board.txt, trace-linux-board.txt and
# main-window-board.png.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
installer=$(realpath "$1")
zip=$(realpath "$2")
linux_program=$(realpath "$3")
out=$(mkdir -p "$4" && realpath "$4")
wine_board=${5:+$(realpath "$5")}
linux_board=${6:+$(realpath "$6")}
title="QD7310 Evaluation Software"

fail() {
    echo "smoke-wine.sh: $*" >&2
    exit 1
}
winpath() { local p=${1//\//\\}; echo "Z:$p"; }

work=$(mktemp -d "${TMPDIR:-/tmp}/qd7310-smoke.XXXXXX")
xvfb_pid= linux_pid= board_pid=
cleanup() {
    [ -n "$board_pid" ] && { exec 4>&-; wait "$board_pid" 2>/dev/null; }
    WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
    [ -n "$linux_pid" ] && kill "$linux_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# A display of its own, and a Wine prefix that has only ever seen that display and does not
# mirror its Start menu into this machine's desktop menus.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 50); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=:$(cat "$work/display")
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES=winemenubuilder.exe=d
wineboot -i >/dev/null 2>&1
wineserver -w

# IT's round trip: a silent install into a chosen folder (its parent there before; /D= takes the
# rest of the command line unquoted, as cmd passes it on), a program run there and a silent
# uninstall, which leaves no file, Start-menu entry or registry entry.
leftovers() {
    (cd "$WINEPREFIX/drive_c" &&
        find . -path ./windows -prune -o -path '*/Temp' -prune -o -print | sort)
    grep -i qd7310 "$WINEPREFIX"/*.reg || true
}
# The value of a key under HKEY_CLASSES_ROOT, empty if there is none.
classes_value() {
    wine reg query "HKCR\\$1" /ve 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p' || true
}
# The installer's file association: a setup file (.qd7310) opens with FOLDER's qd7310-eval.exe,
# and shows its icon. The leftovers after uninstalling include the registry's.
associated() {
    local program="$1\\qd7310-eval.exe"
    [ "$(classes_value .qd7310)" = QD7310.Setup ] &&
        [ "$(classes_value 'QD7310.Setup\DefaultIcon')" = "$program,0" ] &&
        [ "$(classes_value 'QD7310.Setup\shell\open\command')" = "\"$program\" \"%1\"" ]
}
chosen='C:\Lab Tools\QD7310'
mkdir "$WINEPREFIX/drive_c/Lab Tools" && leftovers >"$work/before"
{ wine cmd /c "$(winpath "$installer") /S /D=$chosen" && wineserver -w &&
    wine "$chosen\\qd7310-ctl.exe" --simulated status; } >"$work/install.log" 2>&1 ||
    fail "the silent install or the run failed: $(cat "$work/install.log")"
associated "$chosen" || fail "the installer did not register .qd7310 for $chosen\\qd7310-eval.exe"
{ cp "$WINEPREFIX/drive_c/Lab Tools/QD7310/Uninstall.exe" "$out" &&
    wine "$chosen\\Uninstall.exe" /S && wineserver -w; } >"$work/install.log" 2>&1 ||
    fail "the silent uninstall failed: $(cat "$work/install.log")"
leftovers | diff -u "$work/before" - >&2 || fail "the silent uninstall left these behind"
echo "silent install into $chosen, .qd7310 opens with its qd7310-eval.exe," \
    "qd7310-ctl.exe run there, silent uninstall: nothing left"

# The installer, silent, as an administrator would run it.
wine "$installer" /S >"$work/install.log" 2>&1 || fail "the installer failed: $(cat "$work/install.log")"
wineserver -w
dir="$WINEPREFIX/drive_c/Program Files/$title"
[ -d "$dir" ] || fail "the installer made no '$dir'"
(cd "$dir" && find . -type f ! -name Uninstall.exe | sed 's|^\./||' | sort) >"$work/installed"
unzip -Z1 "$zip" | grep -v '/$' | sed 's|^[^/]*/||' | sort >"$work/zipped"
diff -u "$work/zipped" "$work/installed" >&2 || fail "the installer and the zip hold different files"
[ -f "$dir/Uninstall.exe" ] || fail "no uninstaller in '$dir'"
associated "C:\\Program Files\\$title" || fail "the installer did not register .qd7310"
grep -qi 'CurrentVersion\\\\Uninstall\\\\qd7310-eval\]' "$WINEPREFIX/system.reg" \
    || fail "the uninstaller is not registered"
links=$(find "$WINEPREFIX/drive_c" -path '*Start Menu*' -name '*.lnk' -printf '%f\n' | sort)
grep -qx "$title.lnk" <<<"$links" || fail "no Start-menu entry '$title': $links"
echo "installed $(wc -l <"$work/installed") files; Start menu: $(echo $links | sed 's/\.lnk//g')"

# Window programs must not open a console; the others are console programs.
for exe in "$dir"/*.exe; do
    name=$(basename "$exe" .exe)
    [ "$name" = Uninstall ] && continue
    subsystem=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/^Subsystem/ { print $2 }')
    case $name in
        qd7310-eval | qd7310-eval-demo) want=00000002 ;;
        *) want=00000003 ;;
    esac
    [ "$subsystem" = "$want" ] || fail "$name.exe has subsystem $subsystem, wants $want"
done

# Closes the window with File > Close from the keyboard: Alt selects the menu bar, Return
# opens File on its first entry, Up wraps round to Close, its last, and Return picks it.
close_window() {
    local window=$1
    xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
    xdotool key --delay 300 alt Return Up Return
}
wait_window() {
    timeout 120 xdotool search --sync --onlyvisible --name "^$title\$" 2>/dev/null | head -n1
}

# The window under Wine, from a command prompt, its standard output redirected to TRACE; a
# screenshot of it goes to SCREENSHOT.
run_windows() {
    local trace=$1 screenshot=$2 wine_pid window
    (cd "$dir" && exec wine cmd /c "qd7310-eval.exe > $(winpath "$work/$trace")") \
        >"$work/wine.log" 2>&1 &
    wine_pid=$!
    window=$(wait_window) || true
    [ -n "$window" ] || fail "the window did not show under Wine: $(tail -n 20 "$work/wine.log")"
    sleep 3 # let it paint before the screenshot
    import -window root "$work/screen.png"
    eval "$(xdotool getwindowgeometry --shell "$window")"
    convert "$work/screen.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/$screenshot"
    close_window "$window"
    timeout 60 tail --pid="$wine_pid" -f /dev/null || fail "the window did not close under Wine"
    wait "$wine_pid" || fail "qd7310-eval.exe ended with status $?"
    # The board program keeps the prefix busy: with it there, only the window's end is awaited.
    [ -n "$board_pid" ] || wineserver -w
    cp "$work/$trace" "$out/$trace"
}

# The Linux build, closed the same way, its trace in TRACE; any further arguments go in front of
# the program.
run_linux() {
    local trace=$1 window
    shift
    QT_QPA_PLATFORM=xcb "$@" "$linux_program" >"$out/$trace" 2>"$work/linux.log" &
    linux_pid=$!
    window=$(wait_window) || true
    [ -n "$window" ] || fail "the Linux window did not show: $(tail -n 20 "$work/linux.log")"
    sleep 3 # open as long as the Windows one, so that both have probed a board once settled
    close_window "$window"
    timeout 60 tail --pid="$linux_pid" -f /dev/null || fail "the Linux window did not close"
    wait "$linux_pid" || fail "the Linux program ended with status $?"
    linux_pid=
}

run_windows trace-windows.txt main-window.png
run_linux trace-linux.txt
"$here/compare-trace.sh" "$out/trace-linux.txt" "$out/trace-windows.txt"
[ -n "$wine_board" ] || exit 0

# With the board present. The board program plays it until its standard input closes.
mkfifo "$work/board-input"
WINEPATH=$(winpath "$dir") wine "$wine_board" <"$work/board-input" >"$work/board.log" 2>&1 &
board_pid=$!
exec 4>"$work/board-input"
for _ in $(seq 600); do
    grep -q "board plugged" "$work/board.log" && break
    kill -0 "$board_pid" 2>/dev/null || break
    sleep 0.1
done
grep -q "board plugged" "$work/board.log" || fail "the emulated board did not come: $(cat "$work/board.log")"

# The README's current sweep, through the zip's qd7310-ctl.exe and the Linux one on its
# simulated board.
unzip -q "$zip" -d "$work/zip"
zipped_dir=$(echo "$work"/zip/*)
sweep=$(sed -n '/^A current sweep/,/^which prints/p' "$here/../../README.md" | sed -n 's/^    //p')
[ -n "$sweep" ] || fail "no current sweep in the README"
qd7310-ctl() { wine "$zipped_dir/qd7310-ctl.exe" "$@"; }
eval "$sweep" | tr -d '\r' >"$out/sweep-windows.txt" || fail "the sweep failed under Wine"
qd7310-ctl() { "$(dirname "$linux_program")/qd7310-ctl" --simulated "$@"; }
eval "$sweep" >"$out/sweep-linux.txt" || fail "the sweep failed on Linux"
diff -u "$out/sweep-linux.txt" "$out/sweep-windows.txt" >&2 \
    || fail "qd7310-ctl.exe printed other results than the Linux qd7310-ctl --simulated"
echo "current sweep: $(wc -l <"$out/sweep-windows.txt") result lines, as on Linux"
wine "$zipped_dir/qd7310-boardcheck.exe" >"$work/boardcheck.txt" 2>&1 \
    || fail "qd7310-boardcheck.exe ended with status $?: $(tr -d '\r' <"$work/boardcheck.txt")"
echo "qd7310-boardcheck.exe: $(tr -d '\r' <"$work/boardcheck.txt" | tail -n 1)"

run_windows trace-windows-board.txt main-window-board.png
grep -q "^return data" "$out/trace-windows-board.txt" \
    || fail "the window did not exchange with the board under Wine"
run_linux trace-linux-board.txt umockdev-wrapper "$linux_board"
"$here/compare-trace.sh" "$out/trace-linux-board.txt" "$out/trace-windows-board.txt"
