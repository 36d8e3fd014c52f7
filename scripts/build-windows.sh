#!/usr/bin/env bash
# Cross-builds the tool for 64-bit Windows with the same CMake code as on Linux, and packs it:
#   build-windows/qd7310-eval-<version>-win64.zip        the portable folder
#   build-windows/qd7310-eval-<version>-win64-setup.exe  the installer
# Builds the cross-built Qt into its cache first when it is not there (about 35 minutes, once).
# Extra arguments go to CMake's configure step, e.g. -DQD7310_BUILD_TESTS=OFF.
# With QD7310_SIGN_PKCS12 and QD7310_SIGN_PASSWORD (and QD7310_SIGN_TIMESTAMP, optional) in the
# environment, the programs, the installer and its uninstaller are signed: see
# packaging/windows/sign.sh.
set -euo pipefail
# A relative certificate path is the user's, from where they are; cpack signs from build-windows/.
if [[ ${QD7310_SIGN_PKCS12:-} && $QD7310_SIGN_PKCS12 != /* ]]; then
    export QD7310_SIGN_PKCS12=$PWD/$QD7310_SIGN_PKCS12
fi
cd "$(dirname "$0")/.."
source scripts/setup.sh
qd7310_require_packages "${QD7310_PACKAGES[@]}" "${QD7310_WINDOWS_PACKAGES[@]}"

# An earlier build's packages go first: a failed build leaves none to mistake for its own.
remove_packages() { rm -f build-windows/*-win64.zip build-windows/*-win64-setup.exe; }
remove_packages
if [ -n "${QD7310_SIGN_PKCS12:-}${QD7310_SIGN_PASSWORD:-}" ]; then
    packaging/windows/sign.sh --check
else
    echo "unsigned build: no QD7310_SIGN_PKCS12 and QD7310_SIGN_PASSWORD given"
fi

qt=$(scripts/windows/build-qt.sh | tail -n1)
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON

cmake -S . -B build-windows -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DQD7310_WERROR=$werror -DQD7310_BUILD_BENCH=OFF "$@"
cmake --build build-windows -j "$(nproc)"
# cpack checks the DLLs of its staging folder against their import tables, and signs the
# programs, before it packs. A package it made before failing (the zip) goes too.
(cd build-windows && cpack) || { remove_packages; exit 1; }
ls -l build-windows/*-win64.zip build-windows/*-win64-setup.exe
