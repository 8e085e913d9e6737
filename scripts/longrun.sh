#!/usr/bin/env bash
# Long run of a whole VXTools session: the main window with the real
# plug-ins, connected to zps-sim (1 kHz), the scope sampling 36 channels.
# Samples the resident memory and judges its growth once the plot window has
# filled (from WARMUP seconds on): under 5 % passes.
#   scripts/longrun.sh [SECONDS=660] [INTERVAL_S=30] [WARMUP_S=120]
# Builds in build-harden-longrun (Release) unless VX_LONGRUN_BUILD names one.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-660}
interval=${2:-30}
warmup=${3:-120}
build=${VX_LONGRUN_BUILD:-$top/build-harden-longrun}
address=127.0.5.40

if [ -z "${VX_LONGRUN_BUILD:-}" ]; then
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVX_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" -j2 --target vx_session >/dev/null
fi

log=$(mktemp /tmp/vx-longrun.XXXXXX)
"$build/bin/zps-sim" --address "$address" >/dev/null 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true; rm -f "$log"' EXIT INT TERM
sleep 1
kill -0 "$sim" || { echo "zps-sim did not start on $address" >&2; exit 1; }

echo "VXTools session, scope on 36 channels at 1 kHz, ${seconds}s against zps-sim at $address"
VX_BIN_DIR="$build/bin" timeout $((seconds + 120)) xvfb-run -a -s "-screen 0 1600x900x24" \
  "$build/tests-bin/vx_session" "$address" "$seconds" "$interval" 2>/dev/null | tee "$log"

awk -v warm="$warmup" '
  $1 ~ /^[0-9.]+$/ && NF == 2 { if ($1 >= warm && first == "") first = $2; last = $2; peak = ($2 > peak ? $2 : peak) }
  END {
    if (first == "") { print "no samples after the warm-up"; exit 1 }
    growth = 100 * (last - first) / first
    printf "resident after warm-up %.1f MB, at the end %.1f MB, peak %.1f MB: growth %.2f %%\n", first, last, peak, growth
    if (growth >= 5) { print "FAIL: memory grows"; exit 1 }
    print "PASS"
  }' "$log"
