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
    if [ "$(id -u)" -eq 0 ]; then
        apt-get update -q && DEBIAN_FRONTEND=noninteractive $line
    elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
        sudo apt-get update -q && sudo DEBIAN_FRONTEND=noninteractive $line
    else
        echo "These Debian packages are missing. Install them, then run this again:" >&2
        echo "  sudo apt-get update && sudo $line" >&2
        exit 1
    fi
}
