#!/bin/bash
# The Windows build under Wine, as a user runs it: the real-time demo under
# Xvfb (the red noise, the first title, Escape), a screen that cannot switch
# to 640x480 and a missing pack (the error box with the reason beneath its
# fixed text, dismissed by a key, exit code 2), and the video mode with sound
# (frames equal to the Linux qvo-render's, the sound the clip's decode
# aligned to the sample) with its progress dialog, its cancel question and
# Ctrl-C from the console it was started from; Full Frames refused up front
# when they cannot fit in a classic AVI file, a codec that cannot compress
# refused before rendering, and a cancelled codec dialog that leaves an
# earlier render as it was.
#   tests/e2e/windows.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR
# Wine needs WINEPREFIX set to a prefix made with `wineboot -i`. There is no
# sound card under CI, so the real-time run is silent (noaudio).
set -u
build=$(cd "$1" && pwd)
host=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEDEBUG=-all

. "$(dirname "${BASH_SOURCE[0]}")/check.sh"
# fx expression over a screenshot's region, e.g. measure shot.png 180x65+230+355 mean.g
measure() { convert "$1" -crop "$2" -format "%[fx:$3]" info:; }
above() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }
# The lines of text in a message box: runs of rows with dark pixels right of
# its icon and above its button, apart by 3 light rows at least (a line's
# own rows may have little ink). textLines SHOT WINDOW_TREE PATTERN, the box
# being the first window in the tree whose line matches PATTERN.
textLines() {
    local geometry w h x y
    geometry=$(grep "$3" "$2" | grep -o '[0-9]*x[0-9]*+[0-9]*+[0-9]*' | head -1)
    [ -n "$geometry" ] || { echo 0; return; }
    IFS='x+' read -r w h x y <<<"$geometry"
    convert "$1" -crop $((w - 60))x$((h - 40))+$((x + 55))+$y -colorspace gray -scale 1x$((h - 40))\! -depth 8 txt:- |
        awk -F'[(,)]' 'NR > 1 { if ($3 < 240) { if (light >= 3 || !lines) lines++; light = 0 } else light++ }
                       END { print lines + 0 }'
}
unnamedBox='(has no name).*"quelvarnossa.exe".*[0-9][0-9]x[0-9][0-9]'
# Prepended to the scripts run under Xvfb: waiting up to 100 looks for a
# window whose line in the window tree matches PATTERN, and up to 5 s for a
# process to end.
onDisplay='
waitForWindow() {  # waitForWindow PATTERN SECONDS_BETWEEN_LOOKS
    for i in $(seq 1 100); do
        xwininfo -root -tree 2>/dev/null | grep -q "$1" && return
        sleep "$2"
    done
}
waitForExit() {  # waitForExit PID
    for i in $(seq 1 50); do kill -0 "$1" 2>/dev/null || return; sleep 0.1; done
}
dismissWith() {  # dismissWith KEY PID: the key for a box; a program still running after it is stopped
    # Without a window manager a box that has only just shown may not have
    # the keyboard yet: the key again, twice at most.
    for attempt in 1 2 3; do
        xdotool key "$1"
        waitForExit "$2"
        kill -0 "$2" 2>/dev/null || return
    done
    echo "still running after $1" >&2 && kill "$2"
}
'
# Runs COMMAND in FOLDER under Xvfb with a SCREEN (WxHxD) until a window
# matching PATTERN shows, then takes box.png and windows.txt there and
# dismisses the window with Return. Leaves the tenths of a second it took the
# window to show in box.tenths, the exit code in code, the program's output
# in out.txt and err.txt.
#   runToBox FOLDER SCREEN PATTERN COMMAND...
runToBox() {
    local folder=$1 screen=$2
    shift 2
    xvfb-run -a -s "-screen 0 $screen" bash -c "$onDisplay"'
        cd "$1"; pattern=$2; shift 2
        start=$(date +%s%N)
        "$@" >out.txt 2>err.txt &
        pid=$!
        waitForWindow "$pattern" 0.2
        echo $((($(date +%s%N) - start) / 100000000)) >box.tenths
        sleep 1
        import -window root box.png
        xwininfo -root -tree >windows.txt
        # No window manager gives the box the keyboard (the program may
        # have had a window of its own before it): give it the focus.
        box=$(grep "$pattern" windows.txt | head -1 | awk "{print \$1}")
        [ -n "$box" ] && xdotool windowfocus "$box" 2>/dev/null
        dismissWith Return $pid
        wait $pid; echo $? >code' _ "$folder" "$@"
}

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

