#!/bin/sh
# The browser build's checks: builds dist/web (scripts/build-web.sh), then
# runs tests/web: the page in the system's headless Chromium, driven by
# playwright-core (pinned in tests/web/package-lock.json; it downloads no
# browser), and the WebAssembly renderer's frames against qvo-render's.
set -e
cd "$(dirname "$0")/.."
scripts/build-web.sh
cmake --build build -j"$(nproc)" --target qvo-render qvo-pack
cd tests/web
npm ci --no-audit --no-fund --loglevel=error
# The page's checks measure the music against the clock in real time; a
# machine busy with something else can starve the browser's sound output for
# a few blocks. A failure is run once more, and that is said: which checks
# failed the first time and why, at the end of the output (and, for CI, in
# the file QVO_CI_NOTES names).
first=$(mktemp)
trap 'rm -f "$first"' EXIT
checks() { node --test --test-reporter=spec --test-reporter-destination=stdout --test-reporter=tap --test-reporter-destination="$1"; }
# The failed checks of a TAP log: each one's name and its error's first lines.
failures() {
    awk 'function indent(l) { return match(l, /[^ ]/) - 1 }
         /^ *not ok [0-9]+ - / { sub(/^ *not ok [0-9]+ - /, ""); print "  " $0; at = -1; next }
         /^ *error: / { at = indent($0); shown = 0; v = $0; sub(/^ *error: (\|-)? */, "", v)
                        if (v != "") { print "    " v; ++shown }; next }
         at >= 0 && indent($0) > at { if (shown++ < 4) { v = $0; sub(/^ +/, "", v); print "    " v }; next }
         { at = -1 }' "$1"
}
checks "$first" && exit 0
summary=$(failures "$first")
echo "test-web.sh: a browser check failed; running the checks once more. Failed:" >&2
echo "$summary" >&2
checks /dev/null
note="test-web.sh: passed on the second try; the first try failed:
$summary"
echo "$note" >&2
[ -z "${QVO_CI_NOTES:-}" ] || echo "$note" >>"$QVO_CI_NOTES"
