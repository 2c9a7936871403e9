#!/bin/sh
# Installs the Debian 12 packages a command needs, or, when not root, prints
# the exact command that would do it and fails.
#
#   scripts/deps.sh [PROFILE...]          # install what is missing (default: demo)
#   scripts/deps.sh --list [PROFILE...]   # print the packages, one a line
#
# Profiles (each takes in demo, which builds the program and its pack):
#   demo     compiler, CMake, SDL2, libmpg123, FFmpeg, FreeType, LAME, the font
#   tests    GoogleTest, Benchmark, and what the end-to-end checks run
#            (Xvfb, xdotool, ImageMagick, ffmpeg/ffprobe, bc, python3)
#   fuzz     clang with its sanitizer and libFuzzer runtimes
#   web      emscripten, Chromium, node and npm
#   windows  mingw-w64, Wine, zip, and what its checks under Xvfb run
#   package  dpkg-dev, lintian, man-db, ffmpeg for the installed checks
#   all      every profile (CI)
set -e

profiles="demo tests fuzz web windows package all"

packages_of() {
    case $1 in
    demo) echo "build-essential cmake pkg-config
        libsdl2-dev libmpg123-dev libmp3lame-dev libfreetype-dev fonts-dejavu-core
        libavformat-dev libavcodec-dev libswscale-dev libavutil-dev" ;;
    tests) echo "libgtest-dev libgmock-dev libbenchmark-dev
        xvfb xauth xdotool x11-utils libx11-dev imagemagick ffmpeg time bc python3" ;;
    fuzz) echo "clang libclang-rt-14-dev" ;;
    web) echo "emscripten chromium python3 libgtest-dev"
        # libgtest-dev: GoogleTest's sources, built to WebAssembly for the
        # vector paths' tests there (cmake/web.cmake).
        # The browser checks run on node 20 or later with npm; a machine that
        # has them keeps its own, one that has none gets Debian's.
        command -v node >/dev/null 2>&1 || echo nodejs
        command -v npm >/dev/null 2>&1 || echo npm ;;
    windows) echo "g++-mingw-w64-x86-64-posix wine wine64 zip
        xvfb xauth xdotool x11-utils imagemagick ffmpeg" ;;
    package) echo "dpkg-dev lintian man-db git ffmpeg" ;;
    all) for p in $profiles; do [ "$p" = all ] || packages_of "$p"; done ;;
    *) return 1 ;;
    esac
}

list=false
if [ "${1:-}" = --list ]; then
    list=true
    shift
fi
[ $# -gt 0 ] || set -- demo

wanted=""
for profile in "$@"; do
    if ! found=$(packages_of "$profile"); then
        echo "deps.sh: no profile '$profile'; the profiles are: $profiles" >&2
        exit 2
    fi
    wanted="$wanted $found"
done
# The build is part of every profile; each package once, in a stable order.
PACKAGES=$( (packages_of demo; echo "$wanted") | tr -s ' \n' '\n\n' | grep . | awk '!seen[$0]++')

if $list; then
    echo "$PACKAGES"
    exit 0
fi

missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Install them with:" >&2
    echo "  sudo apt-get install -y$missing" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq $missing