# 2. No pack: the catch-all box with the reason beneath its fixed text, a
#    key dismisses it, exit code 2, and the reason on standard error, which
#    names the folders searched and no installed data directory.
mkdir "$work/nopack" && cp "$build/quelvarnossa.exe" "$work/nopack/"
runToBox "$work/nopack" 640x480x24 "$unnamedBox" wine quelvarnossa.exe noaudio
check "no pack: the box shows" grep -q "$unnamedBox" "$work/nopack/windows.txt"
lines=$(textLines "$work/nopack/box.png" "$work/nopack/windows.txt" "$unnamedBox")
check "no pack: the reason beneath the fixed text ($lines lines in the box)" test "$lines" -ge 2
check "no pack: a key dismisses it, exit code 2" test "$(cat "$work/nopack/code")" = 2
check "no pack: the reason on standard error" \
    grep -q "couldn't read metadata.*QuelVarnOssa.dat" "$work/nopack/err.txt"
check "no pack: no installed data directory searched" \
    grep -q "not in the working directory, [^,]*nopack\$" <(tr -d '\r' <"$work/nopack/err.txt")

# 2b. A screen that cannot switch to 640x480 (Wine on a 1024x768 Xvfb): the
#     real-time run ends at once with the step that failed and the video
#     keyword as the way out, in the box and on standard error, exit code 2.
#     The video mode needs no display and still renders there.
mkdir "$work/screen" && cp "$build/quelvarnossa.exe" "$build/QuelVarnOssa.dat" "$work/screen/"
runToBox "$work/screen" 1024x768x24 "$unnamedBox" wine quelvarnossa.exe noaudio
(cd "$work/screen" && QVO_CODEC=rawvideo xvfb-run -a -s "-screen 0 1024x768x24" \
    wine quelvarnossa.exe video noaudio fps 1 >video.out 2>video.err; echo $? >video.code)
tenths=$(cat "$work/screen/box.tenths")
check "1024x768: the box within 10 s of the start ($((tenths / 10)).$((tenths % 10)) s)" test "$tenths" -lt 100
lines=$(textLines "$work/screen/box.png" "$work/screen/windows.txt" "$unnamedBox")
check "1024x768: the reason beneath the fixed text ($lines lines in the box)" test "$lines" -ge 3
check "1024x768: exit code 2" test "$(cat "$work/screen/code")" = 2
check "1024x768: the step that failed on standard error" grep -q "display could not be set up" "$work/screen/err.txt"
check "1024x768: the video keyword as the way out" grep -q '"quelvarnossa video" renders' "$work/screen/err.txt"
check "1024x768: the video mode renders (exit code $(cat "$work/screen/video.code"))" \
    test "$(cat "$work/screen/video.code")" = 0 -a \
    "$(ffprobe -v error -count_packets -select_streams v -show_entries stream=nb_read_packets -of csv=p=0 \
        "$work/screen/quel varn ossa.avi")" = 154
rm -f "$work/screen/quel varn ossa.avi"

# 3. Video mode at 10 fps with sound, Full Frames: 1522 frames equal to the
#    Linux renderer's, 152.2 s of sound equal to the Linux decode of the clip
#    (within a few LSB, and not one sample off), the progress dialog shown.
mkdir "$work/video" && cp "$build/quelvarnossa.exe" "$build/QuelVarnOssa.dat" "$work/video/"
xvfb-run -a -s "-screen 0 640x480x24" bash -c "$onDisplay"'
    cd "$1"
    QVO_CODEC=rawvideo wine quelvarnossa.exe video fps 10 >out.txt 2>err.txt &
    pid=$!
    waitForWindow "Rendering video" 0.1
    sleep 0.5
    xwininfo -root -tree >windows.txt
    wait $pid; echo $? >code' _ "$work/video"
avi="$work/video/quel varn ossa.avi"
check "video: exit code 0" test "$(cat "$work/video/code")" = 0
check "video: the progress dialog shows" grep -q '"Rendering video..."' "$work/video/windows.txt"
# Its window holds the client area; the frame is as wide on the right as
# the client's offset on the left.
IFS='x+' read -r w h x y <<<"$(grep '"Rendering video..."' "$work/video/windows.txt" |
    grep -o '[0-9]*x[0-9]*+[0-9]*+[0-9]*' | head -1)"
check "video: the progress dialog fits the 640-pixel screen (${w}x$h at $x,$y)" test $((x + w + x)) -le 640
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
runToBox "$work/big" 640x480x24 '"Error!"' env QVO_CODEC=rawvideo wine quelvarnossa.exe video fps 16
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

