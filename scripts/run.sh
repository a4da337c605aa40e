#!/usr/bin/env bash
# Builds Tessaryn and starts it. With no client directory chosen (Edit > Settings >
# UO Directory), it opens a generated sample world, written on first use. Its arguments go to
# the program: scripts/run.sh [DATA_DIR] [--facet N] [--goto X,Y] [--palette FILE].
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
build="$here/build"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tessaryn tessaryn-sampleworld -j"$(nproc)"
sample="$build/sample-world"
# Written again whenever the generator's output changes (its version below).
sample_version=5
if [ "$(cat "$sample/.complete" 2>/dev/null)" != "$sample_version" ]; then
  echo "writing the sample world into $sample"
  "$build/sampleworld/tessaryn-sampleworld" --out "$sample"
  echo "$sample_version" > "$sample/.complete"
fi
export TESSARYN_DEFAULT_DIR="$sample"
if [ -f "$sample/palette.xml" ]; then export TESSARYN_DEFAULT_PALETTE="$sample/palette.xml"; fi
exec "$build/tessaryn" "$@"
