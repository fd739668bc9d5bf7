#!/bin/bash
# The long fuzz run: configures a clang build with the fuzz targets
# (-DWW_FUZZ=ON), builds it and runs every target for SECONDS (default 600)
# on its working corpus in the build folder, seeded from fuzz/corpus.
#   scripts/fuzz.sh [SECONDS]          build folder: $BUILD_DIR or build-fuzz
# Fails when any target found a crash, a leak or a time-out; the input that
# did it is left in BUILD/fuzz/work/<target>/. The short run of every target
# is the CTest label fuzz of the same build: (cd build-fuzz && ctest -L fuzz).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
build=${BUILD_DIR:-$top/build-fuzz}

CC=clang CXX=clang++ cmake -S "$top" -B "$build" -DWW_FUZZ=ON -DWW_BUILD_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2

passed=0
failed=()
for corpus in "$top"/fuzz/corpus/*/; do
  name=$(basename "$corpus")
  echo "== fuzz_$name: ${seconds}s"
  if "$top/fuzz/run-target.sh" "$build/fuzz/fuzz_$name" "$corpus" "$build/fuzz/work/$name" \
    "$seconds"; then
    passed=$((passed + 1))
  else
    failed+=("$name")
  fi
done
for name in "${failed[@]}"; do
  found=$(ls -d "$build/fuzz/work/$name"/{crash,leak,timeout,oom}-* 2>/dev/null || true)
  echo "fuzz_$name failed; its inputs: ${found:-none kept}"
done
echo "fuzz: $passed passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
