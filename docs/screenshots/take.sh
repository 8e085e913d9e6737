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
. "$here/session.sh" "$0" "${1:-}" "${2:-}"
suffix=${2:-}

printf '[ZPS]\nIP=127.0.9.1\nPORT=0\n' > "$ini"
start_session

shoot main "$suffix"
click 421 705 1.5        # Setting: the channel dialog
shoot channels "$suffix"
click 749 715 0.5        # its Cancel
click 64 34 1            # the menu button
click 128 71 1.5         # About
shoot about "$suffix"
xdotool key --clearmodifiers Escape; sleep 0.3
click 216 34 1           # the configuration page
shoot config "$suffix"

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
shoot scope "$suffix"
click 74 705 0.5         # Stop
