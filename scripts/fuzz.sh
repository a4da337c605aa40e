#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for the given number of seconds (default 20).
#
# The targets (fuzz/*_fuzz.cpp) are built with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz. Their seeds are cut from a sample world generated
# here, and the hand-written ones in fuzz/seeds/<target>/ are added (both by fuzz_seeds, which
# puts them into the layout each target reads); what a run finds
# stays in build-fuzz/corpus/<target> for the next run. Any crash, sanitizer report, leak or
# timeout fails the script; the input that caused it is kept in build-fuzz/artifacts/.
#
# FUZZ_TARGETS="art facet" runs only those targets.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
jobs=$(nproc)
build="$here/build-fuzz"
start=$(date +%s)

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
  -DTESSARYN_CORE_ONLY=ON -DTESSARYN_FUZZ=ON >/dev/null
cmake --build "$build" -j"$jobs" --target fuzz_targets
built=$(date +%s)

world="$build/sample-world"
rm -rf "$world" "$build/seeds"
"$build/sampleworld/tessaryn-sampleworld" --out "$world" --facets 2 >/dev/null
"$build/fuzz/fuzz_seeds" "$world" "$here/fuzz/seeds" "$build/seeds"

targets=${FUZZ_TARGETS:-$(cd "$build/fuzz" && ls -- *_fuzz | sed 's/_fuzz$//' | sort)}
mkdir -p "$build/artifacts" "$build/logs"
failed=()
summary=()
for target in $targets; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus" "$build/seeds/$target"
  log="$build/logs/$target.log"
  echo "fuzzing $target for ${seconds}s"
  status=0
  # Leaks found at exit count as findings too; libFuzzer reports them with a non-zero status.
  "$build/fuzz/${target}_fuzz" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
    "$corpus" "$build/seeds/$target" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  summary+=("$(printf '%-10s %10s executions' "$target" "${runs:-?}")")
  if [ "$status" -ne 0 ]; then
    failed+=("$target")
    echo "FAILED: $target (exit status $status); log $log"
    grep -E 'ERROR|runtime error|SUMMARY|Test unit written' "$log" | head -20 || true
  fi
done

echo "fuzz executions per target (${seconds}s each):"
printf '  %s\n' "${summary[@]}"
echo "fuzz step: build $((built - start))s, total $(($(date +%s) - start))s"
if [ "${#failed[@]}" -ne 0 ]; then
  echo "fuzz targets with findings: ${failed[*]}"
  exit 1
fi
