#!/bin/bash
# Installs the dependencies, builds everything and runs the whole test suite
# through the CMake workflow presets (CMakePresets.json):
#   default  the normal build: unit, system and lint tests, then the radio
#            scenarios in VMs on their own (so the VMs do not slow the system
#            tests' waits);
#   asan     AddressSanitizer + UndefinedBehaviorSanitizer: unit and system;
#   tsan     ThreadSanitizer: unit and system (the bed stretches its waits);
#   fuzz     every libFuzzer target for a few seconds (clang);
# then the arm64 cross-build with its unit tests under qemu-user and its
# Debian package (scripts/cross-arm64.sh), and that package on the arm64
# device image: the phone's download, restart and SIGKILL (scripts/device-arm64.sh).
# The system tests need root: they build private namespaces for the daemon.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

"$top/scripts/install-deps.sh"

cd "$top"
for preset in default asan tsan fuzz; do
  cmake --workflow --preset "$preset"
done
"$top/scripts/cross-arm64.sh"
"$top/scripts/device-arm64.sh" nat
