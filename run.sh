#!/usr/bin/env bash
# Builds VXTools and runs it against the built-in controller simulator.
#
#   ./run.sh          build everything, start zps-sim on 127.0.0.1 and VXTools
#
# With a display (DISPLAY set) the window opens and the script waits until it
# is closed. Without one, VXTools runs under Xvfb for a bounded time: the
# script confirms the controller address dialog, waits for the green lamp,
# saves a screenshot of the main window and says where.
# VX_BUILD_DIR chooses the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")"
top=$(pwd)
build="${VX_BUILD_DIR:-$top/build}"

if [ "${1:-}" != "--inside-xvfb" ]; then
  bash scripts/deps.sh
  cmake -S "$top" -B "$build" -G Ninja >/dev/null
  cmake --build "$build" -j"$(nproc)"
fi

bin="$build/bin"
sim="$bin/zps-sim"
program="$bin/VXTools"
ini="$bin/VXTools.ini"
shot="$build/vxtools-screenshot.png"

sim_pid=""
vx_pid=""
cleanup() {
  [ -n "$vx_pid" ] && kill "$vx_pid" 2>/dev/null && wait "$vx_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null || true
}

# Started once, also when the script re-runs itself under Xvfb.
start_sim_and_ini() {
  "$sim" --address 127.0.0.1 &
  sim_pid=$!
  trap cleanup EXIT
  sleep 0.5
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    echo "zps-sim did not start (is another controller or simulator using 127.0.0.1?)" >&2
    exit 1
  fi
  # The program keeps the controller address here; point it at the simulator
  # unless the user has an INI file already.
  if [ ! -e "$ini" ]; then
    printf '[ZPS]\nIP=127.0.0.1\nPORT=0\n' > "$ini"
    echo "Wrote $ini (ZPS/IP 127.0.0.1)"
  fi
}

# Waits (bounded) for a window with this exact title; prints its id.
wait_window() {
  local title=$1 id=""
  for _ in $(seq 1 100); do
    id=$(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

if [ "${1:-}" = "--inside-xvfb" ]; then
  start_sim_and_ini
  "$program" >"$build/vxtools-run.log" 2>&1 &
  vx_pid=$!
  # The program asks for the controller address on its first timer tick.
  if ! dialog=$(wait_window "VXTools ZPS Connect"); then
    echo "The controller address dialog did not appear." >&2
    exit 1
  fi
  sleep 0.3
  # Press SetZPSIP (at 290,100 size 75x25 in the dialog); no window manager
  # runs under Xvfb, so a click is more dependable than keyboard focus.
  xdotool mousemove --window "$dialog" 327 112 click 1
  sleep 2.5
  main=$(wait_window "VXTools") || { echo "The main window did not appear." >&2; exit 1; }
  import -window "$main" "$shot"
  # The lamp is the first button of the top frame (33 x 33, 2 px in).
  lamp=$(convert "$shot" -format '%[pixel:p{18,34}]' info: 2>/dev/null || true)
  echo "Screenshot of the main window: $shot"
  echo "Lamp colour at its centre: $lamp (green means the simulator is connected)"
  echo "VXTools output: $build/vxtools-run.log"
  exit 0
fi

if [ -n "${DISPLAY:-}" ]; then
  start_sim_and_ini
  echo "Starting VXTools; confirm the address 127.0.0.1 in the first dialog. Close the window to end."
  "$program" &
  vx_pid=$!
  wait "$vx_pid" || true
  vx_pid=""
else
  echo "No display: running VXTools under Xvfb for a short while."
  timeout 90 xvfb-run -a -s "-screen 0 1600x900x24" env VX_BUILD_DIR="$build" "$0" --inside-xvfb
fi
