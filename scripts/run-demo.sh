#!/bin/sh
# Installs what is missing, builds, and runs the demo (arguments are passed on).
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQVO_BUILD_TESTS=OFF -DQVO_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)"
cd build && exec ./quelvarnossa "$@"
