#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test:
#   1. the normal build, the whole suite;
#   2. AddressSanitizer + UndefinedBehaviorSanitizer, the whole suite;
#   3. ThreadSanitizer, the suites labelled "threaded";
#   4. the libFuzzer targets (clang, ASan+UBSan), each run briefly on its
#      seed corpus (VX_FUZZ_SECONDS, default 15).
# Exits non-zero on any failure. VX_TEST_QUICK=1 runs step 1 only.
set -euo pipefail
cd "$(dirname "$0")"
top=$(pwd)

bash scripts/deps.sh

jobs=$(nproc)
start=$(date +%s)

step() { echo; echo "=== $* ($(( $(date +%s) - start )) s)"; }

build() {
  local dir=$1; shift
  cmake -S "$top" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
}

step "normal build"
build build
step "test suite"
ctest --test-dir build -j"$jobs" --output-on-failure --timeout 300

if [ "${VX_TEST_QUICK:-0}" != "1" ]; then
  step "AddressSanitizer + UndefinedBehaviorSanitizer build"
  build build-asan -DVX_SANITIZE=address -DVX_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
  step "test suite under ASan+UBSan"
  ASAN_OPTIONS="detect_leaks=0:abort_on_error=0:detect_stack_use_after_return=0" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    ctest --test-dir build-asan -j"$jobs" --output-on-failure --timeout 600

  step "ThreadSanitizer build"
  build build-tsan -DVX_SANITIZE=thread -DVX_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
  step "threaded suites under TSan"
  # Randomised high mmap addresses confuse this TSan runtime; run without ASLR.
  TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$top/scripts/tsan.supp" \
    setarch "$(uname -m)" -R ctest --test-dir build-tsan -L threaded -j"$jobs" --output-on-failure --timeout 600

  step "fuzz targets build (clang, libFuzzer)"
  CC=clang CXX=clang++ cmake -S "$top" -B build-fuzz -G Ninja -DVX_FUZZ=ON -DVX_BUILD_TESTS=OFF \
    -DVX_BUILD_BENCH=OFF >/dev/null
  cmake --build build-fuzz -j"$jobs" --target vx_fuzz_all
  step "fuzz runs"
  bash scripts/fuzz.sh build-fuzz "${VX_FUZZ_SECONDS:-15}"
fi

step "all test runs passed"
