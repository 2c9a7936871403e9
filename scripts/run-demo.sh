#!/bin/sh
# Installs what is missing, builds, and runs the demo (arguments are passed on).
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQVO_BUILD_TESTS=OFF -DQVO_BUILD_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)"
# Without a display nothing can be shown; say how to get the video instead.
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && ! printf '%s ' "$@" | grep -qi video; then
    echo "No display here: 'scripts/run-demo.sh video' renders the demo into \"quel varn ossa.avi\" instead." >&2
fi
cd build && exec ./quelvarnossa "$@"
