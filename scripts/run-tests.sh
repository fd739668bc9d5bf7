#!/bin/bash
# Installs the dependencies, builds everything and runs the whole test suite.
# The system tests need root: they build private namespaces for the daemon.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}

"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2
cd "$build"
ctest --output-on-failure -j2 --timeout 300
