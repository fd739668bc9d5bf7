#!/bin/bash
# The device image on arm64, the device's own architecture: the arm64 build
# of scripts/cross-arm64.sh (made first when missing) packaged, installed by
# apt into an arm64 Debian image, and booted under qemu-system-aarch64 for
# the device scenarios, the same scripts as on amd64 with their waits
# stretched threefold. Needs root.
#   scripts/device-arm64.sh [SCENARIO...]   default: nat (the phone's
#                                           download, restart, SIGKILL, stop)
#   scripts/device-arm64.sh all             every device scenario (soak: a
#                                           three-minute soak, not in all)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build-arm64}

"$top/scripts/install-arm64-deps.sh"
if [ -x "$build/wavewarden" ]; then
  cmake --build "$build" -j2
else
  BUILD_DIR=$build "$top/scripts/cross-arm64.sh"
fi

scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] || scenarios=(nat)
[ "${scenarios[*]}" != all ] || scenarios=(nat roam upgrade)
pattern=$(IFS='|' && echo "${scenarios[*]}")
ctest --test-dir "$build" -L device -R "^device\.(image|$pattern)\$" --output-on-failure
