#!/usr/bin/env bash
# Sets up a fresh machine, builds everything and runs every test: the normal
# build's tests (unit, corpus and oracle comparisons), the engine and
# maintenance tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer and under ThreadSanitizer (the pager writes
# and the compaction makes keys on second threads); the Windows programs,
# cross-built and tried under Wine; then the full suite with the fuzz
# target beside it for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

# The engine's files include only their own and lower layers (jet/README.md).
python3 tools/check_layers.py

jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DMDBCARE_SANITIZE=ON \
  -DMDBCARE_BENCH=OFF -DMDBCARE_APP=OFF
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --output-on-failure -j"$jobs" -L 'engine|maintenance')

cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMDBCARE_TSAN=ON \
  -DMDBCARE_BENCH=OFF -DMDBCARE_APP=OFF
cmake --build build-tsan -j"$jobs"
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1 \
  ctest --output-on-failure -j"$jobs" -L 'engine|maintenance')

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMDBCARE_FUZZ=ON -DMDBCARE_TESTS=OFF -DMDBCARE_BENCH=OFF -DMDBCARE_APP=OFF
cmake --build build-fuzz -j"$jobs"

# --- Windows: the cross build and its tests under Wine (tools/test-windows.sh).
bash tools/test-windows.sh build
# --- end of Windows

# The fuzz target runs for a fixed time beside the full suite (much of which
# waits on readers and killed processes); its report follows, and the
# suite's summary closes the output.
bash fuzz/run.sh build-fuzz "${MDBCARE_FUZZ_SECONDS:-120}" \
  > build-fuzz/run-output.txt 2>&1 &
fuzz=$!
suite=0
(cd build && ctest --output-on-failure -j"$jobs") > build/suite-output.txt 2>&1 \
  || suite=$?
fuzz_status=0
wait "$fuzz" || fuzz_status=$?
cat build-fuzz/run-output.txt build/suite-output.txt
[ "$fuzz_status" -eq 0 ] && [ "$suite" -eq 0 ]