# 6. A codec offered that cannot compress (Wine has no compressor for Video
#    1, Cinepak or RLE), named by QVO_CODEC: refused before rendering with
#    the codec and the system's reason in the box and on standard error,
#    exit code 1, no file.
mkdir "$work/codec" && cp "$build/quelvarnossa.exe" "$build/QuelVarnOssa.dat" "$work/codec/"
runToBox "$work/codec" 640x480x24 '"Error!"' env QVO_CODEC=msvc wine quelvarnossa.exe video fps 10
lines=$(textLines "$work/codec/box.png" "$work/codec/windows.txt" '"Error!"')
check "codec that cannot compress: the box says which and why ($lines lines)" test "$lines" -ge 2
check "codec that cannot compress: exit code 1" test "$(cat "$work/codec/code")" = 1
check "codec that cannot compress: the codec and the reason on standard error" \
    grep -q "(msvc) cannot compress 640x480 frames of 24 bits here: .*(ICERR_" "$work/codec/err.txt"
check "codec that cannot compress: no file" test -z "$(ls "$work/codec" | grep -i '\.avi$')"

# 7. A cancelled codec dialog leaves an earlier render as it was and no
#    unfinished file beside it; in a fresh folder it leaves nothing.
mkdir "$work/keep" "$work/fresh"
cp "$build/quelvarnossa.exe" "$build/QuelVarnOssa.dat" "$work/keep/"
cp "$build/quelvarnossa.exe" "$build/QuelVarnOssa.dat" "$work/fresh/"
head -c 5000 /dev/urandom >"$work/earlier.avi"
cp "$work/earlier.avi" "$work/keep/quel varn ossa.avi"
for folder in keep fresh; do
    runToBox "$work/$folder" 640x480x24 '"Error!"' env QVO_CODEC=cancel wine quelvarnossa.exe video fps 10
done
check "cancel over an earlier render: exit code 1" test "$(cat "$work/keep/code")" = 1
check "cancel over an earlier render: its 5000 bytes unchanged" \
    cmp -s "$work/earlier.avi" "$work/keep/quel varn ossa.avi"
check "cancel over an earlier render: no other file" test "$(ls "$work/keep" | grep -ci '\.avi$')" = 1
check "cancel in a fresh folder: exit code 1" test "$(cat "$work/fresh/code")" = 1
check "cancel in a fresh folder: no file" test -z "$(ls "$work/fresh" | grep -i '\.avi$')"
# A finished render takes the earlier one's place (the unfinished file is
# moved over it only at the end).
(cd "$work/keep" && QVO_CODEC=rawvideo xvfb-run -a -s "-screen 0 640x480x24" \
    wine quelvarnossa.exe video noaudio fps 1 >out.txt 2>err.txt; echo $? >code)
check "a finished render replaces the earlier one" \
    test "$(cat "$work/keep/code")" = 0 -a \
    "$(ffprobe -v error -count_packets -select_streams v -show_entries stream=nb_read_packets -of csv=p=0 \
        "$work/keep/quel varn ossa.avi")" = 154 -a "$(ls "$work/keep" | grep -ci '\.avi$')" = 1
rm -f "$work/keep/quel varn ossa.avi"

# 8. Started from a console ("start /wait" from a console program, on a
#    terminal of its own), a GUI program attaches to it: the progress shows
#    there, and Ctrl-C at 10-29 % stops the render with the file completed.
mkdir "$work/console" && cp "$build/quelvarnossa.exe" "$build/QuelVarnOssa.dat" "$work/console/"
(cd "$work/console" && QVO_CODEC=rawvideo xvfb-run -a -s "-screen 0 640x480x24" \
    python3 "$here/onconsole.py" console.txt "Rendering video: +[12][0-9]%" quelvarnossa.exe \
    wine start /wait quelvarnossa.exe video fps 10; echo $? >code)
frames=$(tr '\r' '\n' <"$work/console/console.txt" | sed -n "s/^ *Render stopped: \([0-9]*\) frames.*/\1/p")
check "console: the progress shows there" grep -q "Rendering video: .*%" "$work/console/console.txt"
check "console: Ctrl-C stopped the render early (${frames:-no} frames)" test -n "$frames" -a "${frames:-0}" -lt 1522
check "console: exit code 0" test "$(cat "$work/console/code")" = 0
check "console: the file holds those frames" \
    test "$(ffprobe -v error -count_packets -select_streams v -show_entries stream=nb_read_packets -of csv=p=0 \
            "$work/console/quel varn ossa.avi")" = "$frames"
check "console: every frame decodes" \
    test -z "$(ffmpeg -v error -i "$work/console/quel varn ossa.avi" -f null - 2>&1)"
rm -f "$work/console/quel varn ossa.avi"

echo "$failures failure(s)"
test $failures -eq 0
