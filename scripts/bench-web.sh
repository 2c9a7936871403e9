#!/bin/sh
# The page's frame work in WebAssembly against the same work native, in one
# run: build/bench/bench_frame (Google Benchmark) and build-web's
# bench_frame_web.js under node draw the same frames of the same scene
# (bench/framescene.h). Prints both times per frame and their ratio for
#   BM_frame        the frame drawn (every effect, averaged over the timeline)
#   BM_frameCanvas  the frame drawn and made into the canvas's RGBA pixels
#   BM_fillNoise, BM_fillStreakNoise  the two noise fills alone (the most of
#                   a frame's drawing), to see where a gap comes from
# SECONDS (first argument, 2 by default) is each measure's minimum time.
# The two run one after the other, never at once.
set -e
cd "$(dirname "$0")/.."
seconds=${1:-2}
jobs=${QVO_JOBS:-2}

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQVO_BUILD_BENCH=ON ${QVO_CMAKE_ARGS:-} >/dev/null
cmake --build build -j"$jobs" --target bench_frame >/dev/null
export EMSDK_PYTHON=/usr/bin/python3
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release >/dev/null 2>&1
cmake --build build-web -j"$jobs" --target bench_frame_web >/dev/null

native=$(mktemp)
wasm=$(mktemp)
trap 'rm -f "$native" "$wasm"' EXIT
# CSV: "BM_frame/min_time:2.000",iterations,real_time,cpu_time,ns,...
build/bench/bench_frame --benchmark_filter='^BM_(frame|frameCanvas|fillNoise|fillStreakNoise)(/|$)' --benchmark_min_time="$seconds" \
    --benchmark_format=csv 2>/dev/null |
    awk -F, 'NR > 1 { n = $1; gsub(/"/, "", n); sub(/\/.*/, "", n); print n, $3 }' >"$native"
node build-web/bench_frame_web.js "$seconds" >"$wasm"

awk 'NR == FNR { native[$1] = $2; next }
     { printf "%-15s native %8.1f us  wasm %8.1f us  wasm/native %.2fx\n", $1, native[$1] / 1000, $2 / 1000, $2 / native[$1] }' \
    "$native" "$wasm"
