#!/bin/bash
# What a viewer of the real-time show feels, measured on this machine:
# start-up to the first frame of the show (the pre-roll left out), the
# program's own memory (Anonymous in /proc/PID/smaps_rollup, 6 s in) and,
# with --sync, the music heard against the clock at every bar (a whole
# qvo-synccheck run, 155 s each). Medians of RUNS runs; with BASELINE_DIR
# the two builds take turns, so that both see the same load. --busy keeps
# one core busy with a burner meanwhile.
#   scripts/bench-show.sh [--runs N] [--busy] [--sync] BUILD_DIR [BASELINE_DIR]
# Needs xvfb-run; the demo under Xvfb with SDL's dummy audio output.
set -u
runs=5 busy=0 sync=0
while [ $# -gt 0 ]; do
    case $1 in
        --runs) runs=$2; shift 2 ;;
        --busy) busy=1; shift ;;
        --sync) sync=1; shift ;;
        *) break ;;
    esac
done
[ $# -ge 1 ] || { echo "usage: $0 [--runs N] [--busy] [--sync] BUILD_DIR [BASELINE_DIR]" >&2; exit 2; }
builds=("$(cd "$1" && pwd)")
[ $# -ge 2 ] && builds+=("$(cd "$2" && pwd)")
work=$(mktemp -d)
burner=
cleanup() { [ -n "$burner" ] && kill "$burner" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
if [ $busy = 1 ]; then sh -c 'while :; do :; done' & burner=$!; fi

# One start-up: "MS KB" (start-up to the first frame, anonymous memory).
startup_once() {
    local dir=$1
    xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
        cd "$1" || exit 1
        QVO_TIMINGS=1 SDL_AUDIODRIVER=dummy ./quelvarnossa 2>"$2" & pid=$!
        sleep 6
        kb=$(sed -n "s/^Anonymous: *\([0-9]*\) kB/\1/p" /proc/$pid/smaps_rollup)
        kill -TERM $pid; wait $pid
        ms=$(sed -n "s/^start-up to first presented frame: \([0-9.]*\) ms.*/\1/p" "$2")
        echo "$ms $kb"' _ "$dir" "$work/err"
}

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

for ((r = 1; r <= runs; ++r)); do
    for i in "${!builds[@]}"; do
        startup_once "${builds[$i]}" >>"$work/startup.$i"
        if [ $sync = 1 ]; then
            (cd "${builds[$i]}" && SDL_AUDIODRIVER=dummy ./qvo-synccheck 2>/dev/null) |
                sed -n 's/^heard - clock over all bars: \([-+0-9.]*\) \.\. \([-+0-9.]*\) ms.*/\1 \2/p' >>"$work/sync.$i"
        fi
    done
done

echo "load while measuring: $(cut -d' ' -f1-3 /proc/loadavg)$([ $busy = 1 ] && echo ', plus a burner on one core')"
for i in "${!builds[@]}"; do
    echo "${builds[$i]}:"
    echo "  start-up to the first frame, pre-roll left out: median $(cut -d' ' -f1 "$work/startup.$i" | median) ms" \
         "(runs: $(cut -d' ' -f1 "$work/startup.$i" | tr '\n' ' '))"
    echo "  anonymous memory 6 s in: median $(cut -d' ' -f2 "$work/startup.$i" | median | awk '{printf "%.1f", $1 / 1024}') MB"
    if [ $sync = 1 ]; then
        echo "  heard - clock over all bars: lowest median $(cut -d' ' -f1 "$work/sync.$i" | median) ms," \
             "highest median $(cut -d' ' -f2 "$work/sync.$i" | median) ms (runs: $(tr '\n' ';' <"$work/sync.$i"))"
    fi
done
