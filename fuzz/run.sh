#!/bin/sh
# Builds the libFuzzer targets (fuzz/CMakeLists.txt: clang, AddressSanitizer,
# UndefinedBehaviorSanitizer, on the program's own libraries) and runs each
# for DURATION seconds.
#
#   fuzz/run.sh 600                # every target, ten minutes each
#   fuzz/run.sh 60 mp3info_fuzz    # one of them
#
# Build output and the growing corpora go to build-fuzz/ (or $QVO_FUZZ_DIR);
# the seeds in fuzz/corpus*/ are never modified. A crash leaves its input as
# build-fuzz/TARGET-crash-* and the script exits non-zero, after running the
# other targets too.
set -eu
duration=${1:?usage: fuzz/run.sh DURATION_SECONDS [TARGET...]}
shift
root=$(cd "$(dirname "$0")/.." && pwd)
out=${QVO_FUZZ_DIR:-$root/build-fuzz}
targets=${*:-pack_reader_fuzz mp3info_fuzz}

"$root/scripts/deps.sh" fuzz
CC=${CC_FUZZ:-clang} CXX=${CXX_FUZZ:-clang++} cmake -S "$root" -B "$out" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQVO_FUZZ=ON -DQVO_BUILD_TESTS=OFF -DQVO_BUILD_BENCH=OFF -DQVO_WERROR=OFF -DQVO_SANITIZE=OFF >/dev/null
# shellcheck disable=SC2086
cmake --build "$out" -j"${QVO_JOBS:-$(nproc)}" --target $targets

failed=""
for target in $targets; do
    case $target in
    # 4608 bytes hold a directory of 1025 one-letter entries, one more than a pack may have.
    pack_reader_fuzz) seeds=corpus dict=pack.dict max_len=4608 ;;
    # An ID3v2 header, the tag frame and the first sound frame fit in 4 KB.
    mp3info_fuzz) seeds=corpus-mp3 dict=mp3.dict max_len=4096 ;;
    *) echo "fuzz/run.sh: no target '$target' (pack_reader_fuzz, mp3info_fuzz)" >&2; exit 2 ;;
    esac
    corpus="$out/corpus-${target%_fuzz}"
    mkdir -p "$corpus"
    cp -n "$root/fuzz/$seeds"/* "$corpus/" 2>/dev/null || true
    echo "fuzz/run.sh: $target for $duration s"
    (cd "$out" && "$out/fuzz/$target" -max_total_time="$duration" -max_len="$max_len" -timeout=10 \
        -dict="$root/fuzz/$dict" -print_final_stats=1 -artifact_prefix="$out/$target-" "$corpus") ||
        failed="$failed $target"
done
if [ -n "$failed" ]; then
    echo "fuzz/run.sh: failed:$failed (inputs: $out/*-crash-*, *-leak-*, *-timeout-*)" >&2
    exit 1
fi
