#!/usr/bin/env bash
# Makes the Debian package from a build and checks what a user installing it gets: the
# programs, the desktop entry, the AppStream description, the icon and the licence are in
# it; the description and the entry pass their validators (where those are installed);
# and the programs from the package run: --version answers without a display, the sample
# generator writes a world, and the editor opens its window on that world under a virtual
# X server of its own.
#
# Usage: check-deb.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tessaryn-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

if ! (cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1); then
  cat "$work/cpack.log" >&2
  fail "cpack could not make the package"
fi
debs=("$work"/package/*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb in $work/package, found: ${debs[*]}"
deb=${debs[0]}
echo "package: $(basename "$deb")"

dpkg-deb -c "$deb" | awk '{print $NF}' >"$work/contents"
for f in ./usr/bin/tessaryn ./usr/bin/tessaryn-sampleworld \
         ./usr/share/applications/org.tessaryn.Tessaryn.desktop \
         ./usr/share/metainfo/org.tessaryn.Tessaryn.metainfo.xml \
         ./usr/share/icons/hicolor/128x128/apps/org.tessaryn.Tessaryn.png \
         ./usr/share/doc/tessaryn/copyright; do
  grep -qxF "$f" "$work/contents" || fail "the package does not hold $f; it holds:
$(cat "$work/contents")"
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version), not $version"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6openglwidgets6 qt6-qpa-plugins; do
  case "$depends" in *"$lib"*) ;; *) fail "the package does not depend on $lib: $depends" ;; esac
done

dpkg-deb -x "$deb" "$work/root"
root="$work/root/usr"
grep -q "GNU GENERAL PUBLIC LICENSE" "$root/share/doc/tessaryn/copyright" || fail "the copyright file is not the licence"
icon_size=$(file -b "$root/share/icons/hicolor/128x128/apps/org.tessaryn.Tessaryn.png" 2>/dev/null || true)
case "$icon_size" in *"128 x 128"*|"") ;; *) fail "the icon is not 128 x 128: $icon_size" ;; esac
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --strict "$root/share/metainfo/org.tessaryn.Tessaryn.metainfo.xml" \
    || fail "the AppStream description does not validate"
else
  echo "appstreamcli is not installed; the AppStream description was not validated"
fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/share/applications/org.tessaryn.Tessaryn.desktop" \
    || fail "the desktop entry does not validate"
fi

answer=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/bin/tessaryn" --version) || fail "tessaryn --version failed"
[ "$answer" = "Tessaryn $version" ] || fail "tessaryn --version said \"$answer\", not \"Tessaryn $version\""
"$root/bin/tessaryn-sampleworld" --out "$work/world" --facets 2 >/dev/null || fail "tessaryn-sampleworld failed"

# The editor from the package on that world: its window must appear, and the program must
# still be running when it is asked to stop.
cat >"$work/start.sh" <<'SCRIPT'
#!/usr/bin/env bash
set -u
work=$1
mkdir -p "$work/temp"
XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state" \
  XDG_CACHE_HOME="$work/cache" TEMP="$work/temp" TESSARYN_DEFAULT_DIR="$work/world" \
  "$work/root/usr/bin/tessaryn" --facet 2 --goto 100,200 >"$work/tessaryn.log" 2>&1 &
pid=$!
shown=
for _ in $(seq 1 300); do
  if xwininfo -root -tree 2>/dev/null | grep -q '"Tessaryn: Ilshenar"'; then
    shown=1
    break
  fi
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  kill "$pid"
  wait "$pid" 2>/dev/null
  if [ -n "$shown" ]; then
    echo "the window of the installed tessaryn appeared"
    exit 0
  fi
  echo "the installed tessaryn showed no window within 30 s:" >&2
else
  wait "$pid"
  echo "the installed tessaryn ended with status $? before it was asked to:" >&2
fi
cat "$work/tessaryn.log" >&2
exit 1
SCRIPT
chmod +x "$work/start.sh"
"$here/own-display.sh" "$work/start.sh" "$work" || fail "the installed tessaryn did not start"
echo "the package holds the programs, desktop entry, metainfo, icon and licence, and its programs run"
