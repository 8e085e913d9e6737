#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test:
#   1. the normal build, the whole suite;
#   2. AddressSanitizer + UndefinedBehaviorSanitizer, the whole suite;
#   3. ThreadSanitizer, the suites labelled "threaded";
#   4. the libFuzzer targets (clang, ASan+UBSan), each run briefly on its
#      seed corpus (VX_FUZZ_SECONDS, default 15).
# Every step runs even when an earlier one failed (a failed build skips only
# its own tests), and a summary of all steps closes the output. Exits
# non-zero on any failure. VX_TEST_QUICK=1 runs step 1 only.
set -uo pipefail
cd "$(dirname "$0")"
top=$(pwd)

jobs=$(nproc)
start=$(date +%s)
summary=()   # one line per step: name, result, seconds, ctest's own count
failures=0
ctest_count=""

# step NAME COMMAND...: runs one step and notes how it went.
step() {
  local name=$1; shift
  echo; echo "=== $name ($(( $(date +%s) - start )) s)"
  local t0 result=passed
  t0=$(date +%s)
  ctest_count=""
  if ! "$@"; then
    result=FAILED
    failures=$((failures + 1))
  fi
  summary+=("$(printf '%-52s %-8s %6s s  %s' "$name" "$result" "$(( $(date +%s) - t0 ))" "$ctest_count")")
  [ "$result" = passed ]
}

skipped() {
  echo; echo "=== $1: skipped, its build failed"
  summary+=("$(printf '%-52s %-8s' "$1" skipped)")
}

build() {
  local dir=$1; shift
  cmake -S "$top" -B "$dir" -G Ninja "$@" >/dev/null && cmake --build "$dir" -j"$jobs"
}

# ctest with its output shown as it comes; its "N% tests passed" line also
# goes into the summary.
run_ctest() {
  local log rc
  log=$(mktemp)
  "$@" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  ctest_count=$(grep -E '^[0-9]+% tests passed' "$log" | tail -n 1)
  rm -f "$log"
  return "$rc"
}

build_fuzz() {
  CC=clang CXX=clang++ cmake -S "$top" -B build-fuzz -G Ninja -DVX_FUZZ=ON -DVX_BUILD_TESTS=OFF \
    -DVX_BUILD_BENCH=OFF >/dev/null && cmake --build build-fuzz -j"$jobs" --target vx_fuzz_all
}

step "dependencies" bash scripts/deps.sh

if step "normal build" build build; then
  step "test suite" run_ctest ctest --test-dir build -j"$jobs" --output-on-failure --timeout 300
else
  skipped "test suite"
fi

if [ "${VX_TEST_QUICK:-0}" != "1" ]; then
  if step "AddressSanitizer + UndefinedBehaviorSanitizer build" \
      build build-asan -DVX_SANITIZE=address -DVX_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug; then
    step "test suite under ASan+UBSan" run_ctest env \
      ASAN_OPTIONS="detect_leaks=0:abort_on_error=0:detect_stack_use_after_return=0" \
      UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
      ctest --test-dir build-asan -j"$jobs" --output-on-failure --timeout 600
  else
    skipped "test suite under ASan+UBSan"
  fi

  if step "ThreadSanitizer build" \
      build build-tsan -DVX_SANITIZE=thread -DVX_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug; then
    # Randomised high mmap addresses confuse this TSan runtime; run without ASLR.
    step "threaded suites under TSan" run_ctest env \
      TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$top/scripts/tsan.supp" \
      setarch "$(uname -m)" -R ctest --test-dir build-tsan -L threaded -j"$jobs" --output-on-failure --timeout 600
  else
    skipped "threaded suites under TSan"
  fi

  if step "fuzz targets build (clang, libFuzzer)" build_fuzz; then
    step "fuzz runs" bash scripts/fuzz.sh build-fuzz "${VX_FUZZ_SECONDS:-15}"
  else
    skipped "fuzz runs"
  fi
fi

echo
echo "=== summary"
printf '%s\n' "${summary[@]}"
if [ "$failures" -eq 0 ]; then
  echo "=== all test runs passed ($(( $(date +%s) - start )) s)"
else
  echo "=== $failures step(s) FAILED ($(( $(date +%s) - start )) s)"
  exit 1
fi
