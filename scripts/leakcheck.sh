#!/usr/bin/env bash
# Leak check over a short whole session: start, connect to zps-sim, scope on
# 36 channels, stop, export, import, About, close.
#   scripts/leakcheck.sh [SECONDS=6]
# With VX_LEAK_BUILD=<an ASan build dir> (-DVX_SANITIZE=address) it runs
# under LeakSanitizer (detect_leaks=1, suppressions in scripts/lsan.supp);
# otherwise under valgrind's memcheck on build-harden (definite leaks count,
# scripts/valgrind.supp names the libraries' one-time allocations).
# Exits non-zero when a leak is found or the session fails.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-6}
address=127.0.5.41
build=${VX_LEAK_BUILD:-$top/build-harden}
cmake --build "$build" -j2 --target vx_session >/dev/null

"$build/bin/zps-sim" --address "$address" >/dev/null 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT INT TERM
sleep 1
kill -0 "$sim" || { echo "zps-sim did not start on $address" >&2; exit 1; }

session=("$build/tests-bin/vx_session" "$address" "$seconds" 2 --full)
export VX_BIN_DIR="$build/bin" QT_LOGGING_RULES="*.debug=false"
if [ -n "${VX_LEAK_BUILD:-}" ]; then
  ASAN_OPTIONS="detect_leaks=1" LSAN_OPTIONS="suppressions=$top/scripts/lsan.supp:print_suppressions=1" \
    timeout 600 xvfb-run -a -s "-screen 0 1600x900x24" "${session[@]}"
else
  timeout 1200 xvfb-run -a -s "-screen 0 1600x900x24" \
    valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite \
      --child-silent-after-fork=yes --gen-suppressions=${VX_GEN_SUPP:-no} --error-exitcode=9 --suppressions="$top/scripts/valgrind.supp" --num-callers=30 "${session[@]}"
fi
echo "no leak found"
