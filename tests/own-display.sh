#!/usr/bin/env bash
# Runs one GUI test program on a virtual X server of its own.
#
# Without a window manager, two test programs on one display take keyboard focus from each
# other, and a server started without -noreset resets whenever its last client leaves, so a
# program connecting at that moment fails. A server per program avoids both and keeps
# parallel ctest runs useful. Xvfb picks a free display number itself (-displayfd), so
# programs started at the same moment never race for one.
#
# Usage: own-display.sh PROGRAM [ARGS...]; exits with the program's status.
set -u
workdir=$(mktemp -d "${TMPDIR:-/tmp}/tessaryn-display.XXXXXX") || exit 1
xvfb_pid=
cleanup() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

Xvfb -displayfd 3 -screen 0 1280x1024x24 -noreset -nolisten tcp \
  3>"$workdir/display" >"$workdir/xvfb.log" 2>&1 &
xvfb_pid=$!

display=
for _ in $(seq 1 200); do
  display=$(head -n 1 "$workdir/display" 2>/dev/null)
  [ -n "$display" ] && break
  if ! kill -0 "$xvfb_pid" 2>/dev/null; then
    break
  fi
  sleep 0.05
done
if [ -z "$display" ]; then
  echo "own-display.sh: the virtual X server did not start:" >&2
  cat "$workdir/xvfb.log" >&2
  exit 1
fi

export DISPLAY=":$display"
unset XAUTHORITY
"$@"
