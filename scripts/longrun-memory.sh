#!/bin/sh
# Memory and CPU of the scope at the largest period with 36 channels against
# zps-sim at 1 kHz.
#   scripts/longrun-memory.sh [SECONDS=1200]
#     The whole VXTools session (main window, the three plug-ins, the real
#     link library), the period edit set to 999999 ms. The window holds
#     1,000,000 rows once 1,000 s have passed, so SECONDS should exceed 1000.
#     Prints resident memory and CPU share every 30 s, then the resident
#     memory against the raw sample bytes of the rows the window holds.
#   scripts/longrun-memory.sh SECONDS --prefill
#     The scope page alone (scope_longrun harness) with its window filled at
#     once, so the steady state at the full window is seen within minutes.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${VX_BENCH_BUILD:-$here/build-perf-bench}
seconds=${1:-1200}
prefill=${2:-}
address=127.0.9.21
period=999999

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVX_BUILD_BENCH=ON -DVX_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j2 --target zps-sim scope_longrun vx_session VXTools \
  VXPlugin_Scope VXPlugin_Config VXPlugin_Script >/dev/null

"$build/bin/zps-sim" --address "$address" >/dev/null 2>&1 &
sim=$!
log=$(mktemp /tmp/vx-memory.XXXXXX)
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true; rm -f "$log"' EXIT INT TERM
sleep 1
kill -0 "$sim" || { echo "zps-sim did not start on $address" >&2; exit 1; }

if [ -n "$prefill" ]; then
  echo "scope page, 36 channels, period $period ms, ${seconds}s against zps-sim at $address $prefill"
  xvfb-run -a -s "-screen 0 1600x900x24" "$build/bench-bin/scope_longrun" "$address" "$seconds" 15 "$prefill"
  exit 0
fi

echo "VXTools, scope on 36 channels, period $period ms, ${seconds}s against zps-sim at $address"
VX_BIN_DIR="$build/bin" QT_LOGGING_RULES="*.debug=false" timeout $((seconds + 120)) \
  xvfb-run -a -s "-screen 0 1600x900x24" \
  "$build/tests-bin/vx_session" "$address" "$seconds" 30 --period "$period" 2>/dev/null | tee "$log"

# Raw bytes of the rows the window holds: 36 values and a time stamp of
# 8 bytes each per row, 1,000 rows a second up to the period.
awk -v period="$period" '
  $1 ~ /^[0-9.]+$/ && NF == 2 { t = $1; rss = $2; if (rss > peak) peak = rss }
  $1 == "cpu" { cpu += $2; n++ }
  END {
    if (t == "") { print "no samples"; exit 1 }
    held = (t * 1000 < period) ? t * 1000 : period
    raw = held * 37 * 8 / 1e6
    printf "at %.0f s: %.0f rows held, raw %.1f MB, resident %.1f MB (peak %.1f MB): %.2fx raw; mean CPU %.1f %%\n",
           t, held, raw, rss, peak, rss / raw, (n ? cpu / n : 0)
  }' "$log"
