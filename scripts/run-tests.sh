#!/bin/sh
# Installs what is missing, builds everything and runs every test.
#   scripts/run-tests.sh [ctest arguments]
#   QVO_CMAKE_ARGS="-DQVO_WERROR=ON" scripts/run-tests.sh
#
# build/ is shared with scripts/run-demo.sh and whatever configured it last,
# and CMake keeps options in its cache: every option this run depends on is
# given on each configure (QVO_CMAKE_ARGS comes last and wins). A run in
# which fewer tests exist than QVO_MIN_TESTS, or none is selected, fails.
set -e
cd "$(dirname "$0")/.."
scripts/deps.sh tests
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQVO_BUILD_TESTS=ON -DQVO_BUILD_BENCH=ON \
    -DQVO_WERROR=OFF -DQVO_SANITIZE=OFF ${QVO_CMAKE_ARGS:-} >/dev/null
cmake --build build -j"${QVO_JOBS:-$(nproc)}"
cd build

# The suite holds some 130 tests (each GoogleTest case counts as one); a
# build that lost them (GoogleTest missing, the tests switched off) must not
# pass.
floor=${QVO_MIN_TESTS:-100}
count=$(ctest -N | sed -n 's/^Total Tests: //p')
if [ "${count:-0}" -lt "$floor" ]; then
    echo "run-tests.sh: only ${count:-0} tests are defined in build/, fewer than $floor; is GoogleTest installed (scripts/deps.sh tests)?" >&2
    exit 1
fi
echo "run-tests.sh: $count tests defined"
# No test may wait for an answer from a terminal.
exec ctest --output-on-failure --no-tests=error -j"${QVO_JOBS:-$(nproc)}" "$@" </dev/null
