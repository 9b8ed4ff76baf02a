#!/usr/bin/env bash
# Installs what is missing and builds with warnings as errors three times: g++ plain, running
# every test; clang under AddressSanitizer + UndefinedBehaviorSanitizer with the fuzz targets,
# running every test and each fuzz target for a short while on its seeds; clang under
# ThreadSanitizer, running the suites where threads meet (process runs, script runs, bounded
# reads, the transport's output lock). Any sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
fuzz_seconds=${DORVEX_FUZZ_SECONDS:-25}
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

echo "== g++: build and every test"
cmake -S . -B build/gcc -G Ninja -DCMAKE_CXX_COMPILER=g++ -DDORVEX_WERROR=ON
cmake --build build/gcc -j "$jobs"
ctest --test-dir build/gcc --output-on-failure -j "$jobs"

echo "== clang, ASan+UBSan: build, every test, fuzz targets ${fuzz_seconds}s each"
cmake -S . -B build/asan -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DDORVEX_WERROR=ON \
  -DDORVEX_BENCH=OFF -DDORVEX_FUZZ=ON -DDORVEX_SANITIZE=address,undefined
cmake --build build/asan -j "$jobs"
ctest --test-dir build/asan --output-on-failure -j "$jobs"
bash scripts/fuzz.sh build/asan "$fuzz_seconds"

echo "== clang, TSan: the concurrency suites"
cmake -S . -B build/tsan -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DDORVEX_WERROR=ON \
  -DDORVEX_BENCH=OFF -DDORVEX_SANITIZE=thread
cmake --build build/tsan -j "$jobs" --target dorvex_os_tests dorvex_driver_tests
ctest --test-dir build/tsan --output-on-failure -j "$jobs" -L '^dorvex_os_tests$'
ctest --test-dir build/tsan --output-on-failure -j "$jobs" -L '^dorvex_driver_tests$' \
  -R '^(Transport|Reply|AppleScript|Scripts?)[A-Za-z]*\.'
