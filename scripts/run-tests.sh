#!/bin/bash
# Installs the dependencies, builds everything and runs the whole test suite,
# phase by phase, and prints at its end (pass or fail) a table of the minutes
# each phase took:
#   install      the Debian packages of the build and the tests
#   build        the normal build (CMakePresets.json: default)
#   unit+system  its unit, system, package and bench tests
#   lint         format, tidy, layers, unit file and completion checks
#   radio        the radio scenarios in VMs, on their own (so that the VMs
#                do not slow the system tests' waits)
#   device       the device image and its scenarios
#   asan         AddressSanitizer + UndefinedBehaviorSanitizer: unit and system
#   tsan         ThreadSanitizer: unit and system (the bed stretches its waits)
#   fuzz         every libFuzzer target for a few seconds (clang)
#   arm64        the cross-build with its unit tests under qemu-user and its
#                Debian package (scripts/cross-arm64.sh)
#   arm64 image  that package on the arm64 device image: the phone's
#                download, restart and SIGKILL (scripts/device-arm64.sh)
# The system tests need root: they build private namespaces for the daemon.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

names=()
seconds=()
started=$SECONDS
report() {
  local status=$? i
  {
    echo
    echo "phase          minutes"
    for i in "${!names[@]}"; do
      printf '%-14s %7s\n' "${names[$i]}" "$(awk -v s="${seconds[$i]}" 'BEGIN { printf "%.1f", s / 60 }')"
    done
    printf '%-14s %7s\n' total "$(awk -v s=$((SECONDS - started)) 'BEGIN { printf "%.1f", s / 60 }')"
    [ "$status" -eq 0 ] || echo "FAILED in phase: ${current:-?}"
  } >&2
}
trap report EXIT
# phase NAME COMMAND...: runs and times one phase; a failure ends the run.
phase() {
  current=$1
  local t0=$SECONDS
  shift
  echo "=== phase: $current" >&2
  "$@"
  names+=("$current")
  seconds+=($((SECONDS - t0)))
}

phase install "$top/scripts/install-deps.sh"
phase build bash -c 'cmake --preset default && cmake --build --preset default'
phase unit+system ctest --preset default -L '^(unit|system|package|bench)$'
phase lint ctest --preset default -L '^lint$'
phase radio ctest --preset radio
phase device ctest --preset device
for preset in asan tsan fuzz; do
  phase "$preset" cmake --workflow --preset "$preset"
done
phase arm64 "$top/scripts/cross-arm64.sh"
phase "arm64 image" "$top/scripts/device-arm64.sh" nat
current=
