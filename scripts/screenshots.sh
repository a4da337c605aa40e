#!/usr/bin/env bash
# Regenerates docs/screenshots/: flat.png, iso.png and 3d.png, the real main window showing
# the generated sample world (statics on) in each projection, and the view turned (flat-45,
# 3d-45, 3d-90, 3d-180), tilted (3d-tilt0, 3d-tilt90, 3d-tilt180) and in a wide window
# (iso-wide), and the whole facet from its overview (overview, overview-iso), each checked
# for black bands, under a virtual X server.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="${BUILD_DIR:-$here/build}"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target gui_view_screenshots_test -j"${JOBS:-2}"
mkdir -p "$here/docs/screenshots"
TESSARYN_SCREENSHOTS="$here/docs/screenshots" \
  xvfb-run -a -s "-screen 0 2560x1600x24 -noreset" "$build/tests/gui_view_screenshots_test"
echo "written: $here/docs/screenshots/*.png"
