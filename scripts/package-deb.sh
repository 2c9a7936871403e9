#!/bin/sh
# Builds dist/quelvarnossa_VERSION_ARCH.deb: a Release build for /usr with
# Debian's hardening flags (build-deb/), installed into a staging tree and
# packed with dpkg-deb; Depends from dpkg-shlibdeps on the binaries as
# linked; then checked with lintian (any error fails the script; warnings
# and notes are printed).
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh package
umask 022
build=build-deb
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_C_FLAGS="$CFLAGS $CPPFLAGS" -DCMAKE_CXX_FLAGS="$CXXFLAGS $CPPFLAGS" \
    -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" -DQVO_BUILD_TESTS=OFF -DQVO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
stage=$PWD/$build/package
root=$stage/debian/quelvarnossa  # where dpkg-shlibdeps expects a package's files
rm -rf "$stage"
DESTDIR="$root" cmake --install "$build" >/dev/null
binaries="usr/games/quelvarnossa usr/bin/qvo-render usr/bin/qvo-pack"
(cd "$root" && strip --remove-section=.comment --remove-section=.note --strip-unneeded $binaries)

# What Debian wants beyond the install: the copyright file instead of the
# license text, compressed man pages and changelog (a native package's, so
# "changelog").
doc=$root/usr/share/doc/quelvarnossa
rm "$doc/LICENSE"
cp packaging/debian/copyright "$doc/copyright"
date=$(git log -1 --format=%cD 2>/dev/null || date -R)
sed -e "s/@VERSION@/$version/g" -e "s/@DATE@/$date/" packaging/debian/changelog.in >"$doc/changelog"
gzip -9n "$doc/changelog" "$root"/usr/share/man/man*/*

# dpkg-shlibdeps reads the package list from debian/control and knows the
# package's root by its DEBIAN folder.
mkdir -p "$root/DEBIAN"
printf 'Source: quelvarnossa\n\nPackage: quelvarnossa\nArchitecture: any\n' >"$stage/debian/control"
depends=$(cd "$stage" && dpkg-shlibdeps -O $(printf 'debian/quelvarnossa/%s ' $binaries) |
    sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { echo "dpkg-shlibdeps found no dependencies" >&2; exit 1; }

sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@DEPENDS@/$depends/" \
    -e "s/@SIZE@/$(du -sk --exclude=DEBIAN "$root" | cut -f1)/" packaging/debian/control.in >"$root/DEBIAN/control"
(cd "$root" && find usr -type f | LC_ALL=C sort | xargs md5sum >DEBIAN/md5sums)

mkdir -p dist
deb=dist/quelvarnossa_${version}_$arch.deb
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
echo "built $deb"
echo "Depends: $depends"
lintian --display-info --pedantic --fail-on error "$deb" && echo "lintian: no errors"
