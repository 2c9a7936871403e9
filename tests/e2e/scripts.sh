#!/bin/bash
# The newcomer's commands as contracts: what scripts/deps.sh lists for each
# profile, and what scripts/run-tests.sh and scripts/run-demo.sh ask of
# CMake and CTest (both run here on stand-ins that log their arguments).
#   tests/e2e/scripts.sh SOURCE_DIR
set -u
src=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "${BASH_SOURCE[0]}")/check.sh"
has() { grep -qx -- "$2" "$1"; }
lacks() { ! grep -qx -- "$2" "$1"; }

# 1. Profiles.
for p in demo tests web windows package fuzz all; do sh "$src/scripts/deps.sh" --list $p >"$work/$p.txt"; done
check "--list without a profile is the demo's" cmp -s <(sh "$src/scripts/deps.sh" --list) "$work/demo.txt"
check "one package a line" test "$(grep -c ' ' "$work/all.txt")" -eq 0
for lib in libsdl2-dev libmpg123-dev libavformat-dev libfreetype-dev libmp3lame-dev fonts-dejavu-core cmake; do
    check "demo has $lib" has "$work/demo.txt" $lib
done
for heavy in emscripten chromium wine g++-mingw-w64-x86-64-posix libgtest-dev xvfb lintian clang; do
    check "demo goes without $heavy" lacks "$work/demo.txt" $heavy
done
check "tests has GoogleTest" has "$work/tests.txt" libgtest-dev
check "tests has Xvfb" has "$work/tests.txt" xvfb
check "web has emscripten, windows mingw-w64, package lintian, fuzz clang" \
    test "$(cat "$work/web.txt" "$work/windows.txt" "$work/package.txt" "$work/fuzz.txt" |
            grep -cxE 'emscripten|g\+\+-mingw-w64-x86-64-posix|lintian|clang')" -eq 4
check "every profile builds the demo" test "$(cat "$work"/{tests,web,windows,package,fuzz}.txt | grep -cx libsdl2-dev)" -eq 5
check "all is every profile" test "$(sort -u "$work"/{demo,tests,web,windows,package,fuzz}.txt | grep -v -x -e nodejs -e npm)" \
    = "$(sort -u "$work/all.txt" | grep -v -x -e nodejs -e npm)"
sh "$src/scripts/deps.sh" --list demo bogus >"$work/out.txt" 2>"$work/err.txt"
check "an unknown profile exits 2" test $? -eq 2
check "an unknown profile: the profiles are listed" grep -q "no profile 'bogus'; the profiles are: demo tests" "$work/err.txt"
check "an unknown profile: nothing listed" test ! -s "$work/out.txt"

# 2. The run scripts on a tree whose deps.sh, cmake and ctest are stand-ins.
tree="$work/tree"
mkdir -p "$tree/scripts" "$tree/bin" "$tree/build"
cp "$src/scripts/run-tests.sh" "$src/scripts/run-demo.sh" "$tree/scripts/"
printf '#!/bin/sh\n' >"$tree/scripts/deps.sh"
printf '#!/bin/sh\necho "$*" >>"%s/cmake.log"\n' "$work" >"$tree/bin/cmake"
cat >"$tree/bin/ctest" <<STUB
#!/bin/sh
if [ "\$1" = -N ]; then echo "Total Tests: \$STUB_TESTS"; exit 0; fi
echo "\$*" >>"$work/ctest.log"
STUB
printf '#!/bin/sh\nexit 0\n' >"$tree/build/quelvarnossa"
chmod +x "$tree/scripts/deps.sh" "$tree/bin/cmake" "$tree/bin/ctest" "$tree/build/quelvarnossa"
run() { rm -f "$work/cmake.log" "$work/ctest.log"; env PATH="$tree/bin:$PATH" "$@" >"$work/out.txt" 2>&1; }
configure() { grep -- "-S . -B build" "$work/cmake.log"; }

run STUB_TESTS=3 sh "$tree/scripts/run-tests.sh"
check "run-tests fails when only 3 tests exist" test $? -ne 0
check "run-tests says why" grep -q "only 3 tests are defined" "$work/out.txt"
check "run-tests: no test run then" test ! -e "$work/ctest.log"

run STUB_TESTS=130 QVO_CMAKE_ARGS="-DQVO_WERROR=ON" sh "$tree/scripts/run-tests.sh" -L unit
check "run-tests passes with 130 tests" test $? -eq 0
for option in QVO_BUILD_TESTS=ON QVO_BUILD_BENCH=ON QVO_SANITIZE=OFF; do
    check "run-tests configures -D$option" grep -q -- "-D$option\b" <(configure)
done
check "run-tests: QVO_CMAKE_ARGS comes after its own QVO_WERROR=OFF" \
    grep -q -- "-DQVO_WERROR=OFF .*-DQVO_WERROR=ON" <(configure)
check "run-tests: ctest fails when no test is selected, and gets the arguments" \
    grep -q -- "--no-tests=error .*-L unit" "$work/ctest.log"

run sh "$tree/scripts/run-demo.sh" noaudio
check "run-demo exits as the demo does" test $? -eq 0
check "run-demo sets no option in the shared cache" test -z "$(configure | grep -o -- '-DQVO_[A-Z_]*')"
check "run-demo builds the demo and its pack only" grep -q -- "--target quelvarnossa qvo_datapack$" "$work/cmake.log"

[ $failures -eq 0 ] && echo "all script checks passed" || echo "$failures script checks failed"
[ $failures -eq 0 ]
