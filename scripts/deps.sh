#!/bin/sh
# Installs the Debian 12 packages the project needs, or, when not root,
# prints the exact command that would do it and fails.
set -e
PACKAGES="build-essential cmake pkg-config git
  libsdl2-dev libmpg123-dev libmp3lame-dev libfreetype-dev fonts-dejavu-core
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
  xvfb xauth xdotool time bc x11-utils imagemagick ffmpeg sox openbox libx11-dev
  dpkg-dev lintian man-db
  wine wine64 g++-mingw-w64-x86-64-posix zip python3
  emscripten chromium"

# The browser checks run on node 20 or later with npm; a machine that has
# them keeps its own, one that has none gets Debian's.
command -v node >/dev/null 2>&1 || PACKAGES="$PACKAGES nodejs"
command -v npm >/dev/null 2>&1 || PACKAGES="$PACKAGES npm"

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
