#!/bin/sh
# Cross-compiles the demo for 64-bit Windows and packs it:
#   build-windows/quelvarnossa.exe, build-windows/QuelVarnOssa.dat and
#   dist/quelvarnossa-windows-x86_64.zip (exe, pack, the Windows README from
#   packaging/windows, LICENSE).
# The pack and the icon are made by this tree's Linux tools (in build/, or
# QVO_HOST_BUILD), so the pack holds the same bytes as the Linux build's.
#   scripts/build-windows.sh [extra cmake arguments]
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
host=${QVO_HOST_BUILD:-$root/build}
jobs=${QVO_JOBS:-$(nproc)}

scripts/deps.sh windows
if [ ! -f "$host/CMakeCache.txt" ]; then
  cmake -S . -B "$host" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$host" -j"$jobs" --target qvo_datapack qvo-icon qvo-decode qvo-render

cmake -S . -B build-windows -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DQVO_HOST_BUILD="$host" -DQVO_BUILD_BENCH=OFF "$@" >/dev/null
cmake --build build-windows -j"$jobs"

mkdir -p dist
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/quelvarnossa"
cp build-windows/quelvarnossa.exe build-windows/QuelVarnOssa.dat LICENSE "$stage/quelvarnossa/"
# Windows' Notepad wants CRLF line ends. The README is the Windows one.
sed 's/$/\r/' packaging/windows/README.txt > "$stage/quelvarnossa/README.txt"
sed 's/$/\r/' LICENSE > "$stage/quelvarnossa/LICENSE.txt"
rm "$stage/quelvarnossa/LICENSE"
rm -f dist/quelvarnossa-windows-x86_64.zip
(cd "$stage" && zip -q -X -r "$root/dist/quelvarnossa-windows-x86_64.zip" quelvarnossa)
echo "dist/quelvarnossa-windows-x86_64.zip"
