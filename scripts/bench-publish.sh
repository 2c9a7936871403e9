#!/bin/bash
# How fast qvo-render --publish makes its file, against the ffmpeg program
# doing the same job from the same frames and sound, pre-rendered raw:
# nearest-neighbour scale and pad to the same 4:2:0 BT.709 frame, the same
# libx264 and AAC settings, the same MP4 flags. Each round runs both, in the
# same run; the medians count. Ours renders its frames and decodes the
# music as it goes; ffmpeg is handed them. Both files carry x264's option
# string; the script checks they are the same.
#   scripts/bench-publish.sh [BUILD_DIR] [FROM TO]      (default: 0 4, at 60 fps)
#   QVO_BENCH_ROUNDS=3
set -eu
build=$(cd "${1:-build}" && pwd)
from=${2:-0}
to=${3:-4}
rounds=${QVO_BENCH_ROUNDS:-3}
fps=60
first=$((from * fps))
count=$(((to - from) * fps))
# The settings tools/render/publish.cpp chooses by default.
crf=17
chroma=-12
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pack="$build/QuelVarnOssa.dat"

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
# The frames of the slice and their sound, as the publish lays them.
set +o pipefail
"$build/qvo-render" --pack "$pack" --fps "$fps" --raw - 2>/dev/null |
    tail -c +$((first * 921600 + 1)) | head -c $((count * 921600)) >"$work/frames.bgr"
"$build/qvo-pack" extract "$pack" "data/kov-marrowin(clip).mp3" "$work/clip.mp3" >/dev/null
"$build/qvo-decode" "$work/clip.mp3" "$work/clip.raw" 2>/dev/null
begin=$((first * 44100 / fps))
end=$(((first + count) * 44100 / fps))
tail -c +$((begin * 4 + 1)) "$work/clip.raw" | head -c $(((end - begin) * 4)) >"$work/sound.raw"
set -o pipefail

# Wall seconds, and CPU seconds (user + system, every thread): on a machine
# others share the wall time swings with their load, the CPU time far less.
timed() {
    /usr/bin/time -o "$work/time" -f "%e %U %S" "$@" >"$work/log" 2>&1 || { echo "failed: $*" >&2; tail -5 "$work/log" >&2; exit 1; }
    awk '{printf "%s %.2f\n", $1, $2 + $3}' "$work/time"
}
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
column() { cut -d' ' -f"$1" "$2"; }

: >"$work/ours"
: >"$work/theirs"
for _ in $(seq "$rounds"); do
    QVO_TIMINGS=1 timed "$build/qvo-render" --pack "$pack" --fps "$fps" --publish "$work/ours.mp4" --from "$from" --to "$to" >>"$work/ours"
    grep "publish phases" "$work/log" >"$work/phases" || true
    timed ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt bgr24 -s 640x480 -r "$fps" -i "$work/frames.bgr" \
        -f s16le -ar 44100 -ac 2 -i "$work/sound.raw" \
        -vf "scale=2560:1920:flags=neighbor:out_color_matrix=bt709:out_range=tv,pad=3840:2160:640:120,format=yuv420p" \
        -c:v libx264 -preset veryfast -crf "$crf" -chromaoffset "$chroma" -profile:v high -g $((2 * fps)) \
        -color_primaries bt709 -color_trc bt709 -colorspace bt709 -color_range tv \
        -c:a aac -b:a 320k -movflags +faststart+write_colr "$work/theirs.mp4" >>"$work/theirs"
done
ours=$(column 1 "$work/ours" | median)
theirs=$(column 1 "$work/theirs" | median)
oursCpu=$(column 2 "$work/ours" | median)
theirsCpu=$(column 2 "$work/theirs" | median)
echo "rounds, wall s: ours $(column 1 "$work/ours" | tr '\n' ' ')/ ffmpeg $(column 1 "$work/theirs" | tr '\n' ' ')"
echo "rounds, CPU s:  ours $(column 2 "$work/ours" | tr '\n' ' ')/ ffmpeg $(column 2 "$work/theirs" | tr '\n' ' ')"
printf "%-22s %8s %8s %8s %9s %9s %9s\n" "slice" "ours s" "ffmpeg s" "ratio" "ours CPU" "ffm. CPU" "CPU ratio"
printf "%-22s %8.2f %8.2f %8.2f %9.2f %9.2f %9.2f\n" "${from}-${to} s, $count frames" "$ours" "$theirs" \
    "$(echo "$ours / $theirs" | bc -l)" "$oursCpu" "$theirsCpu" "$(echo "$oursCpu / $theirsCpu" | bc -l)"
opts() { strings -n 20 "$1" | grep -m1 "x264 - core" | sed 's/.*options: //'; }
if [ "$(opts "$work/ours.mp4")" = "$(opts "$work/theirs.mp4")" ]; then
    echo "x264 options: the same in both files ($(opts "$work/ours.mp4" | grep -o 'threads=[0-9]*' | head -1))"
else
    echo "x264 options DIFFER: ours $(opts "$work/ours.mp4") / ffmpeg $(opts "$work/theirs.mp4")"
fi
echo "ours, last round: $(cat "$work/phases")"
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "files: ours $(stat -c %s "$work/ours.mp4") bytes, ffmpeg $(stat -c %s "$work/theirs.mp4") bytes"
