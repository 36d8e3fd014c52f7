# Sourced by run.sh and test.sh: makes sure the Debian packages the build needs are present.
# With root (or sudo) it installs what is missing; otherwise it prints the apt-get line and stops.

QD7310_PACKAGES=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libusb-1.0-0-dev
)
QD7310_TEST_PACKAGES=(
    clang libclang-rt-14-dev
    umockdev libumockdev-dev
    g++-mingw-w64-x86-64-posix
    dpkg-dev file lintian desktop-file-utils appstream
    python3-pytest python3-venv python3-setuptools python3-wheel
    xvfb dbus at-spi2-core python3-pyatspi weston qt6-wayland
)
# The Windows cross-build, its packages, their signing and its tests under Wine (scripts/windows/),
# installed only when that stage runs; umockdev plays the board under the Linux window it is
# compared with.
QD7310_WINDOWS_PACKAGES=(
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 nsis zip unzip osslsigncode openssl
    wine wine64 xvfb xdotool imagemagick umockdev libumockdev-dev
    python3-pip python3-setuptools python3-wheel
)

qd7310_require_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' \
            || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local line="apt-get install -y ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
        sudo=(sudo)
    fi
    if [ "$(id -u)" -eq 0 ] || [ ${#sudo[@]} -gt 0 ]; then
        # apt's and dpkg's progress is kept in a log and shown only when the install fails.
        local log
        log=$(mktemp "${TMPDIR:-/tmp}/qd7310-apt.XXXXXX")
        echo "installing ${#missing[@]} Debian packages: ${missing[*]}"
        if ! { "${sudo[@]}" apt-get update -q && "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
                   apt-get install -y -q -o Dpkg::Use-Pty=0 "${missing[@]}"; } >"$log" 2>&1; then
            tail -n 40 "$log" >&2
            echo "apt-get failed; the whole log is $log" >&2
            exit 1
        fi
        rm -f "$log"
    else
        echo "These Debian packages are missing. Install them, then run this again:" >&2
        echo "  sudo apt-get update && sudo $line" >&2
        exit 1
    fi
}
