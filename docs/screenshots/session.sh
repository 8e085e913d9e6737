# Sourced by the screenshot scripts: runs the calling script again under
# Xvfb, then offers VXTools against zps-sim on 127.0.9.1 (a controller or
# simulator on 127.0.0.1 is left alone) with the build's INI file saved
# and put back afterwards.
#   . "$here/session.sh" "$0" BUILD_DIR [ARGUMENTS OF THE SCRIPT...]
# Sets bin, work and ini; offers wait_window, click, measure, shoot and
# start_session (which answers the address dialog and sets x0 y0 w h).
script=$1
build=$(cd "${2:-$here/../../build}" && pwd)
shift
if [ "${VX_INSIDE_XVFB:-}" != 1 ]; then
  VX_INSIDE_XVFB=1 exec timeout 120 xvfb-run -a -s "-screen 0 1600x900x24" "$script" "$build" "${@:2}"
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
# The legend can grow the window as curves are added: measure before a shot.
measure() { eval "$(xdotool getwindowgeometry --shell "$1")"; x0=$X; y0=$Y; w=$WIDTH; h=$HEIGHT; }
# shoot NAME [SUFFIX]: the window's rectangle as NAME SUFFIX.png beside the scripts.
shoot() { import -window root -crop "${w}x${h}+${x0}+${y0}" +repage "$here/$1${2:-}.png"; echo "$here/$1${2:-}.png"; }

# Starts the simulator and VXTools (whose INI the caller has written),
# answers the address dialog and measures the main window, kept in main.
start_session() {
  "$bin/zps-sim" --address 127.0.9.1 >/dev/null &
  sim_pid=$!
  "$bin/VXTools" >"$work/vxtools.log" 2>&1 &
  vx_pid=$!
  # The address dialog's title is translated too; its start is not.
  local dialog
  dialog=$(wait_window "VXTools ZPS.*")
  sleep 0.5
  xdotool mousemove --window "$dialog" 327 112 click 1   # the connect button
  sleep 3
  main=$(wait_window "VXTools")
  measure "$main"
}
