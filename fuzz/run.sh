#!/bin/sh
# Builds the pack-reader fuzz target with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs it for DURATION seconds.
#
#   fuzz/run.sh 600            # ten minutes
#
# Build output and the growing corpus go to build-fuzz/ (or $QVO_FUZZ_DIR);
# the seeds in fuzz/corpus/ are never modified. A crash leaves its input as
# build-fuzz/crash-* and the script exits non-zero.
set -eu
duration=${1:?usage: fuzz/run.sh DURATION_SECONDS}
root=$(cd "$(dirname "$0")/.." && pwd)
out=${QVO_FUZZ_DIR:-$root/build-fuzz}
mkdir -p "$out/corpus"
cxx=${CXX_FUZZ:-clang++}

# Coverage is taken from the reader, not from the target's own checks.
printf 'src:*/fuzz/pack_reader_fuzz.cpp\n' >"$out/coverage-ignore.txt"
flags="-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -ffp-contract=off -I$root"
flags="$flags -fsanitize-coverage-ignorelist=$out/coverage-ignore.txt"
# shellcheck disable=SC2046
$cxx $flags $(pkg-config --cflags sdl2) -o "$out/pack_reader_fuzz" \
    "$root/fuzz/pack_reader_fuzz.cpp" \
    "$root/source/fileserver.cpp" "$root/source/exceptionserver.cpp" "$root/source/debugserver.cpp" \
    "$root/source/processstate.cpp" "$root/platform/sdl/win32.cpp" $(pkg-config --libs sdl2)

cp -n "$root"/fuzz/corpus/* "$out/corpus/" 2>/dev/null || true
cd "$out"
# 4608 bytes hold a directory of 1025 one-letter entries, one more than a pack may have.
exec ./pack_reader_fuzz -max_total_time="$duration" -max_len=4608 -timeout=10 \
    -dict="$root/fuzz/pack.dict" -print_final_stats=1 -artifact_prefix="$out/" corpus
