#!/bin/bash
# Boots the device image (prepare.sh built it, of its build's architecture)
# under qemu with two emulated CPUs and systemd as init, and runs one
# scenario in it once the device is up. Exit status: the scenario's, or 125
# when the VM failed before it ran. WW_DEVICE_STATION=supplicant boots the
# image whose station wpa_supplicant and udhcpc run (prepare.sh).
#   run.sh SCENARIO BUILD_DIR [ARG...]     ARGs go to the scenario
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scenario=$(realpath "$1")
build=$(realpath "$2")
out=$build/device
[ "${WW_DEVICE_STATION:-nm}" = nm ] || out=$build/device-$WW_DEVICE_STATION
image=$(cat "$out/image" 2>/dev/null) || {
  echo "no device image: run tests/device/prepare.sh $build first" >&2
  exit 125
}
[ -d "$image" ] || {
  echo "device image $image is gone: run tests/device/prepare.sh $build again" >&2
  exit 125
}
arch=$(cat "$out/arch" 2>/dev/null || echo amd64)
# An emulated arm64 device takes about three times as long for everything:
# its scenario's waits stretch so.
scale=1
[ "$arch" = amd64 ] || scale=3
# systemd's own status lines stay off the console: the scenario's output
# is what the serial line carries.
WW_VM_ARCH=$arch WW_TIME_SCALE=${WW_TIME_SCALE:-$scale} WW_RADIO_TIMEOUT=${WW_RADIO_TIMEOUT:-$((600 * scale))} \
  WW_VM_ROOT=$image WW_VM_INIT=/lib/systemd/systemd WW_VM_SMP=${WW_DEVICE_SMP:-2} \
  WW_RADIO_MEMORY=${WW_DEVICE_MEMORY:-1024} \
  WW_VM_APPEND="systemd.show_status=false loglevel=3" \
  exec "$here/../radio/vm.sh" "/run/host$scenario" "/run/host$build" "${@:3}"
