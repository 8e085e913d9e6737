#!/usr/bin/env bash
# Runs every fuzz target of a VX_FUZZ build for a bounded time on a copy of
# its committed seed corpus (the committed corpus is never written to).
#   scripts/fuzz.sh BUILD_DIR [SECONDS_EACH] [extra libFuzzer options...]
# Exits non-zero when a target finds a crash, a leak or a failed check;
# the reproducer is left in BUILD_DIR/fuzz-out/<target>/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: fuzz.sh BUILD_DIR [SECONDS_EACH] [libFuzzer options]}
seconds=${2:-15}
shift $(( $# >= 2 ? 2 : 1 ))
bin=$build/fuzz-bin
[ -d "$bin" ] || { echo "no fuzz targets in $bin (configure with CC=clang CXX=clang++ -DVX_FUZZ=ON)" >&2; exit 2; }

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for target in "$bin"/fuzz_*; do
  name=$(basename "$target")
  seeds=$top/fuzz/corpus/${name#fuzz_}
  out=$build/fuzz-out/$name
  rm -rf "$out" && mkdir -p "$out/corpus"
  [ -d "$seeds" ] && cp "$seeds"/* "$out/corpus/" 2>/dev/null || true
  dict=()
  [ -f "$top/fuzz/${name#fuzz_}.dict" ] && dict=(-dict="$top/fuzz/${name#fuzz_}.dict")
  echo "--- $name: ${seconds}s"
  if ! "$target" "$out/corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=${VX_FUZZ_MAX_LEN:-8192} -print_final_stats=1 -artifact_prefix="$out/" "${dict[@]}" "$@" >"$out/log" 2>&1; then
    echo "FAILED: $name (see $out/log)"; tail -40 "$out/log"; status=1
  else
    grep -E '^stat::number_of_executed_units|^Done' "$out/log" | tr '\n' ' '; echo
  fi
done
exit $status
