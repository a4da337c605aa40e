#!/usr/bin/env bash
# Regenerates docs/screenshots/flat.png, iso.png and 3d.png: the real main window showing
# the generated sample world (statics on) in each projection, under a virtual X server.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="${BUILD_DIR:-$here/build}"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target gui_view_screenshots_test -j"${JOBS:-2}"
mkdir -p "$here/docs/screenshots"
TESSARYN_SCREENSHOTS="$here/docs/screenshots" \
  xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$build/tests/gui_view_screenshots_test"
echo "written: $here/docs/screenshots/{flat,iso,3d}.png"
