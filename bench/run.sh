#!/bin/bash
# Runs the benchmark: the daemon of BUILD_DIR inside the hermetic test bed
# (its own namespaces, a veth as wlan0, recording fakes of the external
# programs), with --radio also the bring-up and reaction figures on
# simulated radios in a VM, with --device those of the packaged service in
# the device image (tests/device/prepare.sh builds it), and with --soak those
# of a soak of that image for SECONDS (tests/device/soak.sh: steps, checks,
# the daemon's memory, descriptors and threads, recovery times). Prints a
# table; writes the same figures as JSON.
#
#   bench/run.sh BUILD_DIR [--quick] [--radio] [--device] [--soak SECONDS]
#                [--json FILE]
#
# --quick: a few seconds in all (CTest label bench); the default run takes
# about three minutes, plus about two with --radio and four with --device.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "$1")
shift
args=()
radio=0
device=0
soak=0
json="$build/bench/bench.json"
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) args+=(--quick) ;;
    --radio) radio=1 ;;
    --device) device=1 ;;
    --soak) soak=$2; shift ;;
    --json) json=$(realpath -m "$2"); shift ;;
    *)
      echo "usage: bench/run.sh BUILD_DIR [--quick] [--radio] [--device] [--soak SECONDS] [--json FILE]" >&2
      exit 2
      ;;
  esac
  shift
done
mkdir -p "$(dirname "$json")"
args+=(--json "$json")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# vm_figures NAME COMMAND...: runs a VM's bench; its figures come back on its
# console as "BENCH name value unit" and are passed on as --NAME FILE.
vm_figures() {
  local name=$1 status=0
  shift
  "$@" >"$scratch/$name.log" 2>&1 || status=$?
  grep -av '^BENCH ' "$scratch/$name.log" >&2 || true
  if [ "$status" != 0 ]; then
    echo "bench/run.sh: the $name part failed ($status)" >&2
    exit 1
  fi
  sed -n 's/^BENCH //p' "$scratch/$name.log" >"$scratch/$name"
  args+=("--$name" "$scratch/$name")
}
if [ "$radio" = 1 ]; then
  vm_figures radio "$here/../tests/radio/vm.sh" "$here/radio-bench.sh" "$build"
fi
if [ "$device" = 1 ] || [ "$soak" != 0 ]; then
  "$here/../tests/device/prepare.sh" "$build" >&2
fi
if [ "$device" = 1 ]; then
  vm_figures device "$here/../tests/device/run.sh" "$here/device-bench.sh" "$build"
fi
if [ "$soak" != 0 ]; then
  vm_figures soak "$here/../tests/device/soak.sh" "$build" "$soak"
fi

"$here/../tests/bed/enter-bed.sh" "$build/tests/fakebin" "$build" \
  "$build/bench/ww_bench" --programs "$build" "${args[@]}"
echo "JSON: $json"
