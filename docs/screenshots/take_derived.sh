#!/usr/bin/env bash
# Takes the README's screenshots of the derived channels: the dialog and a
# following-error curve, VXTools against zps-sim under Xvfb.
#   docs/screenshots/take_derived.sh [build dir]
# The page's choices come from the INI file, as they would after an earlier
# session: J1's target and actual position, a 4 s period and two derived
# channels; Start then works at once. The simulator serves 127.0.9.1.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/session.sh" "$0" "${1:-}"
# Pixels whose colour is not a shade of gray: curves and legend marks.
coloured() { convert "$here/$1.png" -crop "$2" +repage txt:- | python3 -c "$3"; }

cat > "$ini" <<'INI'
[ZPS]
IP=127.0.9.1
PORT=0

[Scope]
Period=4000
Selection=component=J1, link=Target ACS, link=Actual ACS

[ScopeDerived]
1\name=J1 Error
1\unit=deg
1\expression=[J1 Target ACS] - [J1 Actual ACS]
2\name=J1 Error mean
2\unit=deg
2\expression="movavg([J1 Target ACS] - [J1 Actual ACS], 200)"
size=2
INI
start_session

click 138 34 1           # the scope page
click 74 705 6           # Start: the selection of the last session
click 74 705 0.5         # Stop
measure "$main"
shoot derived_curve
# The legend's marks: the first coloured column in the legend's area.
lx=$(coloured derived_curve "220x120+$(( w - 220 ))+172" '
import re, sys
xs = []
for line in sys.stdin:
    m = re.match(r"(\d+),(\d+): \((\d+),(\d+),(\d+)", line)
    if m and max(map(int, m.groups()[2:])) - min(map(int, m.groups()[2:])) > 60:
        xs.append(int(m.group(1)))
print(min(xs))
')
click $(( w - 220 + lx + 30 )) 182 0.3   # the legend hides J1 Target ACS
click $(( w - 220 + lx + 30 )) 213 0.5   # and J1 Actual ACS
# Zoom into the band where the error curves lie (the only coloured pixels
# left on the canvas), then point at one of them for the tracker.
shoot derived_curve
read -r top bottom px py < <(coloured derived_curve 720x420+140+177 '
import re, sys
ys, pts = [], []
for line in sys.stdin:
    m = re.match(r"(\d+),(\d+): \((\d+),(\d+),(\d+)", line)
    if m:
        x, y, r, g, b = map(int, m.groups())
        if max(r, g, b) - min(r, g, b) > 60:
            ys.append(y)
            pts.append((abs(x - 360), x, y))
pts.sort()
print(177 + min(ys) - 12, 177 + max(ys) + 12, 140 + pts[0][1], 177 + pts[0][2])
')
xdotool mousemove $(( x0 + 135 )) $(( y0 + top )) mousedown 1 sleep 0.2 \
  mousemove $(( x0 + 500 )) $(( y0 + (top + bottom) / 2 )) sleep 0.2 \
  mousemove $(( x0 + 865 )) $(( y0 + bottom )) sleep 0.2 mouseup 1
sleep 1
xdotool mousemove $(( x0 + 500 )) $(( y0 + 300 )); sleep 1
shoot derived_curve
click $(( w - 330 )) 150 1.5   # Derived Channels (f(x), in the bar above the plot)
d=$(wait_window "Derived Channels")
measure "$d"
# A third row naming a channel that is not chosen: OK refuses it and says
# where and why.
click 50 344 0.5         # Add
xdotool type --delay 30 "J1 Power"; xdotool key Tab; xdotool type --delay 30 "W"; xdotool key Tab
xdotool type --delay 20 "[J1 Target ACS] * [J1 Actual Cur]"; xdotool key Tab; sleep 0.3
click 722 396 1          # OK
shoot derived_dialog
xdotool key --clearmodifiers Escape; sleep 0.3
