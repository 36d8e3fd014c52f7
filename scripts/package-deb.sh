#!/usr/bin/env bash
# Set up, build a Release of every program for /usr and make the Debian package with CPack:
# build-deb/qd7310-eval_<version>_amd64.deb. Install it with
#   sudo apt-get install ./build-deb/qd7310-eval_<version>_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
# dpkg-shlibdeps (dpkg-dev) computes the dependencies; CPack finds the binaries with file. The
# Python client's wheel goes beside the package.
qd7310_require_packages "${QD7310_PACKAGES[@]}" dpkg-dev file \
    python3-pip python3-setuptools python3-wheel

build=build-deb
# Debian's own compiler and linker flags, with every hardening feature (PIE, bindnow, fortify).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
    -DQD7310_BUILD_TESTS=OFF -DQD7310_BUILD_BENCH=OFF \
    -DQD7310_UDEV_RULES_DIR=lib/udev/rules.d >/dev/null
rm -f "$build"/qd7310-eval_*.deb "$build"/qd7310-*-py3-none-any.whl
cmake --build "$build" -j "$(nproc)" --target all qd7310-wheel
# CPack prints its progress; the package's name is the line that matters.
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log" >&2; exit 1; }
ls "$build"/qd7310-eval_*.deb "$build"/qd7310-*-py3-none-any.whl
