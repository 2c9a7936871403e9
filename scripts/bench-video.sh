#!/bin/bash
# How fast the video mode renders, against real time (152 s) and against the
# ffmpeg program encoding the same 6082 frames, pre-rendered raw, with the
# same codec, measured in the same run.
#   scripts/bench-video.sh [BUILD_DIR] [CODEC...]     (default: utvideo)
#   scripts/bench-video.sh build rawvideo utvideo ffv1 huffyuv mjpeg libx264
set -eu
build=$(cd "${1:-build}" && pwd)
shift || true
codecs=${*:-utvideo}
# The 5.6 GB of raw frames go to memory when there is room, so that neither
# side of the comparison waits for the disk to flush them.
tmp=${TMPDIR:-/tmp}
if [ "$(df --output=avail -k /dev/shm 2>/dev/null | tail -1)" -gt 7000000 ] 2>/dev/null; then tmp=/dev/shm; fi
work=$(mktemp -d "$tmp/qvo-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

seconds() { python3 -c "import sys; print(f'{float(sys.argv[1]):.2f}')" "$1"; }
timed() {  # timed COMMAND... : wall seconds on stdout, the command's output in $work/log
    local begin end
    begin=$(date +%s.%N)
    "$@" >>"$work/log" 2>&1 || { echo "failed: $*" >&2; tail -5 "$work/log" >&2; exit 1; }
    end=$(date +%s.%N)
    echo "$end - $begin" | bc
}

# The same frames the video mode renders, as ffmpeg's input.
"$build/qvo-render" --pack "$build/QuelVarnOssa.dat" --fps 40 --raw "$work/frames.bgr" 2>>"$work/log"
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

printf "%-9s %10s %9s %12s %13s\n" codec "render s" "x real" "ffmpeg s" "render/ffmpeg"
for codec in $codecs; do
    ours=$(cd "$work" && timed env -u DISPLAY -u WAYLAND_DISPLAY QVO_CODEC="$codec" \
        "$build/quelvarnossa" video fps 40)
    rm -f "$work/quel varn ossa.avi"; sync
    # shellcheck disable=SC2046
    theirs=$(timed ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt bgr24 -s 640x480 -r 40 \
        -i "$work/frames.bgr" $(ffmpeg_options "$codec") "$work/baseline.avi")
    rm -f "$work/baseline.avi"; sync
    printf "%-9s %10s %9s %12s %13s\n" "$codec" "$(seconds "$ours")" \
        "$(seconds "$(echo "152 / $ours" | bc -l)")" "$(seconds "$theirs")" \
        "$(seconds "$(echo "$ours / $theirs" | bc -l)")"
done
