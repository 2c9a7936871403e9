#!/bin/sh
# Serves dist/web/ (scripts/build-web.sh) on http://127.0.0.1:PORT/ for a
# local look; PORT is the first argument, 8080 by default. Ctrl-C stops it.
set -e
cd "$(dirname "$0")/../dist/web"
port=${1:-8080}
echo "Quel Varn Ossa: http://127.0.0.1:$port/  (add ?credits, ?hollowmere, ?noaudio ...)"
# WebAssembly compiles while it downloads only when served as application/wasm.
exec python3 -c '
import http.server, sys
handler = http.server.SimpleHTTPRequestHandler
handler.extensions_map[".wasm"] = "application/wasm"
http.server.test(HandlerClass=handler, port=int(sys.argv[1]), bind="127.0.0.1")
' "$port"
