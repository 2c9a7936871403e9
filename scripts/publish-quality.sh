#!/bin/bash
# What a publish keeps of the picture, and what it costs: five one-second
# slices spread over the show are published at the default settings (or
# with QVO_PUBLISH_ARGS, e.g. "--crf 18 --height 1440"); four frames of each
# are decoded by ffmpeg and cropped, scaled back to 640x480 by nearest
# neighbour (each block's sample at 1,1) and turned into RGB by the BT.709
# limited-range matrix the file is tagged with, then compared with the
# renderer's own frames, per colour. (ffmpeg's own scaler is not used for
# the way back: its YCbCr to RGB makes 27 dB of an exact red here.)
# Prints the PSNR table, the size per minute and the time per second of the
# show, extrapolated to the whole show (one slice timed again three seconds
# long parts what each second costs from what a publish pays once).
#   scripts/publish-quality.sh [BUILD_DIR]
set -eu
build=$(cd "${1:-build}" && pwd)
extra=${QVO_PUBLISH_ARGS:-}
fps=60
starts="15 45 75 105 135"
offsets="0 20 40 59"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pack="$build/QuelVarnOssa.dat"

height=2160
case " $extra " in *" --height 1440 "*) height=1440 ;; esac
if [ "$height" = 2160 ]; then factor=4 crop=2560:1920:640:120; else factor=3 crop=1920:1440:320:0; fi

cat >"$work/psnr.py" <<'EOF'
# psnr.py DECODED.yuv REFERENCE.ppm FACTOR: "R G B" in dB
import math, sys
f = int(sys.argv[3]); W, H = 640 * f, 480 * f
yuv = open(sys.argv[1], 'rb').read()
Y, U, V = yuv[:W * H], yuv[W * H:W * H * 5 // 4], yuv[W * H * 5 // 4:]
ref = open(sys.argv[2], 'rb').read()[15:]
se = [0, 0, 0]
for sy in range(480):
    for sx in range(640):
        x, y = f * sx + 1, f * sy + 1
        l = (Y[y * W + x] - 16) * 255 / 219
        cb = (U[y // 2 * (W // 2) + x // 2] - 128) * 255 / 224
        cr = (V[y // 2 * (W // 2) + x // 2] - 128) * 255 / 224
        rgb = (l + 1.5748 * cr, l - 0.1873 * cb - 0.4681 * cr, l + 1.8556 * cb)
        o = (sy * 640 + sx) * 3
        for c in range(3):
            d = min(255, max(0, round(rgb[c]))) - ref[o + c]
            se[c] += d * d
print(" ".join("%.2f" % (10 * math.log10(255 * 255 * 307200 / s) if s else 99) for s in se))
EOF

dumps=()
for s in $starts; do
    for o in $offsets; do
        k=$((s * fps + o))
        dumps+=(--dump "$k" "$work/ref-$k.ppm")
    done
done
"$build/qvo-render" --pack "$pack" --fps "$fps" "${dumps[@]}" 2>/dev/null

printf "%7s %7s %7s %7s\n" frame "R dB" "G dB" "B dB"
bytes=0
seconds=0
for s in $starts; do
    out="$work/slice-$s.mp4"
    # shellcheck disable=SC2086
    /usr/bin/time -o "$work/time" -f "%e" "$build/qvo-render" --pack "$pack" --fps "$fps" \
        --publish "$out" --from "$s" --to $((s + 1)) $extra 2>"$work/log" || { cat "$work/log" >&2; exit 1; }
    seconds=$(echo "$seconds + $(cat "$work/time")" | bc -l)
    [ "$s" = 75 ] && one=$(cat "$work/time")
    bytes=$((bytes + $(stat -c %s "$out")))
    for o in $offsets; do
        k=$((s * fps + o))
        ffmpeg -nostdin -v error -y -i "$out" -vf "select='eq(n\\,$o)',crop=$crop" -frames:v 1 \
            -f rawvideo -pix_fmt yuv420p "$work/decoded.yuv"
        read -r r g b < <(python3 "$work/psnr.py" "$work/decoded.yuv" "$work/ref-$k.ppm" "$factor")
        printf "%7d %7s %7s %7s\n" "$k" "$r" "$g" "$b"
        echo "$r $g $b" >>"$work/all"
    done
done
awk '{for (c = 1; c <= 3; c++) if (NR == 1 || $c < m[c]) m[c] = $c}
     END {printf "%7s %7.2f %7.2f %7.2f\n", "min", m[1], m[2], m[3]}' "$work/all"
n=$(echo "$starts" | wc -w)
echo "size: $(echo "$bytes / $n * 60 / 1000000" | bc -l | xargs printf "%.0f") MB per minute of show"
echo "time: $(echo "$seconds / $n" | bc -l | xargs printf "%.1f") s per second of show" \
     "(each slice renders the timeline up to it too), about" \
     "$(echo "$seconds / $n * 152 / 60" | bc -l | xargs printf "%.0f") min for the whole show"
# What a publish pays once (start-up, the timeline up to the slice, the
# encoder's last frames, the index) apart from what each second costs: the
# middle slice again, three seconds long.
# shellcheck disable=SC2086
/usr/bin/time -o "$work/time" -f "%e" "$build/qvo-render" --pack "$pack" --fps "$fps" \
    --publish "$work/three.mp4" --from 75 --to 78 $extra 2>"$work/log" || { cat "$work/log" >&2; exit 1; }
three=$(cat "$work/time")
perSecond=$(echo "($three - $one) / 2" | bc -l)
echo "      75-76 s took $one s, 75-78 s $three s: $(printf "%.1f" "$perSecond") s per second of show," \
     "$(echo "$one - $perSecond" | bc -l | xargs printf "%.1f") s once; the whole show about" \
     "$(echo "($one - $perSecond + 152 * $perSecond) / 60" | bc -l | xargs printf "%.0f") min"
