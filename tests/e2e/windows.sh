#!/bin/bash
# The Windows build under Wine, as a user runs it: the real-time demo under
# Xvfb (the red noise, the first title, Escape), a missing pack (the error
# box, dismissed by a key, with the reason on standard error), and the video
# mode with sound (frames equal to the Linux qvo-render's, the sound the
# clip's decode aligned to the sample) with its progress dialog and its
# cancel question, and Full
# Frames refused up front when they cannot fit in a classic AVI file.
#   tests/e2e/windows.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR
# Wine needs WINEPREFIX set to a prefix made with `wineboot -i`. There is no
# sound card under CI, so the real-time run is silent (noaudio).
set -u
build=$(cd "$1" && pwd)
host=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEDEBUG=-all

. "$(dirname "${BASH_SOURCE[0]}")/check.sh"
# fx expression over a screenshot's region, e.g. measure shot.png 180x65+230+355 mean.g
measure() { convert "$1" -crop "$2" -format "%[fx:$3]" info:; }
above() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }
# Prepended to the scripts run under Xvfb: waiting up to 100 looks for a
# window whose line in the window tree matches PATTERN, and up to 5 s for a
# process to end.
onDisplay='
waitForWindow() {  # waitForWindow PATTERN SECONDS_BETWEEN_LOOKS
    for i in $(seq 1 100); do
        xwininfo -root -tree | grep -q "$1" && return
        sleep "$2"
    done
}
waitForExit() {  # waitForExit PID
    for i in $(seq 1 50); do kill -0 "$1" 2>/dev/null || return; sleep 0.1; done
}
dismissWith() {  # dismissWith KEY PID: the key for a box; a program still running 5 s later is stopped
    xdotool key "$1"
    waitForExit "$2"
    kill -0 "$2" 2>/dev/null && echo "still running after $1" >&2 && kill "$2"
}
'

# 1. Real time: a screenshot a second; the noise is red (the middle of the
#    picture), the first title grey (its box under the middle).
xvfb-run -a -s "-screen 0 640x480x24" bash -c "$onDisplay"'
    cd "$1"; work=$2
    wine quelvarnossa.exe noaudio >"$work/rt.out" 2>"$work/rt.err" &
    pid=$!
    start=$(date +%s%N)
    for i in $(seq 1 26); do
        sleep 0.8
        # Named by the tenth of a second it was taken at.
        import -window root "$work/at.png"
        mv "$work/at.png" "$work/shot-$(printf %04d $((($(date +%s%N) - start) / 100000000))).png"
    done
    xdotool key Escape
    escaped=$(date +%s.%N)
    waitForExit $pid
    echo "$(date +%s.%N) - $escaped" | bc >"$work/escape.seconds"
    wait $pid; echo $? >"$work/rt.code"' _ "$build" "$work"
