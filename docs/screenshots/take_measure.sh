#!/usr/bin/env bash
# Takes the README's screenshot of the A/B cursors with their readout:
# VXTools against zps-sim under Xvfb, J1 and J2 recorded for 10 s, the
# cursors switched on with Ctrl+K and cursor B stepped with the arrow keys.
#   docs/screenshots/take_measure.sh [build dir]
# The simulator serves 127.0.9.1.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)

if [ "${VX_INSIDE_XVFB:-}" != 1 ]; then
  VX_INSIDE_XVFB=1 exec timeout 120 xvfb-run -a -s "-screen 0 1600x900x24" "$0" "$build"
fi

bin="$build/bin"
work=$(mktemp -d)
ini="$bin/VXTools.ini"
saved_ini=""
[ -e "$ini" ] && { saved_ini="$work/VXTools.ini"; cp "$ini" "$saved_ini"; }
sim_pid=""; vx_pid=""
cleanup() {
  [ -n "$vx_pid" ] && { kill "$vx_pid" 2>/dev/null; wait "$vx_pid" 2>/dev/null || true; }
  [ -n "$sim_pid" ] && { kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null || true; }
  if [ -n "$saved_ini" ]; then cp "$saved_ini" "$ini"; else rm -f "$ini"; fi
  rm -rf "$work"
}
trap cleanup EXIT

wait_window() {
  for _ in $(seq 1 100); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "no window '$1'" >&2; return 1
}
click() { xdotool mousemove $(( x0 + $1 )) $(( y0 + $2 )) click 1; sleep "${3:-1}"; }
measure() { eval "$(xdotool getwindowgeometry --shell "$1")"; x0=$X; y0=$Y; w=$WIDTH; h=$HEIGHT; }
shoot() { import -window root -crop "${w}x${h}+${x0}+${y0}" +repage "$here/$1.png"; echo "$here/$1.png"; }

cat > "$ini" <<'INI'
[ZPS]
IP=127.0.9.1
PORT=0

[Scope]
Period=10000
Selection=component=J1, component=J2, link=Target ACS, link=Actual ACS, link=Actual Cur
INI
"$bin/zps-sim" --address 127.0.9.1 >/dev/null &
sim_pid=$!
"$bin/VXTools" >"$work/vxtools.log" 2>&1 &
vx_pid=$!

dialog=$(wait_window "VXTools ZPS.*")
sleep 0.5
xdotool mousemove --window "$dialog" 327 112 click 1   # the connect button
sleep 3
main=$(wait_window "VXTools")
xdotool windowmove "$main" 0 0 windowsize "$main" 1600 900; sleep 1
measure "$main"

click 138 34 1           # the scope page
click 74 $(( h - 95 )) 11   # Start: the selection of the last session
click 74 $(( h - 95 )) 0.5  # Stop
click 600 400 0.3        # the plot takes the keys
xdotool key ctrl+k; sleep 0.5
xdotool key b; for _ in 1 2 3 4 5 6 7 8 9 10; do xdotool key Right; done; sleep 1.5
shoot scope_cursors
