#!/bin/bash
# The demo binary as a user runs it: ending it with Escape, running without
# sound, and the start-up failures that must end in the error box with the
# reason beneath its fixed text and on standard error, and exit code 2.
#   tests/e2e/demo.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
demo="$build/quelvarnossa"
pack="$build/QuelVarnOssa.dat"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

not() { ! "$@"; }
. "$(dirname "${BASH_SOURCE[0]}")/check.sh"

# Headless runs: no display at all, so every box goes to standard error.
headless() { env -u DISPLAY -u WAYLAND_DISPLAY "$@"; }
# The box's fixed text, then the reason in the same box (here on stderr).
beneathBoxText() { grep -A2 "^\[\] Fuck you\.$" "$1" | grep -q "$2"; }
# Runs ARGS under Xvfb in the build folder; the error box that ends the run
# (a window with no name) is answered with Return. Sets code.
boxed_run() {  # boxed_run OUT AUDIODRIVER ARGS...
    local out=$1 driver=$2; shift 2
    xvfb-run -a -s "-screen 0 640x480x24" bash -c '
        cd "$1"; export SDL_AUDIODRIVER=$2; shift 2
        ./quelvarnossa "$@" & pid=$!
        for i in $(seq 1 150); do
            kill -0 $pid 2>/dev/null || break
            box=$(xwininfo -root -tree | sed -n "s/^ *\(0x[0-9a-f]*\) (has no name): ().*/\1/p" | head -1)
            [ -n "$box" ] && { sleep 0.3; xdotool key --window "$box" Return; break; }
            sleep 0.1
        done
        for i in $(seq 1 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
        kill -0 $pid 2>/dev/null && { kill -9 $pid; echo "still running"; }
        wait $pid' _ "$build" "$driver" "$@" >"$out" 2>&1
    code=$?
}

# 1. No pack anywhere: the copy of the binary has no pack beside it.
mkdir "$work/nopack" && cp "$demo" "$work/nopack/"
(cd "$work/nopack" && headless SDL_AUDIODRIVER=dummy timeout 20 ./quelvarnossa noaudio) \
    >"$work/nopack.out" 2>&1
code=$?
check "missing pack exits 2" test $code -eq 2
check "missing pack names the file" grep -q "QuelVarnOssa.dat" "$work/nopack.out"
check "missing pack shows the box" grep -q "Fuck you." "$work/nopack.out"
check "missing pack: the reason beneath the box's text" beneathBoxText "$work/nopack.out" "couldn't read metadata"

# 1b. No display in real time: the run ends at once, with the reason and
#     the way to get the video instead, never 152 s of music to nobody.
start=$(date +%s%N)
(cd "$build" && headless SDL_AUDIODRIVER=dummy timeout 20 ./quelvarnossa) >"$work/nodisplay.out" 2>&1
code=$? ms=$((($(date +%s%N) - start) / 1000000))
check "no display: exits 2 at once ($ms ms)" test $code -eq 2 -a $ms -lt 3000
check "no display: says so" grep -q "The display could not be set up: there is no display" "$work/nodisplay.out"
check "no display: points to the video mode" grep -q '"quelvarnossa video" renders the demo' "$work/nodisplay.out"

# 2. A pack without the music clip: the music cannot start (code 1); the
#    render has not written a frame, and no file is left.
mkdir "$work/nomusic"
for t in ossa quel varn; do
    "$build/qvo-pack" extract "$pack" "data/$t.raw" "$work/nomusic/$t.raw" || exit 1
done
"$build/qvo-pack" create "$work/nomusic/QuelVarnOssa.dat" \
    data/ossa.raw="$work/nomusic/ossa.raw" data/quel.raw="$work/nomusic/quel.raw" \
    data/varn.raw="$work/nomusic/varn.raw" >/dev/null || exit 1
cp "$demo" "$work/nomusic/"
(cd "$work/nomusic" && headless QVO_CODEC=rawvideo timeout 30 ./quelvarnossa video) >"$work/nomusic.out" 2>&1
code=$?
check "missing music exits 2" test $code -eq 2
check "missing music leaves no file" test -z "$(ls "$work/nomusic" | grep avi)"
check "missing music gives code 1's reason" grep -q "music error 1" "$work/nomusic.out"
check "missing music shows the box" grep -q "Fuck you." "$work/nomusic.out"

# 3. No audio device: the output cannot be opened (code 0); under a display
#    the box is answered. "nosound" is no sound-off word, "noaudio" is: that
#    run opens no device and goes on until Ctrl-C.
for word in "" nosound; do
    boxed_run "$work/nodev.out" nosuchdriver $word
    check "no audio device${word:+, $word}: exits 2 once the box is answered" test $code -eq 2
    check "no audio device${word:+, $word}: code 0's reason" grep -q "music error 0" "$work/nodev.out"
done
xvfb-run -a -s "-screen 0 640x480x24" bash -c 'cd "$1" && SDL_AUDIODRIVER=nosuchdriver \
    timeout --foreground --preserve-status -s INT 6 ./quelvarnossa noaudio' _ "$build" >"$work/noaudio.out" 2>&1
code=$?
check "no audio device, noaudio: runs until Ctrl-C, then exits 0" test $code -eq 0
check "no audio device, noaudio: no music error" not grep -q "music error" "$work/noaudio.out"

# 3b. scripts/run-demo.sh without a display says how to render the video
#     instead (its set-up and build stubbed out, the built binary used).
tree="$work/tree"
mkdir -p "$tree/scripts" "$tree/build" "$tree/bin"
cp "$(dirname "$0")/../../scripts/run-demo.sh" "$tree/scripts/"
printf '#!/bin/sh\n' >"$tree/scripts/deps.sh" && cp "$tree/scripts/deps.sh" "$tree/bin/cmake"
chmod +x "$tree/scripts/deps.sh" "$tree/bin/cmake"
ln -s "$demo" "$tree/build/quelvarnossa" && ln -s "$pack" "$tree/build/QuelVarnOssa.dat"
headless PATH="$tree/bin:$PATH" SDL_AUDIODRIVER=nosuchdriver timeout 30 sh "$tree/scripts/run-demo.sh" \
    >"$work/rundemo.out" 2>&1
check "run-demo.sh without a display: points to 'scripts/run-demo.sh video'" \
    grep -q "No display here: 'scripts/run-demo.sh video'" "$work/rundemo.out"
check "run-demo.sh without a display: the demo says why it ends" \
    grep -q "The display could not be set up" "$work/rundemo.out"

# 4. Under a real X server: Escape ends the run at once with exit code 0,
#    with and without sound.
escape_run() {  # escape_run NAME AUDIODRIVER KEY|close ARGS...
    local name=$1 driver=$2 how=$3; shift 3
    xvfb-run -a -s "-screen 0 640x480x24" bash -c '
        cd "$1"; export SDL_AUDIODRIVER=$2; how=$3; shift 3
        ./quelvarnossa "$@" & pid=$!
        for i in $(seq 1 100); do
            id=$(xdotool search --onlyvisible --name "^Tirrow$" 2>/dev/null | tail -1)
            [ -n "$id" ] && break; sleep 0.1
        done
        # At a random moment: during the 3.5 s pre-roll or in the frame loop.
        delay=$((RANDOM % 7 + 1)); sleep $delay
        # SDL may replace its X window while setting up; take the one visible now.
        id=$(xdotool search --onlyvisible --name "^Tirrow$" 2>/dev/null | tail -1)
        start=$(date +%s%N)
        if [ "$how" = close ]; then ./qvo-wmclose "$id"; else xdotool key --window "$id" "$how"; fi
        for i in $(seq 1 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
        kill -0 $pid 2>/dev/null && { kill -9 $pid; echo "still running"; exit 9; }
        wait $pid; code=$?
        echo "ended $(( ($(date +%s%N) - start) / 1000000 )) ms after $how at ${delay} s"
        exit $code' _ "$build" "$driver" "$how" "$@" >"$work/$name.out" 2>&1
}
escape_run escape_sound dummy Escape
check "Escape ends the run with exit 0" test $? -eq 0
# With an audio driver that cannot exist, only a run that opens no audio
# device at all gets as far as the Escape.
escape_run escape_noaudio nosuchdriver Escape noaudio
check "noaudio opens no audio device; Escape ends it with exit 0" test $? -eq 0
escape_run close_request dummy close
check "a close request ends the run with exit 0" test $? -eq 0

# 5. The credits box comes after the normal end: a short headless video run
#    (2 frames a second, no sound) reaches it in seconds.
(cd "$work" && headless QVO_CODEC=rawvideo timeout 60 "$demo" video noaudio fps 2 credits) \
    >"$work/credits.out" 2>&1
code=$?
check "credits run exits 0" test $code -eq 0
check "credits box shown at the end" grep -q "Credits...\] Quel  Varn  Ossa" "$work/credits.out"
check "credits come after the render" \
    test "$(grep -n "Credits" "$work/credits.out" | cut -d: -f1)" -gt "$(grep -n "Render done" "$work/credits.out" | cut -d: -f1)"

cat "$work"/*.out | sed 's/^/    /'
exit $((failures > 0))
