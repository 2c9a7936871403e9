#!/bin/bash
# Ctrl-C (SIGINT), SIGTERM and SIGHUP (a closed terminal) end every kind of
# run through its normal path, promptly: in real time as Escape does (exit
# code 0), in video mode with the file completed. Every combination of
# display or none, sound or none, real time or video is run; the display
# cases under Xvfb (without a display a real-time run ends by itself). A
# second Ctrl-C abandons a render, and a stop signal ends the error box.
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

for signal in INT TERM HUP; do
    for sound in "" noaudio; do
        name="$where, SIG$signal, ${sound:-sound}"
        # Real time: in the frame loop, after the 3.5 s pre-roll.
        if [ "$where" = Xvfb ]; then
            signal_run $signal 4.5 $sound
            check "$name, real time: exit 0 ($ms ms after the signal)" test $code -eq 0 -a $ms -lt 2000
        fi
        # Video: in the middle of the render; the file is completed.
        signal_run $signal 2 video $sound
        n=$(frames)
        check "$name, video: exit 0 ($ms ms after the signal), the file holds ${n:-no} frames" \
            test $code -eq 0 -a $ms -lt 2000 -a "${n:-0}" -gt 0 -a "${n:-0}" -lt 6082
        check "$name, video: the render reports that it stopped early" grep -q "^Render stopped" "$work/run.out"
    done
done

# A second stop request while the file is completed abandons it: exit 130,
# the unfinished file removed, an earlier render untouched. Both signals
# reach the stopped process before it goes on, so neither can come too late
# (two of the same kind would arrive as one).
rm -rf "$work/run" && mkdir "$work/run"
head -c 5000 /dev/urandom >"$work/run/quel varn ossa.avi"
cp "$work/run/quel varn ossa.avi" "$work/earlier.avi"
(cd "$work/run" && exec env QVO_CODEC=utvideo "$demo" video noaudio) >"$work/run.out" 2>&1 &
pid=$!
for _ in $(seq 1 100); do grep -q "Rendering video: *[0-9]* *[1-9]" "$work/run.out" && break; sleep 0.1; done
kill -STOP $pid; kill -INT $pid; kill -TERM $pid; kill -CONT $pid
wait $pid
code=$?
check "$where, Ctrl-C then SIGTERM: exit 130" test $code -eq 130
check "$where, Ctrl-C then SIGTERM: the unfinished file removed, the earlier one kept" \
    test "$(ls "$work/run")" = "quel varn ossa.avi" -a "$(cmp "$work/run/quel varn ossa.avi" "$work/earlier.avi"; echo $?)" = 0

# The error box blocks the program; a stop signal still ends it, box and all.
if [ "$where" = Xvfb ]; then
    (cd "$work" && exec env SDL_AUDIODRIVER=nosuchdriver "$demo") >"$work/run.out" 2>&1 &
    pid=$!
    for _ in $(seq 1 100); do xwininfo -root -tree | grep -q "(has no name): ()" && break; sleep 0.1; done
    kill -TERM $pid
    for _ in $(seq 1 20); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
    kill -0 $pid 2>/dev/null && { kill -9 $pid; echo "    still running after SIGTERM"; }
    wait $pid
    code=$?
    sleep 0.5
    check "$where, SIGTERM at the error box: exit 143, the box gone" \
        test $code -eq 143 -a -z "$(xwininfo -root -tree | grep "(has no name): ()")"
fi
exit $((failures > 0))
