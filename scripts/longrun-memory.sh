#!/bin/sh
# Long run of the scope page at the largest period with 36 channels against
# zps-sim at 1 kHz: resident memory against the raw sample bytes and CPU use
# over time, as printed by the scope_longrun harness (the page as VXTools
# hosts it, over the real link library, with its collector thread).
#   scripts/longrun-memory.sh [SECONDS] [--prefill]
# --prefill fills the 999,999 ms window at once, so the steady state at the
# full window is seen within minutes instead of after 16.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${VX_BENCH_BUILD:-$here/build-perf-bench}
seconds=${1:-180}
prefill=${2:-}
address=127.0.9.21

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVX_BUILD_BENCH=ON -DVX_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j2 --target zps-sim scope_longrun >/dev/null

"$build/bin/zps-sim" --address "$address" >/dev/null 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT INT TERM
sleep 1
kill -0 "$sim" || { echo "zps-sim did not start on $address" >&2; exit 1; }

echo "scope page, 36 channels, period 999999 ms, ${seconds}s against zps-sim at $address ${prefill}"
xvfb-run -a -s "-screen 0 1600x900x24" "$build/bench-bin/scope_longrun" "$address" "$seconds" 15 $prefill