noise=""; title=""
for shot in "$work"/shot-*.png; do
    tenth=$(basename "$shot" .png); tenth=$((10#${tenth#shot-}))
    red=$(measure "$shot" 540x380+50+50 mean.r)
    grey=$(measure "$shot" 180x65+230+355 mean.g)
    echo "     $((tenth / 10)).$((tenth % 10)) s: red $red, title $grey"
    [ -z "$noise" ] && above "$red" 0.03 && noise=$tenth
    [ -n "$noise" ] && [ -z "$title" ] && above "$grey" 0.01 && title=$tenth
done
check "real time: the red noise shows" test -n "$noise"
check "real time: the first title shows" test -n "$title"
if [ -n "$noise" ] && [ -n "$title" ]; then
    # The curtain has opened over most of the noise 1.5 s into the run and
    # the first title fades in at 7.1 s (qvo-render's frames): 5.6 s apart,
    # give or take a screenshot on each side.
    gap=$((title - noise))
    check "real time: the title comes 4 to 7.5 s after the noise ($((gap / 10)).$((gap % 10)) s)" \
        test $gap -ge 40 -a $gap -le 75
fi
check "real time: Escape ends it with exit code 0" test "$(cat "$work/rt.code")" = 0
check "real time: at once ($(cat "$work/escape.seconds") s)" above 3 "$(cat "$work/escape.seconds")"

# 2. No pack: the catch-all box, a key dismisses it, exit code 0, and the
#    reason on standard error.
mkdir "$work/nopack" && cp "$build/quelvarnossa.exe" "$work/nopack/"
xvfb-run -a -s "-screen 0 640x480x24" bash -c "$onDisplay"'
    cd "$1"
    wine quelvarnossa.exe noaudio >out.txt 2>err.txt &
    pid=$!
    waitForWindow "quelvarnossa.exe.*[0-9]x[0-9]" 0.2
    sleep 1
    import -window root box.png
    xwininfo -root -tree >windows.txt
    dismissWith Return $pid
    wait $pid; echo $? >code' _ "$work/nopack"
check "no pack: the box shows" grep -q '"quelvarnossa.exe".*[0-9][0-9]x[0-9][0-9]' "$work/nopack/windows.txt"
check "no pack: the box has its text (dark pixels on a light box)" \
    above "$(measure "$work/nopack/box.png" 120x80+260+200 'maxima.r - minima.r')" 0.5
check "no pack: a key dismisses it, exit code 0" test "$(cat "$work/nopack/code")" = 0
check "no pack: the reason on standard error" \
    grep -q "couldn't read metadata.*QuelVarnOssa.dat" "$work/nopack/err.txt"

# 3. Video mode at 10 fps with sound, Full Frames: 1522 frames equal to the
#    Linux renderer's, 152.2 s of sound equal to the Linux decode of the clip
#    (within a few LSB, and not one sample off), the progress dialog shown.
mkdir "$work/video" && cp "$build/quelvarnossa.exe" "$build/QuelVarnOssa.dat" "$work/video/"
xvfb-run -a -s "-screen 0 640x480x24" bash -c "$onDisplay"'
    cd "$1"
    QVO_CODEC=rawvideo wine quelvarnossa.exe video fps 10 >out.txt 2>err.txt &
    pid=$!
    waitForWindow "Rendering video" 0.1
    xwininfo -root -tree >windows.txt
    wait $pid; echo $? >code' _ "$work/video"
avi="$work/video/quel varn ossa.avi"
check "video: exit code 0" test "$(cat "$work/video/code")" = 0
check "video: the progress dialog shows" grep -q '"Rendering video..."' "$work/video/windows.txt"
check "video: 1522 frames at 10/1" \
    test "$(ffprobe -v error -count_packets -select_streams v \
            -show_entries stream=r_frame_rate,nb_read_packets -of csv=p=0 "$avi")" = "10/1,1522"
ffmpeg -v error -i "$avi" -map 0:v -f framemd5 -pix_fmt bgr24 - | grep -v '^#' |
    awk -F, '{gsub(/ /,"",$6); print $6}' >"$work/avi.md5"
"$host/qvo-render" --pack "$build/QuelVarnOssa.dat" --fps 10 --md5 2>/dev/null | awk '{print $2}' >"$work/render.md5"
check "video: the frames equal qvo-render's" cmp -s "$work/avi.md5" "$work/render.md5"
ffmpeg -v error -i "$avi" -map 0:a -f s16le -y "$work/avi.raw"
check "video: 6712020 sample frames of sound" test "$(stat -c %s "$work/avi.raw")" -eq $((6712020 * 4))
# Largest difference from the Linux decode, in place and one sample frame off.
differences=$(python3 - "$work/avi.raw" "$build/testdata/marrowin.raw" <<'EOF'
import array, sys
a = array.array('h'); a.frombytes(open(sys.argv[1], 'rb').read())
b = array.array('h'); b.frombytes(open(sys.argv[2], 'rb').read())
print(*(max(abs(a[i] - b[i + s]) for i in range(2, len(a) - 2)) for s in (0, 2)))
EOF
)
check "video: the sound is the clip's decode ($differences: in place, one sample off)" \
    awk -v d="$differences" 'BEGIN { split(d, x, " "); exit !(x[1] <= 4 && x[2] > 1000) }'
rm -f "$avi" "$work/avi.raw"

# 4. Full Frames that cannot fit in a classic AVI file are refused before
#    rendering: at 16 fps with sound the file would pass 2 GiB. The box (a
#    key dismisses it), exit code 1, no file.
mkdir "$work/big" && cp "$build/quelvarnossa.exe" "$build/QuelVarnOssa.dat" "$work/big/"
xvfb-run -a -s "-screen 0 640x480x24" bash -c "$onDisplay"'
    cd "$1"
    QVO_CODEC=rawvideo wine quelvarnossa.exe video fps 16 >out.txt 2>err.txt &
    pid=$!
    waitForWindow "\"Error!\"" 0.2
    xwininfo -root -tree >windows.txt
    dismissWith Return $pid
    wait $pid; echo $? >code' _ "$work/big"
check "too big for Full Frames: the error box" grep -q '"Error!"' "$work/big/windows.txt"
check "too big for Full Frames: exit code 1" test "$(cat "$work/big/code")" = 1
check "too big for Full Frames: no file" test ! -e "$work/big/quel varn ossa.avi"

# 5. Escape in the progress dialog asks "Really?"; Yes ends the render with
#    the file completed: the frames so far and their sound, exit code 0.
mkdir "$work/cancel" && cp "$build/quelvarnossa.exe" "$build/QuelVarnOssa.dat" "$work/cancel/"
xvfb-run -a -s "-screen 0 640x480x24" bash -c "$onDisplay"'
    cd "$1"
    QVO_CODEC=rawvideo wine quelvarnossa.exe video fps 10 >out.txt 2>err.txt &
    pid=$!
    waitForWindow "Rendering video" 0.1
    sleep 1
    dialog=$(xdotool search --name "Rendering video" | head -1)
    xdotool windowactivate --sync "$dialog" 2>/dev/null
    xdotool key --window "$dialog" Escape
    sleep 1.5
    import -window root really.png
    xdotool key Return
    wait $pid; echo $? >code' _ "$work/cancel" 2>/dev/null
frames=$(sed -n "s/^Render stopped: \([0-9]*\) frames.*/\1/p" "$work/cancel/err.txt")
check "cancel: exit code 0" test "$(cat "$work/cancel/code")" = 0
check "cancel: stopped early (${frames:-no} frames)" test -n "$frames" -a "${frames:-0}" -lt 1522
check "cancel: the \"Really?\" box (a light box under the dialog)" \
    above "$(measure "$work/cancel/really.png" 150x80+245+205 mean)" 0.5
check "cancel: the file holds those frames and their sound" \
    test "$(ffprobe -v error -count_packets -show_entries stream=codec_type,nb_read_packets -of csv=p=0 \
            "$work/cancel/quel varn ossa.avi" | head -1)" = "video,$frames"
ffmpeg -v error -i "$work/cancel/quel varn ossa.avi" -map 0:a -f s16le -y "$work/cancel.raw"
check "cancel: $((frames * 4410)) sample frames of sound" test "$(stat -c %s "$work/cancel.raw")" -eq $((frames * 4410 * 4))
rm -f "$work/cancel/quel varn ossa.avi" "$work/cancel.raw"

echo "$failures failure(s)"
test $failures -eq 0
