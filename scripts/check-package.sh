#!/bin/sh
# CI: builds the .deb, installs it with dpkg -i, uses it as a user would from
# an empty folder with no display, and removes it again. Needs root.
set -eu
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "check-package.sh installs a package: run it as root" >&2; exit 1; }
scripts/package-deb.sh
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-deb/CMakeCache.txt)
deb=dist/quelvarnossa_${version}_$(dpkg --print-architecture).deb

work=$(mktemp -d)
chmod 755 "$work"
trap 'dpkg -r quelvarnossa >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
dpkg -i "$deb"
set +e  # from here on every check runs and is counted
failures=0
check() {  # check NAME COMMAND...
    name=$1; shift
    if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}
# A user's PATH on Debian, games included; no display, no sound card.
user() { env -u DISPLAY -u WAYLAND_DISPLAY PATH=/usr/local/bin:/usr/bin:/bin:/usr/games "$@"; }

# The installed pack is found from an empty folder: 154 frames at 1 fps,
# the same frames the installed qvo-render gives.
mkdir "$work/empty"
(cd "$work/empty" && user QVO_CODEC=utvideo quelvarnossa video noaudio fps 1) >"$work/out.txt" 2>&1
check "video noaudio fps 1 exits 0" test $? -eq 0 || cat "$work/out.txt"
avi="$work/empty/quel varn ossa.avi"
packets=$(ffprobe -v error -count_packets -show_entries stream=codec_type,r_frame_rate,nb_read_packets -of csv=p=0 "$avi")
check "one video stream of 154 frames at 1/1 ($packets)" test "$packets" = "video,1/1,154"
ffmpeg -v error -i "$avi" -f framemd5 -pix_fmt bgr24 - | grep -v '^#' | awk -F, '{gsub(/ /,"",$6); print $6}' >"$work/avi.md5"
(cd "$work/empty" && user qvo-render --fps 1 --md5 2>/dev/null) | awk '{print $2}' >"$work/render.md5"
check "154 frames equal the installed qvo-render's" \
    test "$(sort -u "$work/render.md5" | grep -c .)" -gt 1 -a "$(wc -l <"$work/avi.md5")" -eq 154 \
    -a "$(md5sum <"$work/avi.md5")" = "$(md5sum <"$work/render.md5")"
if [ -x build/qvo-render ]; then  # the test build beside, made with the project's own flags
    build/qvo-render --fps 1 --md5 2>/dev/null | awk '{print $2}' >"$work/build.md5"
    check "Debian's build flags leave the picture as it was" cmp -s "$work/build.md5" "$work/render.md5"
fi

# A folder the user cannot write: a clear error naming it, exit 1.
mkdir "$work/readonly"
(cd "$work/readonly" && user QVO_CODEC=utvideo setpriv --reuid=nobody --regid=nogroup --clear-groups \
    quelvarnossa video noaudio fps 1) >"$work/out.txt" 2>&1
check "unwritable folder exits 1" test $? -eq 1
check "unwritable folder is named" grep -q "Cannot create \"$work/readonly/quel varn ossa.avi\"" "$work/out.txt"
check "unwritable folder says why" grep -q "Couldn't open avi file! - 'Permission denied'" "$work/out.txt"

# The man page renders, without warnings, with the package's version.
page=$(man -w 6 quelvarnossa)
LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" >"$work/man.txt" 2>"$work/man.err"
check "man -l renders $page" grep -q "^KEYWORDS" "$work/man.txt"
check "the man page shows version $version" grep -q "quelvarnossa $version" "$work/man.txt"
check "man reports no warnings" test ! -s "$work/man.err"

# The menu entry starts the installed game with an installed icon.
desktop=/usr/share/applications/quelvarnossa.desktop
check "desktop entry runs /usr/games/quelvarnossa" grep -qx "Exec=/usr/games/quelvarnossa" "$desktop"
check "desktop entry is a Game" grep -qx "Categories=Game;" "$desktop"
check "icons installed" test -s /usr/share/icons/hicolor/48x48/apps/quelvarnossa.png

dpkg -r quelvarnossa >/dev/null
check "removed" test ! -e /usr/games/quelvarnossa -a ! -e /usr/share/games/quelvarnossa

[ $failures -eq 0 ] && echo "all package checks passed" || echo "$failures package checks failed"
[ $failures -eq 0 ]
