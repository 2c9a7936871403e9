#!/bin/sh
# Installs what is missing, builds the demo and its pack, and runs the demo
# (arguments are passed on).
#
# It shares build/ with scripts/run-tests.sh: it sets none of the options in
# the build's cache and builds only its own targets, so the tests a later
# run-tests.sh gets are not changed by it.
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh demo
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"${QVO_JOBS:-$(nproc)}" --target quelvarnossa qvo_datapack
# Without a display nothing can be shown; say how to get the video instead.
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && ! printf '%s ' "$@" | grep -qi video; then
    echo "No display here: 'scripts/run-demo.sh video' renders the demo into \"quel varn ossa.avi\" instead." >&2
fi
cd build && exec ./quelvarnossa "$@"
