#!/usr/bin/env bash
# Builds VXTools and runs it against the built-in controller simulator.
set -euo pipefail
cd "$(dirname "$0")"
top=$(pwd)
bash scripts/deps.sh
cmake -S "$top" -B build -G Ninja >/dev/null
cmake --build build -j"$(nproc)"

sim="$top/build/bin/zps-sim"
"$sim" --address 127.0.0.1 &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null; wait $sim_pid 2>/dev/null || true' EXIT
sleep 0.5

# Until the main window lands: show the link library at work against the simulator.
"$top/build/bin/vx-linkdemo" 127.0.0.1
