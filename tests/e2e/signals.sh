#!/bin/bash
# Ctrl-C (SIGINT) and SIGTERM end every kind of run through its normal path,
# promptly: in real time as Escape does (exit code 0), in video mode with the
# file completed. Every combination of display or none, sound or none, real
# time or video is run; the display cases under Xvfb.
#   tests/e2e/signals.sh BUILD_DIR
# Exit 77 (skipped) without xvfb-run or ffprobe.
set -u
build=$(cd "$1" && pwd)
demo="$build/quelvarnossa"
command -v xvfb-run >/dev/null && command -v ffprobe >/dev/null || { echo "xvfb-run/ffprobe missing"; exit 77; }

if [ "${2:-}" != --cases ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    env -u DISPLAY -u WAYLAND_DISPLAY bash "$0" "$build" --cases "$work" "no display"
    headless=$?
    xvfb-run -a -s "-screen 0 640x480x24" bash "$0" "$build" --cases "$work" "Xvfb"
    exit $((headless != 0 || $? != 0))
fi

work=$3 where=$4
. "$(dirname "${BASH_SOURCE[0]}")/check.sh"

# signal_run SIGNAL WAIT ARGS...: starts the demo, sends SIGNAL after WAIT
# seconds and waits up to 10 s for the end; sets code and ms (from the
# signal to the end).
signal_run() {
    local signal=$1 wait=$2; shift 2
    rm -rf "$work/run" && mkdir "$work/run"
    (cd "$work/run" && exec env QVO_CODEC=utvideo SDL_AUDIODRIVER=dummy "$demo" "$@") >"$work/run.out" 2>&1 &
    local pid=$!
    sleep "$wait"
    local start
    start=$(date +%s%N)
    kill -"$signal" $pid
    for _ in $(seq 1 200); do kill -0 $pid 2>/dev/null || break; sleep 0.05; done
    ms=$((($(date +%s%N) - start) / 1000000))
    if kill -0 $pid 2>/dev/null; then kill -9 $pid; echo "    still running 10 s after SIG$signal"; fi
    wait $pid
    code=$?
    sed 's/^/    /' "$work/run.out" | grep -v "^    Rendering video:" | tail -4
}

frames() {
    ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets -of csv=p=0 \
        "$work/run/quel varn ossa.avi" 2>/dev/null
}

for signal in INT TERM; do
    for sound in "" noaudio; do
        name="$where, SIG$signal, ${sound:-sound}"
        # Real time: in the frame loop, after the 3.5 s pre-roll.
        signal_run $signal 4.5 $sound
        check "$name, real time: exit 0 ($ms ms after the signal)" test $code -eq 0 -a $ms -lt 2000
        # Video: in the middle of the render; the file is completed.
        signal_run $signal 2 video $sound
        n=$(frames)
        check "$name, video: exit 0 ($ms ms after the signal), the file holds ${n:-no} frames" \
            test $code -eq 0 -a $ms -lt 2000 -a "${n:-0}" -gt 0 -a "${n:-0}" -lt 6082
        check "$name, video: the render reports that it stopped early" grep -q "^Render stopped" "$work/run.out"
    done
done
exit $((failures > 0))
