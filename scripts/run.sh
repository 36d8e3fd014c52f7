#!/usr/bin/env bash
# Set up, build and start the evaluation tool.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
qd7310_require_packages "${QD7310_PACKAGES[@]}"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQD7310_BUILD_TESTS=OFF
cmake --build build --target qd7310-eval
exec ./build/qd7310-eval "$@"
