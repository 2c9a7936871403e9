#!/bin/bash
# qvo-render --publish as a user runs it: Ctrl-C once and twice, and paths
# that cannot be written or fill up. Short slices at 1440p and 10 fps keep
# it quick.
#   tests/e2e/publish.sh BUILD_DIR
# Exit 77 (skipped) without ffprobe.
set -u
build=$(cd "$1" && pwd)
render="$build/qvo-render"
pack="$build/QuelVarnOssa.dat"
command -v ffprobe >/dev/null || { echo "ffprobe missing"; exit 77; }
work=$(mktemp -d)
full="$work/full"
trap 'mountpoint -q "$full" && umount "$full"; rm -rf "$work"' EXIT

. "$(dirname "${BASH_SOURCE[0]}")/check.sh"
publish() { "$render" --pack "$pack" --fps 10 --height 1440 --publish "$@"; }
probe() { ffprobe -v error -count_packets -select_streams "$2" -show_entries "stream=$3" -of csv=p=0 "$1"; }
mp4s() { find "$1" -name '*.mp4' | wc -l; }  # the file and any partial one
# A minute's publish in the background ($shell), once its first frames are out.
startPublish() {
    (publish "$1" --to 60 >"$work/out.txt" 2>&1) &
    shell=$!
    for _ in $(seq 150); do
        grep -q "Rendering video: *[1-9]" "$work/out.txt" 2>/dev/null && break
        sleep 0.2
    done
}

# 1. Ctrl-C mid-publish: the file is completed, playable, with the frames so
#    far and their sound, under its own name.
mkdir "$work/stop"
startPublish "$work/stop/show.mp4"
pkill -INT -P "$shell" -x qvo-render
wait "$shell"
check "Ctrl-C exits 0" test $? -eq 0
check "Ctrl-C says the file is completed" grep -q "completing the file" "$work/out.txt"
frames=$(probe "$work/stop/show.mp4" v:0 nb_read_packets)
check "Ctrl-C leaves a readable file with some frames ($frames)" test "${frames:-0}" -gt 0 -a "${frames:-0}" -lt 600
duration=$(ffprobe -v error -select_streams a:0 -show_entries stream=duration -of csv=p=0 "$work/stop/show.mp4")
check "Ctrl-C: the sound lasts as long as those frames ($duration s)" \
    test "$(echo "${duration:-0} * 10 == ${frames:-1}" | bc -l)" -eq 1
check "Ctrl-C: the index is at the front" test "$(head -c 64 "$work/stop/show.mp4" | grep -c moov)" -eq 1
check "Ctrl-C: no partial file left" test "$(mp4s "$work/stop")" -eq 1

# 2. Ctrl-C twice: the publish is abandoned and nothing is left.
mkdir "$work/abandon"
startPublish "$work/abandon/show.mp4"
pkill -INT -P "$shell" -x qvo-render
pkill -INT -P "$shell" -x qvo-render
wait "$shell"
check "Ctrl-C twice exits 130" test $? -eq 130
check "Ctrl-C twice leaves no file" test "$(mp4s "$work/abandon")" -eq 0

# 3. A folder that is not there: exit 1 with the reason, nothing written.
publish "$work/missing/show.mp4" --to 1 >"$work/out.txt" 2>&1
check "missing folder exits 1" test $? -eq 1
check "missing folder: the reason is given" grep -q "cannot create .*No such file or directory" "$work/out.txt"

# 4. A disk that fills up mid-publish (a 1 MB tmpfs, where this user may
#    mount one): exit 1 with the reason, and no file, whole or partial.
mkdir "$full"
if mount -t tmpfs -o size=1m tmpfs "$full" 2>/dev/null; then
    publish "$full/show.mp4" --to 3 >"$work/out.txt" 2>&1
    check "full disk exits 1" test $? -eq 1
    check "full disk: the reason is given" grep -q "No space left on device" "$work/out.txt"
    check "full disk: no file left" test "$(mp4s "$full")" -eq 0
else
    echo "skip full disk: cannot mount a tmpfs here"
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
