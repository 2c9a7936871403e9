#!/bin/sh
# Builds the demo for the browser into dist/web/: index.html, page.js, the
# program (quelvarnossa.js + .wasm), QuelVarnOssa.dat and icon.png. The
# pack and the icon come from the Linux build's own tools (build/); the
# program from Debian's emscripten (build-web/). Serve the folder over http
# (scripts/serve-web.sh): browsers load no WebAssembly from file://.
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh web

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release ${QVO_CMAKE_ARGS:-} >/dev/null
cmake --build build -j"$(nproc)" --target qvo_datapack qvo_icons

# Debian's emcc runs its tools with Debian's python and node, whose own
# modules (acorn) live in /usr/share/nodejs.
export EMSDK_PYTHON=/usr/bin/python3
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-web -j"$(nproc)"

out=dist/web
rm -rf "$out"
mkdir -p "$out"
cp platform/web/index.html platform/web/page.js platform/web/audio-output.js build-web/quelvarnossa.js build-web/quelvarnossa.wasm \
   build/QuelVarnOssa.dat "$out"/
cp build/icons/hicolor/64x64/apps/quelvarnossa.png "$out"/icon.png
echo "dist/web: $(du -sh "$out" | cut -f1) (wasm $(stat -c %s "$out"/quelvarnossa.wasm) bytes)"
