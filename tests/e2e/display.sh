#!/bin/bash
# The display end to end under Xvfb: the test picture of qvo-displaytest,
# screenshotted from the X server, is upright and in the right colours in
# each of the eight back-buffer formats; Escape and a close request end the
# process with exit code 0 after the display was shut down; without a
# display the open fails at once.
#   tests/e2e/display.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
for tool in xvfb-run xdotool import convert; do
    command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

if [ "${2:-}" != "--inside" ]; then
    exec xvfb-run -a -s "-screen 0 640x480x24" "$0" "$build" --inside
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "${BASH_SOURCE[0]}")/check.sh"

# "x,y r,g,b" pairs the screen must show (within 8 per channel: the 5- and
# 6-bit formats widen their channels back to 8 bits).
expected="100,100 255,0,0
540,100 0,255,0
100,380 0,0,255
540,380 255,255,255
60,60 255,255,0
40,40 255,255,0
79,79 255,255,0
80,80 255,0,0
319,239 255,0,0
320,239 0,255,0
319,240 0,0,255
320,240 255,255,255
0,0 255,0,0
639,479 255,255,255"

pixel() {  # pixel FILE X,Y -> "r,g,b"
    convert "$1" -format "%[fx:int(255*p{$2}.r)],%[fx:int(255*p{$2}.g)],%[fx:int(255*p{$2}.b)]" info:
}

picture_ok() {  # picture_ok FILE: every expected pixel within tolerance
    local point want got
    while read -r point want; do
        got=$(pixel "$1" "$point")
        IFS=, read -r wr wg wb <<<"$want"
        IFS=, read -r gr gg gb <<<"$got"
        for d in $((wr - gr)) $((wg - gg)) $((wb - gb)); do
            if [ ${d#-} -gt 8 ]; then echo "  $point: want $want, got $got" >&2; return 1; fi
        done
    done <<<"$expected"
}

# Starts qvo-displaytest and waits (up to 5 s) for the picture on the screen,
# then for its window (SDL may replace the X window when it sets up the
# renderer, so only the visible one counts). Sets pid and id; the screenshot
# is $work/NAME.png.
start() {  # start NAME [ENV=VALUE...]
    local name=$1; shift
    env "$@" "$build/qvo-displaytest" 20 >"$work/$name.out" 2>&1 &
    pid=$!
    id=""
    for _ in $(seq 1 50); do
        import -window root "$work/$name.png" 2>/dev/null
        [ "$(pixel "$work/$name.png" 100,100 2>/dev/null)" = "255,0,0" ] && break
        sleep 0.1
    done
    id=$(xdotool search --onlyvisible --name '^Tirrow$' 2>/dev/null | tail -1)
}

finish() {  # finish NAME LABEL: waits (5 s at most); checks exit 0 after shutdown
    local name=$1 label=$2 code
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill "$pid" 2>/dev/null
    wait "$pid"; code=$?
    check "$label exits with 0" test $code -eq 0
    check "$label shut the display down" grep -q "exit: window closed, screen saver allowed" "$work/$name.out"
}

for format in xrgb8888 xbgr8888 rgb24 bgr24 rgb565 bgr565 rgb555 bgr555; do
    start "$format" QVO_DISPLAY_FORMAT=$format
    check "$format window found" test -n "$id"
    check "$format back buffer used" grep -qi "back buffer SDL_PIXELFORMAT_" "$work/$format.out"
    check "$format picture upright, right colours" picture_ok "$work/$format.png"
    [ -n "$id" ] && xdotool key --window "$id" Escape
    finish "$format" "$format Escape"
done

# A close request as a window manager sends it.
start close
check "close: picture shown" picture_ok "$work/close.png"
[ -n "$id" ] && "$build/qvo-wmclose" "$id"
finish close "close request"

# Other keys do nothing: the process is still there afterwards.
start otherkey
[ -n "$id" ] && xdotool key --window "$id" a space Return
sleep 0.5
check "other keys leave it running" kill -0 "$pid"
[ -n "$id" ] && xdotool key --window "$id" Escape
finish otherkey "Escape after other keys"

# SIGTERM (and Ctrl-C) close the window like a close request.
start term
kill -TERM "$pid"
finish term "SIGTERM"

# No display: open fails at once, update presents nothing, no hang.
env -u DISPLAY -u WAYLAND_DISPLAY timeout 10 "$build/qvo-displaytest" 20 >"$work/headless.out" 2>&1
code=$?
check "headless exits with 3 (not presented)" test $code -eq 3
check "headless open returns 0" grep -q "^open: 0" "$work/headless.out"
check "headless update returns 0" grep -q "^update: 0" "$work/headless.out"

# A display that cannot be reached is no display either (SDL would fall
# back to drawing off screen, unseen).
DISPLAY=:65000 timeout 10 "$build/qvo-displaytest" 20 >"$work/unreachable.out" 2>&1
code=$?
check "unreachable display exits with 3" test $code -eq 3
check "unreachable display open returns 0" grep -q "^open: 0" "$work/unreachable.out"

[ $failures -eq 0 ] && echo "all display checks passed"
exit $((failures > 0))
