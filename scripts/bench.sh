#!/bin/bash
# The benchmark: installs what is needed, builds the normal build and runs
# bench/run.sh on it with the simulated-radio figures and those of the device
# image (about ten minutes).
# Prints the table and writes the same figures to build/bench/bench.json.
#   scripts/bench.sh [--quick] [--json FILE]
# Needs root, as the tests do: the daemon runs in private namespaces.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}

"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if ! cmake --build "$build" -j2 --target ww_bench hwsim_radio hostapd_adapter \
  >"$build/bench-build.log" 2>&1; then
  cat "$build/bench-build.log"
  exit 1
fi
exec "$top/bench/run.sh" "$build" --radio --device "$@"
