#!/usr/bin/env bash
# Takes the README's screenshot of the A/B cursors with their readout:
# VXTools against zps-sim under Xvfb, J1 and J2 recorded for 10 s, the
# cursors switched on with Ctrl+K and cursor B stepped with the arrow keys.
#   docs/screenshots/take_measure.sh [build dir]
# The simulator serves 127.0.9.1.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/session.sh" "$0" "${1:-}"

cat > "$ini" <<'INI'
[ZPS]
IP=127.0.9.1
PORT=0

[Scope]
Period=10000
Selection=component=J1, component=J2, link=Target ACS, link=Actual ACS, link=Actual Cur
INI
start_session
xdotool windowmove "$main" 0 0 windowsize "$main" 1600 900; sleep 1
measure "$main"

click 138 34 1           # the scope page
click 74 $(( h - 95 )) 11   # Start: the selection of the last session
click 74 $(( h - 95 )) 0.5  # Stop
click 600 400 0.3        # the plot takes the keys
xdotool key ctrl+k; sleep 0.5
xdotool key b; for _ in 1 2 3 4 5 6 7 8 9 10; do xdotool key Right; done; sleep 1.5
shoot scope_cursors
