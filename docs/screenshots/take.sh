#!/usr/bin/env bash
# Takes the README's screenshots: VXTools against zps-sim under Xvfb.
#   docs/screenshots/take.sh [build dir]            English texts
#   LANGUAGE=zh_CN LANG=zh_CN.UTF-8 docs/screenshots/take.sh [build dir] _zh_CN
# The second argument is a suffix for the file names. The simulator serves
# 127.0.9.1 so a controller or simulator on 127.0.0.1 is left alone. With no
# window manager the window keeps its normal size (1024 x 800) and the
# clicks below are at fixed places of it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
suffix=${2:-}

if [ "${VX_INSIDE_XVFB:-}" != 1 ]; then
  VX_INSIDE_XVFB=1 exec timeout 120 xvfb-run -a -s "-screen 0 1600x900x24" "$0" "$build" "$suffix"
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
shoot() { import -window root -crop "${w}x${h}+${x0}+${y0}" +repage "$here/$1$suffix.png"; echo "$here/$1$suffix.png"; }

printf '[ZPS]\nIP=127.0.9.1\nPORT=0\n' > "$ini"
"$bin/zps-sim" --address 127.0.9.1 >/dev/null &
sim_pid=$!
"$bin/VXTools" >"$work/vxtools.log" 2>&1 &
vx_pid=$!

# The address dialog's title is translated too; its start is not.
dialog=$(wait_window "VXTools ZPS.*")
sleep 0.5
xdotool mousemove --window "$dialog" 327 112 click 1   # the connect button
sleep 3
main=$(wait_window "VXTools")
eval "$(xdotool getwindowgeometry --shell "$main")"
x0=$X; y0=$Y; w=$WIDTH; h=$HEIGHT

shoot main
click 421 705 1.5        # Setting: the channel dialog
shoot channels
click 749 715 0.5        # its Cancel
click 64 34 1            # the menu button
click 128 71 1.5         # About
shoot about
xdotool key --clearmodifiers Escape; sleep 0.3
click 216 34 1           # the configuration page
shoot config

# The live scope: J1..J6 with their Actual ACS and Actual Cur, chosen with the
# keyboard (typing a row's name in a tree selects it, space checks it).
key() { xdotool key --clearmodifiers "$@"; sleep 0.1; }
click 138 34 1           # the scope page
click 421 705 1.5        # Setting
click 300 193 0.5        # the component list
for j in 1 2 3 4 5 6; do xdotool type --delay 40 "J$j"; sleep 0.6; key space; done
click 510 500 0.5        # the link tree, below its rows
key Home; key Right; key Down; key Down; key space          # Motor Position: Actual ACS
key Down; key Down; key Down; key Down; key Down            # down to Motor Current
key Right; key Down; key Down; key space                    # its Actual Cur
click 644 713 1          # OK
click 74 705 11          # Start; the 10-second window fills
shoot scope
click 74 705 0.5         # Stop
