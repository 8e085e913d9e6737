#!/bin/sh
# Start-up time of VXTools with its three plug-ins: from exec until its main
# window is mapped and until it shows painted content, on a fresh Xvfb
# display, RUNS times (the first run also reads the libraries from disk).
#   bench/startup/vxtools-startup.sh BUILD_DIR [RUNS]
set -eu
build=${1:?usage: $0 BUILD_DIR [RUNS]}
runs=${2:-5}
timer="$build/bench-bin/vx-startup-timer"
program="$build/bin/VXTools"
[ -x "$timer" ] && [ -x "$program" ] || { echo "build vx-startup-timer and VXTools first" >&2; exit 2; }
ls "$build/bin/plugins/"*.so >/dev/null 2>&1 || { echo "no plug-ins in $build/bin/plugins" >&2; exit 2; }
# The program must reach the X display, not an offscreen platform.
unset QT_QPA_PLATFORM
i=1
while [ "$i" -le "$runs" ]; do
    xvfb-run -a -s "-screen 0 1600x900x24" "$timer" VXTools 10000 "$program"
    i=$((i + 1))
done
