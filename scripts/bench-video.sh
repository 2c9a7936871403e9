#!/bin/bash
# How fast the video mode renders, against real time (152 s) and against the
# ffmpeg program encoding the same 6082 frames, pre-rendered raw, with the
# same codec and the same PCM sound muxed, measured in the same run: each
# round runs both, and the best of the rounds counts. CPU seconds per frame
# are reported too (user + system), and for the render alone.
#   scripts/bench-video.sh [BUILD_DIR] [CODEC...]     (default: utvideo)
#   QVO_BENCH_ROUNDS=3 scripts/bench-video.sh build rawvideo utvideo ffv1 huffyuv mjpeg libx264
set -eu
build=$(cd "${1:-build}" && pwd)
shift || true
codecs=${*:-utvideo}
rounds=${QVO_BENCH_ROUNDS:-3}
frames=6082
samples=6705405  # floor(6082 * 44100 / 40): the sound the video mode writes
# The 5.6 GB of raw frames go to memory when there is room, so that neither
# side of the comparison waits for the disk to flush them.
tmp=${TMPDIR:-/tmp}
if [ "$(df --output=avail -k /dev/shm 2>/dev/null | tail -1)" -gt 7000000 ] 2>/dev/null; then tmp=/dev/shm; fi
work=$(mktemp -d "$tmp/qvo-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

fmt() { printf "%.2f" "$1"; }
# timed COMMAND...: "wall cpu" in seconds; the command's output goes to $work/log.
timed() {
    /usr/bin/time -o "$work/time" -f "%e %U %S" "$@" >>"$work/log" 2>&1 ||
        { echo "failed: $*" >&2; tail -5 "$work/log" >&2; exit 1; }
    awk '{print $1, $2 + $3}' "$work/time"
}
best() { sort -n | head -1; }  # of "wall cpu" lines: the shortest wall

echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
cp "$build/QuelVarnOssa.dat" "$work/"
# The same frames and sound the video mode writes, as ffmpeg's input.
read -r _ render_cpu < <(timed "$build/qvo-render" --pack "$build/QuelVarnOssa.dat" --fps 40 --raw /dev/null)
"$build/qvo-render" --pack "$build/QuelVarnOssa.dat" --fps 40 --raw "$work/frames.bgr" 2>>"$work/log"
"$build/qvo-pack" extract "$build/QuelVarnOssa.dat" "data/kov-marrowin(clip).mp3" "$work/clip.mp3" >/dev/null
ffmpeg -nostdin -v error -i "$work/clip.mp3" -f s16le -ac 2 -ar 44100 "$work/clip.raw"
head -c $((samples * 4)) "$work/clip.raw" >"$work/sound.raw"
rm "$work/clip.raw"
sync

# ffmpeg's options matching what the codec dialog's choice gives.
ffmpeg_options() {
    case $1 in
        rawvideo) echo "-c:v rawvideo -pix_fmt bgr24" ;;
        utvideo) echo "-c:v utvideo -pix_fmt gbrp" ;;
        ffv1) echo "-c:v ffv1 -level 3 -slices 4 -pix_fmt bgr0" ;;
        huffyuv) echo "-c:v huffyuv -pix_fmt rgb24" ;;
        mjpeg) echo "-c:v mjpeg -q:v 3 -pix_fmt yuvj420p" ;;
        libx264) echo "-c:v libx264 -preset veryfast -crf 18 -bf 0 -pix_fmt yuv420p" ;;
    esac
}

printf "%-9s %9s %7s %9s %13s %14s %16s\n" codec "render s" "x real" "ffmpeg s" "render/ffmpeg" "ours ms CPU/fr" "ffmpeg ms CPU/fr"
for codec in $codecs; do
    : >"$work/ours"
    : >"$work/theirs"
    # One render that is not timed: the first file written lands in memory
    # the machine has not touched yet, which costs this virtual machine far
    # more than reusing what the run before freed. After it, each side
    # writes where the other's file was.
    (cd "$work" && timed env -u DISPLAY -u WAYLAND_DISPLAY QVO_CODEC="$codec" \
        "$build/quelvarnossa" video fps 40) >/dev/null
    rm -f "$work/quel varn ossa.avi"; sync
    for _ in $(seq "$rounds"); do
        (cd "$work" && timed env -u DISPLAY -u WAYLAND_DISPLAY QVO_CODEC="$codec" \
            "$build/quelvarnossa" video fps 40) >>"$work/ours"
        rm -f "$work/quel varn ossa.avi"; sync
        # shellcheck disable=SC2046
        timed ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt bgr24 -s 640x480 -r 40 -i "$work/frames.bgr" \
            -f s16le -ar 44100 -ac 2 -i "$work/sound.raw" $(ffmpeg_options "$codec") -c:a pcm_s16le \
            "$work/baseline.avi" >>"$work/theirs"
        rm -f "$work/baseline.avi"; sync
    done
    echo "  $codec rounds, wall s: ours $(cut -d' ' -f1 "$work/ours" | tr '\n' ' ')/ ffmpeg $(cut -d' ' -f1 "$work/theirs" | tr '\n' ' ')" >&2
    read -r ours ours_cpu < <(best <"$work/ours")
    read -r theirs theirs_cpu < <(best <"$work/theirs")
    printf "%-9s %9s %7s %9s %13s %14s %16s\n" "$codec" "$(fmt "$ours")" "$(fmt "$(echo "152 / $ours" | bc -l)")" \
        "$(fmt "$theirs")" "$(fmt "$(echo "$ours / $theirs" | bc -l)")" \
        "$(fmt "$(echo "$ours_cpu * 1000 / $frames" | bc -l)")" "$(fmt "$(echo "$theirs_cpu * 1000 / $frames" | bc -l)")"
done
echo "render alone (qvo-render, no file): $(fmt "$(echo "$render_cpu * 1000 / $frames" | bc -l)") ms CPU per frame"
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
