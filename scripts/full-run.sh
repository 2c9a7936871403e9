#!/bin/bash
# One whole real-time run under Xvfb, as a user would see it: wall time,
# exit code, peak memory, and screenshots at fixed times after the 3.5 s
# pre-roll, put together in a contact sheet.
#   scripts/full-run.sh [BUILD_DIR] [OUT_DIR]
set -eu
build=$(cd "${1:-build}" && pwd)
out=$(mkdir -p "${2:-full-run}" && cd "${2:-full-run}" && pwd)
shots="3 10 40 80 105 150"

xvfb-run -a -s "-screen 0 640x480x24" bash -c '
    cd "$1"; out=$2; shots=$3
    start=$(date +%s.%N)
    SDL_AUDIODRIVER=dummy /usr/bin/time -f "peak resident memory: %M kB" -o "$out/time.txt" \
        ./quelvarnossa 2>"$out/stderr.txt" & pid=$!
    # The pre-roll begins when the window appears.
    for i in $(seq 1 200); do
        xdotool search --name "^Tirrow$" >/dev/null 2>&1 && break; sleep 0.05
    done
    shown=$(date +%s.%N)
    for s in $shots; do
        at=$(echo "$shown + 3.5 + $s" | bc)
        while [ "$(echo "$(date +%s.%N) < $at" | bc)" = 1 ]; do sleep 0.05; done
        import -window root "$out/shot-$s.png"
    done
    wait $pid; code=$?
    end=$(date +%s.%N)
    echo "exit code: $code"
    echo "wall time: $(echo "$end - $start" | bc) s"
    cat "$out/time.txt"' _ "$build" "$out" "$shots" | tee "$out/summary.txt"

montage -label '%t' $(for s in $shots; do echo "$out/shot-$s.png"; done) -tile 3x2 \
    -geometry 320x240+4+4 "$out/contact-sheet.png"
echo "contact sheet: $out/contact-sheet.png"
