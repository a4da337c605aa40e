#!/usr/bin/env bash
# Builds Tessaryn and runs every test, in stages: the normal build with all tests (each GUI
# test program on a virtual X server of its own, since the map view needs OpenGL), the core
# tests again in a build with AddressSanitizer and UndefinedBehaviorSanitizer, and every file
# reader fuzzed for a bounded time. A stage that fails does not stop the later ones; the
# result of each is listed at the end, and the script fails when any stage failed.
#
# FUZZ_SECONDS (default 20) is the time each fuzz target runs.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

names=()
results=()
failed=0

# Runs "$@" as the stage called $1 and notes how it ended and how long it took.
stage() {
  local name=$1
  shift
  echo "=== $name"
  local start status
  start=$(date +%s)
  ( set -e; "$@" )
  status=$?
  local took=$(($(date +%s) - start))
  names+=("$name")
  if [ "$status" -eq 0 ]; then
    results+=("passed (${took}s)")
  else
    results+=("FAILED with status $status (${took}s)")
    failed=1
  fi
  return 0
}

build_and_test() {
  local build="$here/build-test"
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j"$jobs"
  cd "$build"
  ctest --output-on-failure -j"$jobs"
}

sanitized_core_tests() {
  local asan="$here/build-asan"
  CC=clang CXX=clang++ cmake -S "$here" -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DTESSARYN_CORE_ONLY=ON -DTESSARYN_SANITIZE=ON >/dev/null
  cmake --build "$asan" -j"$jobs"
  cd "$asan"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --output-on-failure -j"$jobs" -L 'core|sampleworld'
}

fuzzing() {
  "$here/scripts/fuzz.sh" "${FUZZ_SECONDS:-20}"
}

if ! "$here/scripts/install-deps.sh"; then
  echo "the packages Tessaryn needs could not be installed; see above"
  exit 1
fi
stage "build and all tests" build_and_test
stage "sanitizer build and core tests" sanitized_core_tests
stage "fuzzing" fuzzing

echo
echo "=== summary"
for i in "${!names[@]}"; do
  printf '  %-32s %s\n' "${names[$i]}" "${results[$i]}"
done
if [ "$failed" -ne 0 ]; then
  echo "some stages failed"
  exit 1
fi
echo "all tests passed"
