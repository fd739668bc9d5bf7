#!/bin/bash
# Installs the dependencies, builds everything and runs the whole test suite:
# once in the normal build (with the lint checks), once built with
# AddressSanitizer and UndefinedBehaviorSanitizer. The system tests need root:
# they build private namespaces for the daemon.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}

"$top/scripts/install-deps.sh"

cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2
# The radio scenarios (each a VM that keeps one core busy) run on their own,
# so they do not slow the system tests' waits.
(cd "$build" && ctest --output-on-failure -j2 --timeout 300 -LE radio)
(cd "$build" && ctest --output-on-failure -j2 -L radio)

cmake -S "$top" -B "$build-asan" -DCMAKE_BUILD_TYPE=Debug -DWW_SANITIZE=address,undefined
cmake --build "$build-asan" -j2
(cd "$build-asan" && ctest --output-on-failure -j2 --timeout 300 -LE "lint|radio")
