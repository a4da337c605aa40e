#!/usr/bin/env bash
# Builds Tessaryn and runs every test: all tests under a virtual X server (the map view
# needs OpenGL), then the core tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
jobs=$(nproc)

build="$here/build-test"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$jobs"
(cd "$build" && xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j"$jobs")

asan="$here/build-asan"
CC=clang CXX=clang++ cmake -S "$here" -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DTESSARYN_CORE_ONLY=ON -DTESSARYN_SANITIZE=ON >/dev/null
cmake --build "$asan" -j"$jobs"
(cd "$asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs" -L 'core|sampleworld')
# Every file reader fuzzed for a bounded time from the sample world's files.
"$here/scripts/fuzz.sh" "${FUZZ_SECONDS:-20}"
echo "all tests passed"
