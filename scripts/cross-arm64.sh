#!/bin/bash
# Cross-builds wavewarden, wavectl and bandprobe for arm64 (aarch64) with
# Debian's cross toolchain and the arm64 libnl packages (multiarch), runs the
# unit tests of that build under user-mode emulation (qemu-user) and builds
# and checks the arm64 Debian package. Needs root for the packages.
#   scripts/cross-arm64.sh            build folder: build-arm64
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build-arm64}

# The host's tools first (scdoc for the pages, lintian for the package).
"$top/scripts/install-deps.sh"
"$top/scripts/install-arm64-deps.sh"

cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/aarch64-linux-gnu.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Everything: packaging installs the whole tree, which builds what is missing.
cmake --build "$build" -j2
for program in wavewarden wavectl bandprobe; do
  readelf -h "$build/$program" | grep -q 'Machine:.*AArch64' || {
    echo "cross-arm64: $program is not an arm64 program" >&2
    exit 1
  }
done
# qemu-user passes only route, uevent and audit netlink sockets to the
# kernel, so the tests that open a real generic-netlink socket cannot run
# under it; the native run has them (and the fake kernel tests the raw
# nl80211 requests here too).
ctest --test-dir "$build" -L 'unit|package' -E '^(WifiQueryTest|WifiQueryInit|WifiQueryExchangeTest|RawChannelKernel)\.' -j2 \
  --output-on-failure
