#!/bin/bash
# Video mode as a user runs it, headless: renders read back with ffprobe and
# ffmpeg, and the ways a render can end early.
#   tests/e2e/video.sh BUILD_DIR
# Exit 77 (skipped) without ffmpeg/ffprobe.
set -u
build=$(cd "$1" && pwd)
demo="$build/quelvarnossa"
pack="$build/QuelVarnOssa.dat"
command -v ffprobe >/dev/null && command -v ffmpeg >/dev/null || { echo "ffprobe/ffmpeg missing"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
avi="$work/quel varn ossa.avi"

. "$(dirname "${BASH_SOURCE[0]}")/check.sh"
headless() { env -u DISPLAY -u WAYLAND_DISPLAY SDL_AUDIODRIVER=dummy "$@"; }
render() { (cd "$work" && headless "$@" "$demo" "${args[@]}") >"$work/out.txt" 2>&1; }
probe() { ffprobe -v error -count_packets -select_streams "$1" -show_entries "stream=$2" -of csv=p=0 "$avi"; }
aviFiles() { ls "$work" | grep -c '\.avi$'; }  # the render and any partial one
streams() { ffprobe -v error -show_entries stream=codec_type -of csv=p=0 "$avi" | tr '\n' ' '; }
# The largest sample difference between the sound A and the start of B
# (99999 when B is shorter).
maxDifference() {
    python3 - "$1" "$2" <<'EOF'
import array, sys
a = array.array('h'); a.frombytes(open(sys.argv[1], 'rb').read())
b = array.array('h'); b.frombytes(open(sys.argv[2], 'rb').read())
print(max((abs(x - y) for x, y in zip(a, b)), default=0) if len(b) >= len(a) else 99999)
EOF
}
cp "$pack" "$work/"

# 1. No sound, 10 fps: one stream of 1522 frames equal to the headless
#    renderer's. Ut Video and HuffYUV frames are made by our own encoders:
#    each packet must also be the one libavcodec's encoder makes of the same
#    picture.
packets() { awk -F, '!/^#/ {gsub(/ /,"",$6); print $6}'; }
args=(video noaudio fps 10)
for codec in utvideo:gbrp huffyuv:rgb24; do
    name=${codec%:*}
    render env QVO_CODEC="$name"
    check "$name noaudio fps 10 exits 0" test $? -eq 0
    check "$name noaudio fps 10: one video stream" test "$(streams)" = "video "
    check "$name noaudio fps 10: 1522 frames at 10/1" test "$(probe v:0 r_frame_rate,nb_read_packets)" = "10/1,1522"
    if [ -x "$build/qvo-render" ]; then
        ffmpeg -v error -i "$avi" -f framemd5 -pix_fmt bgr24 - | packets >"$work/avi.md5"
        "$build/qvo-render" --pack "$pack" --fps 10 --md5 2>/dev/null | awk '{print $2}' >"$work/render.md5"
        check "$name noaudio fps 10: frames equal the headless renderer's" cmp -s "$work/avi.md5" "$work/render.md5"
        ffmpeg -v error -i "$avi" -map 0:v -c copy -f framemd5 - | packets >"$work/ours.md5"
        "$build/qvo-render" --pack "$pack" --fps 10 --raw /dev/stdout 2>/dev/null |
            ffmpeg -v error -f rawvideo -pix_fmt bgr24 -s 640x480 -r 10 -i - -c:v "$name" -pix_fmt "${codec#*:}" \
                -f framemd5 - | packets >"$work/libavcodec.md5"
        check "$name noaudio fps 10: packets equal libavcodec's" cmp -s "$work/ours.md5" "$work/libavcodec.md5"
    fi
    rm -f "$avi"
done

# 2. With sound at 40 fps: 6082 frames and 6705405 sample frames, the music
#    as ffmpeg itself decodes the clip.
args=(video fps 40)
render env QVO_CODEC=utvideo
check "fps 40 exits 0" test $? -eq 0
check "fps 40: video and audio" test "$(streams)" = "video audio "
check "fps 40: 6082 frames at 40/1" test "$(probe v:0 r_frame_rate,nb_read_packets)" = "40/1,6082"
check "fps 40: 44.1 kHz stereo 16-bit" test "$(probe a:0 sample_fmt,sample_rate,channels)" = "s16,44100,2"
ffmpeg -v error -i "$avi" -map 0:a -f s16le -y "$work/avi.raw"
check "fps 40: 6705405 sample frames" test "$(stat -c %s "$work/avi.raw")" -eq $((6705405 * 4))
if command -v python3 >/dev/null; then
    "$build/qvo-pack" extract "$pack" "data/kov-marrowin(clip).mp3" "$work/clip.mp3" >/dev/null
    ffmpeg -v error -i "$work/clip.mp3" -f s16le -ac 2 -ar 44100 -y "$work/clip.raw"
    diff=$(maxDifference "$work/avi.raw" "$work/clip.raw")
    check "fps 40: the sound is the clip's decode (max difference $diff)" test "$diff" -le 4
fi
rm -f "$avi" "$work"/avi.raw

# 3. The disk fills up: the write error, exit code 1, no crash.
args=(video noaudio fps 40)
(ulimit -f 20000; render env QVO_CODEC=utvideo)
code=$?
check "full disk exits 1" test $code -eq 1
check "full disk says why" grep -q "Couldn't write to avi stream - 'File too large'" "$work/out.txt"
rm -f "$avi"

# 3b. A file-size limit met late (the last frames, the index) is a failure
#     too: exit 1, the write's text, never "Render done", and the unfinished
#     file removed.
args=(video fps 2)
render env QVO_CODEC=rawvideo
whole=$(stat -c %s "$avi")
for limit in 4 $(((whole - 2000000) / 1024)) $(((whole - 1024) / 1024)); do
    (ulimit -f "$limit"; render env QVO_CODEC=rawvideo)
    code=$?
    check "limit ${limit} KB of $((whole / 1024)): exit 1 and the failing write named" \
        test $code -eq 1 -a "$(grep -c "Render done" "$work/out.txt")" -eq 0
    check "limit ${limit} KB: the reason and the file's state" \
        grep -q "Couldn't .* - 'File too large'" "$work/out.txt"
    check "limit ${limit} KB: the unfinished file removed" \
        test "$(ls "$work" | grep -c partial-)" -eq 0 -a "$(grep -c "unfinished render was removed" "$work/out.txt")" -eq 1
    rm -f "$avi"
done

# 4. The codec dialog cancelled: exit 1, no file; an earlier render of the
#    same name is kept as it was.
args=(video noaudio)
render env QVO_CODEC=cancel
check "cancel exits 1" test $? -eq 1
check "cancel says so" grep -q "avi dialog was aborted!" "$work/out.txt"
check "cancel leaves no file" test "$(aviFiles)" -eq 0
head -c 5000 /dev/urandom >"$avi" && cp "$avi" "$work/earlier"
render env QVO_CODEC=cancel
check "cancel over an earlier render keeps it" cmp -s "$avi" "$work/earlier"
check "cancel over an earlier render leaves nothing else" test "$(aviFiles)" -eq 1
rm -f "$avi" "$work/earlier"

# 5. A frame rate of 0 (the first number on the line) is refused first.
args=(video sound=0 fps 30)
render env QVO_CODEC=utvideo
check "fps 0 exits 1" test $? -eq 1
check "fps 0 says what was read" grep -q "at 0 frames per second" "$work/out.txt"
check "fps 0 says how to write it" grep -q "\"video fps 30 sound=0\"" "$work/out.txt"
check "fps 0 leaves no file" test ! -e "$avi"

# 6. Ctrl-C mid-render: the file is completed with the frames so far and
#    their sound.
(cd "$work" && headless QVO_CODEC=utvideo "$demo" video fps 40 >"$work/out.txt" 2>&1) &
shell=$!
for _ in $(seq 100); do
    grep -q "Rendering video: *[1-9]" "$work/out.txt" 2>/dev/null && break
    sleep 0.2
done
pkill -INT -P "$shell" -x quelvarnossa
wait "$shell"
code=$?
check "Ctrl-C exits 0" test $code -eq 0
frames=$(probe v:0 nb_read_packets)
check "Ctrl-C leaves a readable file with some frames ($frames)" test "${frames:-0}" -gt 0 -a "${frames:-0}" -lt 6082
ffmpeg -v error -i "$avi" -map 0:a -f s16le -y "$work/avi.raw"
check "Ctrl-C: the sound of those frames" test "$(stat -c %s "$work/avi.raw")" -eq $((frames * 44100 / 40 * 4))

# 7. Real-time capture keeps real-time pace: the music plays through the
#    (dummy) device while the frames wait for its sound. Ctrl-C after 5 s.
#    (Half speed was the old fault; the margin is for a busy machine.)
(cd "$work" && headless QVO_REALTIME_CAPTURE=1 QVO_CODEC=rawvideo "$demo" video fps 40 >"$work/out.txt" 2>&1) &
shell=$!
sleep 5
pkill -INT -P "$shell" -x quelvarnossa
wait "$shell"
check "real-time capture exits 0 after Ctrl-C" test $? -eq 0
read -r frames seconds < <(sed -n 's/^Render stopped: \([0-9]*\) frames.* in \([0-9.]*\) s$/\1 \2/p' "$work/out.txt")
check "real-time capture: $frames frames in $seconds s at 40 fps, at least 75 % of real time" \
    test "$(echo "${frames:-0} / 40 >= 0.75 * ${seconds:-1}" | bc -l)" -eq 1
ffmpeg -v error -i "$avi" -map 0:a -f s16le -y "$work/avi.raw"
if [ -f "$work/clip.raw" ]; then
    diff=$(maxDifference "$work/avi.raw" "$work/clip.raw")
    check "real-time capture: the sound is the clip's from its start (max difference $diff)" test "$diff" -le 4
fi

# 8. Two renders in one folder at once: each writes a file of its own, both
#    end well, and the file left is whole: the one that finished last.
(cd "$work" && headless QVO_CODEC=utvideo "$demo" video fps 5 >"$work/first.txt" 2>&1) &
first=$!
sleep 0.5
(cd "$work" && headless QVO_CODEC=rawvideo "$demo" video noaudio fps 2 >"$work/second.txt" 2>&1)
second=$?
wait $first
check "two renders at once: both exit 0" test $? -eq 0 -a $second -eq 0
check "two renders at once: one file, the last to finish (762 frames with sound)" \
    test "$(aviFiles),$(probe v:0 nb_read_packets),$(streams)" = "1,762,video audio "
rm -f "$avi"

# 9. Damaged music: 4 KB of noise in the middle of the clip. The decoder
#    passes over it and says where; the sound after the damage is there.
#    A clip cut to a tenth: the render says where the music ends.
mkdir "$work/damaged"
for t in ossa quel varn; do "$build/qvo-pack" extract "$pack" "data/$t.raw" "$work/damaged/$t.raw" >/dev/null; done
"$build/qvo-pack" extract "$pack" "data/kov-marrowin(clip).mp3" "$work/damaged/clip.mp3" >/dev/null
damagedRender() {  # damagedRender PYTHON_EXPRESSION_OF_d: the clip's bytes d changed, packed, rendered
    python3 -c "import sys; d = bytearray(open(sys.argv[1], 'rb').read()); d = $1; open(sys.argv[2], 'wb').write(d)" \
        "$work/damaged/clip.mp3" "$work/damaged/changed.mp3"
    (cd "$work/damaged" && "$build/qvo-pack" create QuelVarnOssa.dat data/ossa.raw=ossa.raw data/quel.raw=quel.raw \
        data/varn.raw=varn.raw "data/kov-marrowin(clip).mp3=changed.mp3" >/dev/null &&
        headless QVO_CODEC=rawvideo "$demo" video fps 2) >"$work/out.txt" 2>&1
}
damagedRender "d[:len(d) // 2] + bytes((i * 131 + 7) % 251 for i in range(4096)) + d[len(d) // 2 + 4096:]"
check "damaged music: the render exits 0" test $? -eq 0
check "damaged music: says what was skipped and where" grep -q "damaged bytes skipped at 7[0-9.]* s" "$work/out.txt"
ffmpeg -v info -i "$work/damaged/quel varn ossa.avi" -map 0:a -ss 100 -t 40 -af volumedetect -f null - 2>"$work/volume.txt"
check "damaged music: the sound after the damage is there ($(grep -o "mean_volume.*" "$work/volume.txt"))" \
    grep -q "mean_volume: -[1-4][0-9]\." "$work/volume.txt"
damagedRender "d[:len(d) // 10]"
check "music cut short: says when it ends" grep -q "the clip ends at 15\.[0-9]* s of its 155\.00 s" "$work/out.txt"

[ $failures -eq 0 ] && echo "all video checks passed" || echo "$failures video checks failed"
[ $failures -eq 0 ]
